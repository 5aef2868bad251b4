# The Debian package: `cpack -G DEB` in a build folder (make deb uses build-deb) writes
# loomwork_<version>_<arch>.deb with the program, its plug-ins, the SDK, the manual page and
# the bash completion under /usr. Its dependencies come from dpkg-shlibdeps; the package's
# own libraries are found in the staging tree.
set(CPACK_PACKAGE_NAME loomwork)
set(CPACK_PACKAGE_VENDOR "Loomwork")
set(CPACK_PACKAGE_CONTACT "Loomwork developers <loomwork@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Procedural texture and stereo filter plug-ins with their host program")
set(CPACK_PACKAGE_DESCRIPTION
    "loomhost renders the Loomwork textures (voltrane, fervix, lumidot, nimbra), runs the
dioptrix anaglyph filter and serves a material editor to a browser. The package also
holds the SDK for building plug-ins: headers and find_package(Loomwork), the Python
module loomwork and a Blender add-on that makes the textures live images.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The runtime and image library live in the package itself; plug-ins find the runtime
# through $ORIGIN, which dpkg-shlibdeps does not follow.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CMAKE_INSTALL_LIBDIR} ${CMAKE_INSTALL_LIBDIR}/loomwork/plugins)
# The Python package loomwork runs on the system's interpreter with NumPy (merged with
# what dpkg-shlibdeps finds); its cluster renders want dask.distributed, the Blender add-on
# Blender. A plug-in SDK user needs a compiler and CMake, which the program does not.
if(TARGET _loomwork)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3, python3-numpy")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS
      "python3-distributed, blender (>= 3.4), cmake (>= 3.25), g++ | clang")
else()
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cmake (>= 3.25), g++ | clang")
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
