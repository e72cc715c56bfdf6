# Debian package: `cmake --workflow --preset package` builds
# rawhist_<version>_<arch>.deb in build/package and tests it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rawhist)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "count the dark and bright samples of one raw camera frame")
# Follows the summary line, wrapped as Debian's control files want.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "rawhist reads one headerless frame of V4L2 pixel data (8-bit grey, 8-bit
Bayer or packed YUV 4:2:2) and prints how many brightness samples are near
black and how many near white: a quick exposure and clipping check for
scripts and test benches.")
set(CPACK_PACKAGE_CONTACT "rawhist developers <rawhist@localhost>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends is worked out from the binary's own libraries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
