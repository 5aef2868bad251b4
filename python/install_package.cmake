# Installs the loomwork package where the Python it was built for looks, for the prefix of
# this install (known only now: `cmake --install --prefix`, CPack and DESTDIR choose it):
#   /usr         lib/python3/dist-packages          (Debian's place for packaged modules)
#   /usr/local   lib/pythonX.Y/dist-packages        (Debian's place for local installs)
#   other        lib/pythonX.Y/site-packages        (~/.local: the user's site; elsewhere
#                                                    PYTHONPATH must name it)
# Set by the install(CODE) that includes this: LOOMWORK_PY_VERSION (X.Y),
# LOOMWORK_MODULE (the built extension), LOOMWORK_PY_FILES (the package's files),
# LOOMWORK_CONFIG (the installed _config.py), LOOMWORK_PYTHON_INSTALL_DIR (a fixed folder
# under the prefix, or empty for the rule above).
if(LOOMWORK_PYTHON_INSTALL_DIR)
  set(_loom_py_dir "${LOOMWORK_PYTHON_INSTALL_DIR}")
elseif(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(_loom_py_dir lib/python3/dist-packages)
elseif(CMAKE_INSTALL_PREFIX STREQUAL "/usr/local")
  set(_loom_py_dir lib/python${LOOMWORK_PY_VERSION}/dist-packages)
else()
  set(_loom_py_dir lib/python${LOOMWORK_PY_VERSION}/site-packages)
endif()
set(_loom_pkg "${CMAKE_INSTALL_PREFIX}/${_loom_py_dir}/loomwork")
message(STATUS "Installing the loomwork Python package into ${_loom_pkg}")
file(INSTALL DESTINATION "${_loom_pkg}" TYPE MODULE FILES "${LOOMWORK_MODULE}")
# The host libraries are in the prefix's lib folder, three levels up from the package.
get_filename_component(_loom_module_name "${LOOMWORK_MODULE}" NAME)
file(RPATH_SET FILE "$ENV{DESTDIR}${_loom_pkg}/${_loom_module_name}" NEW_RPATH "$ORIGIN/../../..")
file(INSTALL DESTINATION "${_loom_pkg}" TYPE FILE FILES ${LOOMWORK_PY_FILES})
file(INSTALL DESTINATION "${_loom_pkg}" TYPE FILE RENAME _config.py FILES "${LOOMWORK_CONFIG}")
