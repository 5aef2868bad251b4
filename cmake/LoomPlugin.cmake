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
#
# The same file serves the project's own build and, installed with the Loomwork CMake
# package, plug-ins built elsewhere: it names the SDK's targets by their Loomwork:: names
# (aliases in the project's build) and finds the export map beside itself. Plug-ins are
# written to LOOM_PLUGIN_DIR.
function(add_loom_plugin name)
  cmake_parse_arguments(ARG "TEXTURE" "RC" "SOURCES;LINK;CORE;CORE_PUBLIC;CORE_PRIVATE" ${ARGN})
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "add_loom_plugin(${name}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  set(link ${ARG_LINK})
  if(ARG_CORE)
    set(core_public ${ARG_CORE_PUBLIC})
    if(ARG_TEXTURE)
      list(APPEND core_public Loomwork::texframe Loomwork::panelframe)
    endif()
    add_library(${name}_core STATIC ${ARG_CORE})
    target_link_libraries(${name}_core PUBLIC ${core_public} PRIVATE Loomwork::flags ${ARG_CORE_PRIVATE})
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
  target_link_libraries(${name} PRIVATE Loomwork::flags Loomwork::loomhost ${link})
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${LOOM_PLUGIN_DIR}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(NOT LOOM_SANITIZE)
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
  endif()
  set(exports_map ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/plugin_exports.map)
  target_link_options(${name} PRIVATE -Wl,-Bsymbolic -Wl,--version-script=${exports_map})
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${exports_map})
  if(ARG_RC)
    loom_add_resources(${name} ${ARG_RC})
  endif()
endfunction()
