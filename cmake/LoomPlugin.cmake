# add_loom_plugin(NAME SOURCES ... LINK ...)
# Builds every plug-in the same way: a MODULE library NAME.so in the plugins folder,
# hidden visibility, no undefined symbols, and -Bsymbolic so that two plug-ins that
# export the same function never bind to each other's copy.
function(add_loom_plugin name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
  add_library(${name} MODULE ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE loom_flags loomhost ${ARG_LINK})
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${LOOM_PLUGIN_DIR}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(NOT LOOM_SANITIZE)
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
  endif()
  target_link_options(${name} PRIVATE -Wl,-Bsymbolic
                      -Wl,--version-script=${CMAKE_SOURCE_DIR}/cmake/plugin_exports.map)
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS
               ${CMAKE_SOURCE_DIR}/cmake/plugin_exports.map)
endfunction()
