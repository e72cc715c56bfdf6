# SPDX-License-Identifier: MIT
# Cross build for arm-linux-gnueabihf with Debian's g++-arm-linux-gnueabihf; the tests run under
# qemu-user (cmake/target.cmake finds it).
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(RAWHIST_CROSS_TRIPLE arm-linux-gnueabihf)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
