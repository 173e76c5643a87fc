# Builds the probes of tests/layers: a header of the file set layer, included
# from the engine layer, must not be found; from the file set layer itself it
# must compile.
foreach(probe kro_probe_engine_up kro_probe_fileset_own)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${probe}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(outcome_${probe} ${result})
  set(output_${probe} "${output}")
endforeach()
if(outcome_kro_probe_engine_up EQUAL 0)
  message(FATAL_ERROR "the engine layer compiled an include of the file set layer")
endif()
if(NOT output_kro_probe_engine_up MATCHES "fileset/CGafReader.h: No such file")
  message(FATAL_ERROR "the upward probe failed for another reason:\n${output_kro_probe_engine_up}")
endif()
if(NOT outcome_kro_probe_fileset_own EQUAL 0)
  message(FATAL_ERROR "the file set layer cannot include its own header:\n${output_kro_probe_fileset_own}")
endif()
