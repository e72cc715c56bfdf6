# SPDX-License-Identifier: MIT
# Cross build for riscv64-linux-gnu with Debian's g++-riscv64-linux-gnu; the tests run under
# qemu-user (cmake/target.cmake finds it).
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(RAWHIST_CROSS_TRIPLE riscv64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
