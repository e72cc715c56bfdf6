# SPDX-License-Identifier: MIT
# Cross build for powerpc64le-linux-gnu (Debian's ppc64el) with Debian's
# g++-powerpc64le-linux-gnu at its own defaults. The tests run under
# qemu-user on a POWER8, the port's baseline.
set(CMAKE_SYSTEM_PROCESSOR ppc64le)
set(RAWHIST_CROSS_TRIPLE powerpc64le-linux-gnu)
set(RAWHIST_QEMU_CPU power8)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
