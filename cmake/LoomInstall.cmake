# Installation: `cmake --install BUILD [--prefix DIR]` lays out, under the prefix,
#   bin/loomhost                         the program (finds everything below relative to itself)
#   LIBDIR/libloomhost.so.1 (and .so), libloomimage.so   the runtime and the image library
#   LIBDIR/libloomcore.so.1              the application's core, for the plug-ins of other
#                                        programs below
#   LIBDIR/gegl-0.4/loomwork.so          the GEGL operations (GIMP); under /usr GEGL's own
#                                        folder (app/gegl/CMakeLists.txt)
#   lib/frei0r-1/loomwork_*.so           the frei0r effects (MLT, Kdenlive, FFmpeg)
#   LIBDIR/loomwork/plugins/*.so         the plug-ins the program loads without flags
#   LIBDIR/loomwork/lib*.a               the texture frame, panel frame, noise and vector math
#                                        for plug-ins
#   LIBEXECDIR/loomwork/loom_rc          the resource compiler add_loom_plugin runs
#   include/loomwork/foundation/...      the SDK's headers, included as in this tree
#   LIBDIR/cmake/Loomwork/               find_package(Loomwork): imported targets and
#                                        add_loom_plugin
#   share/man/man1/loomhost.1.gz, share/bash-completion/completions/loomhost
#   lib/pythonX.Y/site-packages/loomwork    the Python module, where Python looks (python/install_package.cmake)
#   share/blender/scripts/addons/loomwork_blender   the Blender add-on (blender/CMakeLists.txt),
#                                        where Debian's Blender finds it under /usr
# The web editor's page is compiled into the program; nothing of it is installed.
# Every path inside the prefix is relative, so an installed tree can be moved as a whole.
include(GNUInstallDirs)

set(LOOM_INSTALL_PLUGIN_DIR ${CMAKE_INSTALL_LIBDIR}/loomwork/plugins)
set(LOOM_INSTALL_SDK_LIB_DIR ${CMAKE_INSTALL_LIBDIR}/loomwork)
set(LOOM_INSTALL_RC_DIR ${CMAKE_INSTALL_LIBEXECDIR}/loomwork)
set(LOOM_INSTALL_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/loomwork)
set(LOOM_INSTALL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Loomwork)

# The SDK's names, the same inside this build as for a plug-in built against an install.
add_library(Loomwork::loomhost ALIAS loomhost)
add_library(Loomwork::texframe ALIAS loom_texframe)
add_library(Loomwork::panelframe ALIAS loom_panelframe)
add_library(Loomwork::noise ALIAS loom_noise)
add_library(Loomwork::flags ALIAS loom_flags)
add_executable(Loomwork::rc ALIAS loom_rc)

# Headers are included as "foundation/host/sdk/...", from the source tree or the install.
set_target_properties(loomhost PROPERTIES INTERFACE_INCLUDE_DIRECTORIES
  "$<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}>;$<INSTALL_INTERFACE:${LOOM_INSTALL_INCLUDE_DIR}>")
target_compile_features(loomhost INTERFACE cxx_std_20)
set_target_properties(loom_texframe PROPERTIES EXPORT_NAME texframe)
set_target_properties(loom_panelframe PROPERTIES EXPORT_NAME panelframe)
set_target_properties(loom_noise PROPERTIES EXPORT_NAME noise)
set_target_properties(loom_vecmath PROPERTIES EXPORT_NAME vecmath)
set_target_properties(loom_flags PROPERTIES EXPORT_NAME flags)
set_target_properties(loom_rc PROPERTIES EXPORT_NAME rc)

# Where the installed program looks for its plug-ins, relative to its own folder.
file(RELATIVE_PATH _loom_plugins_from_bin /${CMAKE_INSTALL_BINDIR} /${LOOM_INSTALL_PLUGIN_DIR})
target_compile_definitions(loomhost_core PRIVATE
                           LOOM_PLUGIN_DIR_FROM_BIN="${_loom_plugins_from_bin}")
set_property(SOURCE ${CMAKE_SOURCE_DIR}/app/core/loader/plugin_loader.cpp APPEND PROPERTY
             OBJECT_DEPENDS ${CMAKE_CURRENT_LIST_FILE})

# Installed programs and plug-ins find the runtime through $ORIGIN.
file(RELATIVE_PATH _loom_lib_from_bin /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
file(RELATIVE_PATH _loom_lib_from_plugins /${LOOM_INSTALL_PLUGIN_DIR} /${CMAKE_INSTALL_LIBDIR})
set_target_properties(loomhost_cli PROPERTIES INSTALL_RPATH "$ORIGIN/${_loom_lib_from_bin}")
set_target_properties(${LOOM_PLUGINS} PROPERTIES
                      INSTALL_RPATH "$ORIGIN/${_loom_lib_from_plugins}")
set_target_properties(loomhost loomimage loomcore PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS loomhost_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(TARGETS ${LOOM_PLUGINS} LIBRARY DESTINATION ${LOOM_INSTALL_PLUGIN_DIR}
        COMPONENT runtime)
# The core shared by the GEGL and frei0r plug-ins (each installs itself where its host
# looks, app/gegl and app/frei0r).
install(TARGETS loomcore LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime)
# The image library is in the export set too: sanitizer builds link the runtime with it.
install(TARGETS loomhost loomimage loom_texframe loom_panelframe loom_noise loom_vecmath loom_flags
                loom_rc
        EXPORT LoomworkTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
        ARCHIVE DESTINATION ${LOOM_INSTALL_SDK_LIB_DIR} COMPONENT sdk
        RUNTIME DESTINATION ${LOOM_INSTALL_RC_DIR} COMPONENT sdk)

# The SDK's headers: the host stand-in and the frames a texture plug-in is made of.
foreach(_loom_dir foundation/host foundation/texframe foundation/panelframe foundation/noise
                 foundation/vecmath)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/${_loom_dir}/
          DESTINATION ${LOOM_INSTALL_INCLUDE_DIR}/${_loom_dir}
          COMPONENT sdk FILES_MATCHING PATTERN "*.h")
endforeach()

include(CMakePackageConfigHelpers)
install(EXPORT LoomworkTargets NAMESPACE Loomwork:: DESTINATION ${LOOM_INSTALL_CMAKE_DIR}
        COMPONENT sdk)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/LoomworkConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/LoomworkConfig.cmake
                              INSTALL_DESTINATION ${LOOM_INSTALL_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/LoomworkConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/LoomworkConfig.cmake
              ${CMAKE_BINARY_DIR}/LoomworkConfigVersion.cmake
              ${CMAKE_SOURCE_DIR}/cmake/LoomPlugin.cmake
              ${CMAKE_SOURCE_DIR}/cmake/LoomResources.cmake
              ${CMAKE_SOURCE_DIR}/cmake/plugin_exports.map
        DESTINATION ${LOOM_INSTALL_CMAKE_DIR} COMPONENT sdk)

include(cmake/LoomDocs.cmake OPTIONAL)

# The install checked end to end: a temporary prefix, the example plug-in built against
# it, the installed program run with both (scripts/check-install.sh). Sanitizer builds
# are skipped: a plug-in built elsewhere carries no sanitizer runtime.
if(NOT LOOM_SANITIZE)
  add_test(NAME install_check COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-install.sh
                                      ${CMAKE_BINARY_DIR})
  set_tests_properties(install_check PROPERTIES LABELS install TIMEOUT 600
                       ENVIRONMENT "CXX=${CMAKE_CXX_COMPILER}")
endif()
