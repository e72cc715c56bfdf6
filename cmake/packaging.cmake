# SPDX-License-Identifier: MIT
#
# Debian package: `cmake --workflow --preset package` builds
# rawhist_<version>_<arch>.deb in build/package and tests it. The package
# follows Debian policy closely enough for lintian to pass it without a
# warning: gzipped man page and changelog, a machine-readable copyright file,
# a real-looking maintainer address, and no build paths or dates inside.

# Who answers for the package. The default is a placeholder under a domain
# reserved for examples; a distributor sets their own with
# -DRAWHIST_MAINTAINER="Name <address>".
set(RAWHIST_MAINTAINER "rawhist maintainers <maintainers@rawhist.example.org>"
  CACHE STRING "Maintainer field of the Debian package")

# The changelog's newest entry names the version; a release that bumps one
# without the other would ship a package that contradicts itself.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^rawhist \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog begins with '${changelog_head}', "
    "but the project version is ${PROJECT_VERSION}: add a changelog entry")
endif()

# gzip -n leaves out the name and time stamp, so the archives do not change
# from build to build.
foreach(doc doc/rawhist.1 packaging/changelog)
  get_filename_component(name ${doc} NAME)
  add_custom_command(OUTPUT ${name}.gz
    COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" gzip ${PROJECT_SOURCE_DIR}/${doc} ${name}.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/${doc}
    VERBATIM)
  list(APPEND compressed_docs ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
endforeach()
add_custom_target(rawhist_docs ALL DEPENDS ${compressed_docs})

include(GNUInstallDirs)
install(TARGETS rawhist RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/rawhist.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES completion/rawhist DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES README.md doc/real-frames.md packaging/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian architecture of the target, not of the build machine.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${RAWHIST_DEB_ARCH})

# The build date of every file in the package: the last commit's, unless the
# caller sets one, so that two builds of one commit give the same package.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(RAWHIST_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
    OUTPUT_VARIABLE RAWHIST_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rawhist)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The synopsis, then the extended description; CPack indents the latter.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "count the dark and bright samples of one raw camera frame")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Reads one headerless frame of V4L2 pixel data (8-bit grey, 8-bit Bayer, or
packed YUV 4:2:2 in any of its four byte orders) and prints how many
brightness samples lie near black and how many near white, as one line: a
quick exposure and clipping check for scripts and camera test benches.")
set(CPACK_PACKAGE_CONTACT "${RAWHIST_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${RAWHIST_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# dpkg-shlibdeps knows only the build machine's libraries. For another
# target the Depends line is worked out at packaging time from the glibc
# symbol versions that the target binary asks for (cmake/cpack_project.cmake).
if(RAWHIST_FOREIGN_TARGET)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_RAWHIST_CROSS_BINARY ${CMAKE_BINARY_DIR}/rawhist)
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
set(CPACK_RAWHIST_SOURCE_DATE_EPOCH "${RAWHIST_SOURCE_DATE_EPOCH}")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_project.cmake)
include(CPack)

# The built package, unpacked and run (through the emulator on a foreign
# target): `ctest -L package` after cpack. Needs no test library, so the
# package presets build neither GoogleTest nor the tests.
if(RAWHIST_PACKAGE_TEST)
  enable_testing()
  add_test(NAME debian_package
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/package_test.sh ${PROJECT_BINARY_DIR}
            ${PROJECT_SOURCE_DIR}/samples/colorbars_320x240.uyvy ${PROJECT_VERSION}
            ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE} ${CMAKE_CROSSCOMPILING_EMULATOR})
  set_tests_properties(debian_package PROPERTIES LABELS package)
endif()

# Release archives (the dist presets): `cmake --build --target dist` packs
# the static program with its documentation into RAWHIST_DIST_DIR.
set(RAWHIST_DIST_DIR ${CMAKE_BINARY_DIR}/dist CACHE PATH "Where the release archives and SHA256SUMS go")
if(RAWHIST_STATIC)
  set(dist_epoch ${RAWHIST_SOURCE_DATE_EPOCH})
  if(NOT dist_epoch)
    set(dist_epoch 0)
  endif()
  add_custom_target(dist
    COMMAND bash ${PROJECT_SOURCE_DIR}/cmake/release_archive.sh $<TARGET_FILE:rawhist> ${PROJECT_SOURCE_DIR}
            ${RAWHIST_DIST_DIR} ${PROJECT_VERSION} ${RAWHIST_DEB_ARCH} ${dist_epoch} ${CMAKE_STRIP}
    DEPENDS rawhist
    VERBATIM)
  # The program is tried on each CPU RAWHIST_ARCHIVE_CPUS names (cmake/target_cpus.cmake).
  enable_testing()
  add_test(NAME release_archive
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/release_archive_test.sh
            ${RAWHIST_DIST_DIR}/rawhist-${PROJECT_VERSION}-${RAWHIST_DEB_ARCH}-linux.tar.gz
            ${PROJECT_SOURCE_DIR} qemu-${RAWHIST_TARGET_CPU} ${RAWHIST_ARCHIVE_CPUS})
  set_tests_properties(release_archive PROPERTIES LABELS dist)
  # The many-machine recipe, with this static program sent to the workers.
  if(NOT RAWHIST_FOREIGN_TARGET)
    add_test(NAME ssh_recipe
      COMMAND bash ${PROJECT_SOURCE_DIR}/tests/ssh_recipe_test.sh ${PROJECT_SOURCE_DIR}/doc/recipes.md $<TARGET_FILE:rawhist>)
    set_tests_properties(ssh_recipe PROPERTIES LABELS dist SKIP_RETURN_CODE 77 TIMEOUT 300)
  endif()
endif()
