# loom_add_resources(TARGET RCFILE [INCLUDE_DIRS dir...])
# Compiles the Win32 resource script RCFILE (relative to the current source folder) with
# the resource compiler (Loomwork::rc) at build time and adds the generated C++ to TARGET, which then registers its
# dialogs, string tables and bitmaps with the host when it is loaded. The script is
# rebuilt when it, any file it includes, any bitmap it names, or loom_rc changes.
function(loom_add_resources target rcfile)
  cmake_parse_arguments(ARG "" "" "INCLUDE_DIRS" ${ARGN})
  get_filename_component(rc_abs ${rcfile} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  get_filename_component(rc_name ${rc_abs} NAME_WE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_${rc_name}_rc.cpp)
  set(include_args)
  foreach(dir ${ARG_INCLUDE_DIRS})
    get_filename_component(dir_abs ${dir} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND include_args --include ${dir_abs})
  endforeach()
  add_custom_command(
    OUTPUT ${out}
    COMMAND $<TARGET_FILE:Loomwork::rc> --rc ${rc_abs} --out ${out} --depfile ${out}.d
            ${include_args}
    DEPENDS $<TARGET_FILE:Loomwork::rc> ${rc_abs}
    DEPFILE ${out}.d
    COMMENT "Compiling resources ${rcfile} for ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()
