# The inspection walks and gaftool decode the three files only through the
# engine's decoders (GafChunkTag.h, GafRecordDecoder.h, GafHeaderDecoder.h for
# the data file; SifHeaderCodec, SifBlock.h, KifHeader, KifBlock.h and
# IndexBytes.h for the indexes): none of their sources takes a tag word, a
# string prefix or a big-endian field of any of the files apart itself.
#   cmake -DSOURCE_DIR=<project> -P NoOwnDecoding.cmake
set(forbidden kTagCodeShift kTagCodeMask kTagLengthMask kLongLengthMarker kLongStringMarker kTagReservedBits
    "gaf::Load" "LoadU16" "LoadU32" "LoadF64" "LoadF32" "GetUInt" "GetReal" "GetInt")
file(GLOB_RECURSE sources ${SOURCE_DIR}/src/inspection/*.cpp ${SOURCE_DIR}/src/inspection/*.h
     ${SOURCE_DIR}/tools/gaftool/*.cpp ${SOURCE_DIR}/tools/gaftool/*.h)
set(found "")
foreach(source ${sources})
  file(READ ${source} text)
  foreach(word ${forbidden})
    string(FIND "${text}" "${word}" at)
    if(NOT at EQUAL -1)
      list(APPEND found "${source}: ${word}")
    endif()
  endforeach()
endforeach()
if(found)
  list(JOIN found "\n  " listing)
  message(FATAL_ERROR "data-file units decoded outside the engine's decoders:\n  ${listing}")
endif()
list(LENGTH sources count)
message(STATUS "${count} sources decode the data file only through the engine")
