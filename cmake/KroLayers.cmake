# The library's layers, each a static library of its own folder below src/.
#
# Sources include headers by their folder ("engine/datafile/CGafFile.h"), so
# a layer's include folder is a view in the build tree that holds a link to
# its own folder only; the layers below come in through the link libraries.
# An include of a layer above (or beside) therefore finds no file and fails
# to compile.
function(kro_layer target folder)
  cmake_parse_arguments(PARSE_ARGV 2 LAYER "" "" "DEPENDS")
  set(view ${PROJECT_BINARY_DIR}/layers/${target})
  get_filename_component(link ${view}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${link})
  if(NOT IS_SYMLINK ${view}/${folder})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${view}/${folder} SYMBOLIC)
  endif()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp)
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${view}>
                                              $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>)
  target_link_libraries(${target} PUBLIC ${LAYER_DEPENDS} PRIVATE kro_warnings)
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endfunction()
