# SPDX-License-Identifier: MIT
# Cross build for powerpc64le-linux-gnu (Debian's ppc64el) with Debian's
# g++-powerpc64le-linux-gnu at its own defaults.
set(CMAKE_SYSTEM_PROCESSOR ppc64le)
set(RAWHIST_CROSS_TRIPLE powerpc64le-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
