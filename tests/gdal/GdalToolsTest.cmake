# The plugin as users meet it: the real ogr2ogr and ogrinfo load gdal_Gaf.so
# from GDAL_DRIVER_PATH, convert GeoJSON to a Gaf set, describe it, and
# convert a box of it to a GeoPackage.
# Expects -DPLUGIN_DIR=<folder of gdal_Gaf.so> -DDATA_DIR=<data folder> -DWORK_DIR=<scratch folder>.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
# Replaces GDAL's own plugin folder: the tools see the plugin under test.
set(ENV{GDAL_DRIVER_PATH} ${PLUGIN_DIR})

function(run output)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK_DIR}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${ARGN}\nexit ${result}\n${out}\n${err}")
  endif()
  set(${output} "${out}${err}" PARENT_SCOPE)
endfunction()

function(expect text pattern)
  if(NOT text MATCHES "${pattern}")
    message(FATAL_ERROR "expected to find \"${pattern}\" in:\n${text}")
  endif()
endfunction()

run(formats ogrinfo --formats)
expect("${formats}" "Gaf -vector- \\(rw\\+v\\): Gaf file set")

run(out ogr2ogr -f Gaf countries.gaf ${DATA_DIR}/ne_110m_countries.geojson -lco KEY_FIELD=id)
foreach(file countries.gaf countries.sif countries.kif)
  if(NOT EXISTS ${WORK_DIR}/${file})
    message(FATAL_ERROR "ogr2ogr did not write ${file}")
  endif()
endforeach()

run(summary ogrinfo -al -so countries.gaf)
expect("${summary}" "using driver `Gaf' successful")
expect("${summary}" "Layer name: countries")
expect("${summary}" "Geometry: Polygon")
expect("${summary}" "Feature Count: 177")
expect("${summary}" "Extent: \\(-180.000000, -85.609038\\) - \\(180.000000, 83.645130\\)")
expect("${summary}" "ID\\[\"EPSG\",4326\\]")
expect("${summary}" "key: String")

run(out ogr2ogr -f GPKG box.gpkg countries.gaf -spat 5 45 10 50)
run(box ogrinfo -al box.gpkg)
expect("${box}" "Feature Count: 7")
foreach(country France Germany Switzerland Italy Austria Belgium Luxembourg)
  expect("${box}" "name \\(String\\) = ${country}")
endforeach()

run(key ogrinfo -ro -al -q countries.gaf -where "key = '250'")
expect("${key}" "name \\(String\\) = France")

# A damaged set is refused with the file named.
file(WRITE ${WORK_DIR}/broken.gaf "not a gaf file")
execute_process(COMMAND ogrinfo broken.gaf WORKING_DIRECTORY ${WORK_DIR}
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(result EQUAL 0)
  message(FATAL_ERROR "ogrinfo opened a damaged set:\n${out}")
endif()
expect("${err}" "broken.gaf: cannot open the Gaf file set: broken.gaf at 0x0: ")

# Damage met while reading: ogrinfo prints GDAL's ERROR with the file and the
# offset, ogr2ogr fails. The first record of a WGS 84 set written by ogr2ogr
# starts at offset 0x1FE; its tag word's first byte becomes that of a code no
# record has (40), or the whole tag word an end-of-data chunk.
function(damaged_copy name offset octal_bytes)
  file(COPY_FILE ${WORK_DIR}/countries.gaf ${WORK_DIR}/${name}.gaf)
  file(COPY_FILE ${WORK_DIR}/countries.sif ${WORK_DIR}/${name}.sif)
  execute_process(COMMAND sh -c "printf '${octal_bytes}' | dd of=${name}.gaf bs=1 seek=${offset} conv=notrunc 2>/dev/null"
    WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "could not damage ${name}.gaf")
  endif()
endfunction()

function(expect_damage_reported name fault)
  execute_process(COMMAND ogrinfo -ro -al -q ${name}.gaf WORKING_DIRECTORY ${WORK_DIR}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  expect("${err}" "ERROR 1: ${name}.gaf at 0x1FE: ${fault}")
  expect("${err}" "\\(eGafBadFormat\\)")
  execute_process(COMMAND ogr2ogr -f GeoJSON ${name}.geojson ${name}.gaf WORKING_DIRECTORY ${WORK_DIR}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(result EQUAL 0)
    message(FATAL_ERROR "ogr2ogr converted the damaged ${name}.gaf without failing:\n${err}")
  endif()
  expect("${err}" "ERROR 1: ${name}.gaf at 0x1FE: ${fault}")
endfunction()

damaged_copy(unknown-code 510 "\\240")
expect_damage_reported(unknown-code "a chunk of a code that no record has")
damaged_copy(early-end 510 "\\004\\000")
expect_damage_reported(early-end "the header counts 177 objects, but the records end here after 0")

# Sets inside archives, read through GDAL's virtual file systems.
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf sets.zip --format=zip countries.gaf countries.sif countries.kif
  WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE result)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf sets.tar countries.gaf countries.sif countries.kif
  WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE result)
foreach(archive vsizip/sets.zip vsitar/sets.tar)
  run(summary ogrinfo -ro -al -so /${archive}/countries.gaf)
  expect("${summary}" "Feature Count: 177")
  run(box ogrinfo -ro -al -q /${archive}/countries.gaf -spat 5 45 10 50)
  foreach(country France Germany Switzerland Italy Austria Belgium Luxembourg)
    expect("${box}" "name \\(String\\) = ${country}")
  endforeach()
  run(key ogrinfo -ro -al -q /${archive}/countries.gaf -where "key = '250'")
  expect("${key}" "name \\(String\\) = France")
endforeach()

# An archive cannot be written in place: an append fails, says why, and
# leaves the archive as it was.
file(SHA256 ${WORK_DIR}/sets.zip before)
execute_process(COMMAND ogr2ogr -append /vsizip/sets.zip/countries.gaf ${DATA_DIR}/ne_110m_countries.geojson
  WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(result EQUAL 0)
  message(FATAL_ERROR "ogr2ogr appended to a set inside a zip:\n${out}\n${err}")
endif()
expect("${err}" "not supported for /vsizip")
file(SHA256 ${WORK_DIR}/sets.zip after)
if(NOT before STREQUAL after)
  message(FATAL_ERROR "a refused append changed the zip")
endif()
