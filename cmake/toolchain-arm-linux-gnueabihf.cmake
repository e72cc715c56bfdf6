# SPDX-License-Identifier: MIT
# Cross build for arm-linux-gnueabihf with Debian's g++-arm-linux-gnueabihf; the tests run under
# qemu-user (cmake/target.cmake finds it).
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(RAWHIST_CROSS_TRIPLE arm-linux-gnueabihf)
# The tests run on the oldest ARMv7 core of the boards this is for, a
# Cortex-A7 (Raspberry Pi 2); the release archive also on a Cortex-A8
# (BeagleBone).
set(RAWHIST_QEMU_CPU cortex-a7)
set(RAWHIST_ARCHIVE_CPUS cortex-a7 cortex-a8)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
