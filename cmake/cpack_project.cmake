# SPDX-License-Identifier: MIT
#
# Read by cpack itself, after the configure step's settings.

# Every time stamp in the archives is the last commit's.
if(CPACK_RAWHIST_SOURCE_DATE_EPOCH)
  set(ENV{SOURCE_DATE_EPOCH} "${CPACK_RAWHIST_SOURCE_DATE_EPOCH}")
endif()

# A cross-built binary needs the target's glibc at least at the newest symbol
# version it links against, which is what a symbols file would say of it.
if(CPACK_RAWHIST_CROSS_BINARY)
  execute_process(COMMAND readelf --version-info --wide ${CPACK_RAWHIST_CROSS_BINARY}
    OUTPUT_VARIABLE version_info RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "readelf cannot read ${CPACK_RAWHIST_CROSS_BINARY}")
  endif()
  string(REGEX MATCHALL "Name: GLIBC_[0-9.]+" needed "${version_info}")
  set(newest 0)
  foreach(entry IN LISTS needed)
    string(REPLACE "Name: GLIBC_" "" version "${entry}")
    if(version VERSION_GREATER newest)
      set(newest ${version})
    endif()
  endforeach()
  if(newest VERSION_EQUAL 0)
    message(FATAL_ERROR "${CPACK_RAWHIST_CROSS_BINARY} names no glibc symbol version")
  endif()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= ${newest})")
endif()
