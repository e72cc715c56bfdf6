# SPDX-License-Identifier: MIT
# Cross build for aarch64-linux-gnu with Debian's g++-aarch64-linux-gnu; the tests run under
# qemu-user (cmake/target.cmake finds it).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(RAWHIST_CROSS_TRIPLE aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
