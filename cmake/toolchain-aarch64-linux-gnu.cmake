# SPDX-License-Identifier: MIT
# Cross build for aarch64-linux-gnu with Debian's g++-aarch64-linux-gnu; the tests run under
# qemu-user (cmake/target.cmake finds it).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(RAWHIST_CROSS_TRIPLE aarch64-linux-gnu)
# The tests run on the oldest 64-bit core common on boards, a Cortex-A53
# (Raspberry Pi 3, i.MX8M); the release archive on those of the Raspberry
# Pi 3, 4 and 5.
set(RAWHIST_QEMU_CPU cortex-a53)
set(RAWHIST_ARCHIVE_CPUS cortex-a53 cortex-a72 cortex-a76)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
