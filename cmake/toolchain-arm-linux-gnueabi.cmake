# SPDX-License-Identifier: MIT
# Cross build for arm-linux-gnueabi (Debian's armel: ARMv5TE, Thumb-1, no
# floating-point unit) with Debian's g++-arm-linux-gnueabi at its own
# defaults. The tests run under qemu-user on an ARM1176, the core of the
# first Raspberry Pi boards and the oldest ARM core still common on camera
# boards.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(RAWHIST_CROSS_TRIPLE arm-linux-gnueabi)
set(RAWHIST_QEMU_CPU arm1176)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
