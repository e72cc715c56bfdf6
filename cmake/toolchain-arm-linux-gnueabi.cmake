# SPDX-License-Identifier: MIT
# Cross build for arm-linux-gnueabi (Debian's armel: ARMv5TE, Thumb-1, no
# floating-point unit) with Debian's g++-arm-linux-gnueabi at its own
# defaults.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(RAWHIST_CROSS_TRIPLE arm-linux-gnueabi)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
