# Installs the package into a temporary prefix, then configures, builds and
# runs a small consumer project that finds it with find_package.
# Expects -DBUILD_DIR=<the project's build folder> -DWORK_DIR=<scratch folder>
# -DCONSUMER_DIR=<consumer sources> -DGENERATOR=<the project's CMake generator>.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${ARGV}\n${out}\n${err}")
  endif()
  message("${out}")
endfunction()
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file lib/libKroGafExportImport.so lib/cmake/KroGafExportImport/KroGafExportImportConfig.cmake
             lib/pkgconfig/KroGafExportImport.pc include/KroGafExportImport/KroGafExportImport.h)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "missing after install: ${file}")
  endif()
endforeach()
run(${CMAKE_COMMAND} -G ${GENERATOR} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
run(${WORK_DIR}/consumer/kro_consumer)
