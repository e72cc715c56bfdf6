# SPDX-License-Identifier: MIT
# Cross build for arm-linux-gnueabi (Debian's armel: ARMv5TE, Thumb-1, no
# floating-point unit) with Debian's g++-arm-linux-gnueabi at its own
# defaults. The tests run under qemu-user on an ARM1176 (ARMv6: Raspberry
# Pi Zero and 1), the release archive also on an ARM926 (ARMv5TE, the
# oldest camera SoCs still in the field) and an ARM1136.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(RAWHIST_CROSS_TRIPLE arm-linux-gnueabi)
set(RAWHIST_QEMU_CPU arm1176)
set(RAWHIST_ARCHIVE_CPUS arm926 arm1136 arm1176)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
