# add_loom_plugin(NAME
#                 [TEXTURE]
#                 [CORE source...] [CORE_PUBLIC lib...] [CORE_PRIVATE lib...]
#                 [SOURCES source...] [LINK lib...]
#                 [RC script])
# Builds every plug-in the same way: a MODULE library NAME.so in the plugins folder,
# hidden visibility, no undefined symbols, and -Bsymbolic so that two plug-ins that
# export the same function never bind to each other's copy.
#
# CORE makes the static library NAME_core from everything but the entry points, so that
# unit tests and benchmarks can link the plug-in's code directly; it links CORE_PUBLIC
# publicly and CORE_PRIVATE privately (a library that comes in privately, such as the
# noise, gives the plug-in its own copy and its own state). TEXTURE adds the texture and
# panel frames to the core's public libraries. SOURCES are the entry points, plugin.cpp
# when a core is made and SOURCES is omitted; LINK adds libraries to the plug-in itself.
# RC compiles the resource script (relative to the calling folder) into the plug-in.
function(add_loom_plugin name)
  cmake_parse_arguments(ARG "TEXTURE" "RC" "SOURCES;LINK;CORE;CORE_PUBLIC;CORE_PRIVATE" ${ARGN})
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "add_loom_plugin(${name}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  set(link ${ARG_LINK})
  if(ARG_CORE)
    set(core_public ${ARG_CORE_PUBLIC})
    if(ARG_TEXTURE)
      list(APPEND core_public loom_texframe loom_panelframe)
    endif()
    add_library(${name}_core STATIC ${ARG_CORE})
    target_link_libraries(${name}_core PUBLIC ${core_public} PRIVATE loom_flags ${ARG_CORE_PRIVATE})
    set_target_properties(${name}_core PROPERTIES
      CXX_VISIBILITY_PRESET hidden
      VISIBILITY_INLINES_HIDDEN ON)
    list(PREPEND link ${name}_core)
    if(NOT ARG_SOURCES)
      set(ARG_SOURCES plugin.cpp)
    endif()
  endif()
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "add_loom_plugin(${name}): no SOURCES and no CORE")
  endif()

  add_library(${name} MODULE ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE loom_flags loomhost ${link})
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
  if(ARG_RC)
    loom_add_resources(${name} ${ARG_RC})
  endif()
endfunction()
