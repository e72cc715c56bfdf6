# SPDX-License-Identifier: MIT
# Cross build for mips64el-linux-gnuabi64 (Debian's mips64el: MIPS64
# release 2, 64-bit ABI) with Debian's g++-mips64el-linux-gnuabi64 at its
# own defaults.
set(CMAKE_SYSTEM_PROCESSOR mips64)
set(RAWHIST_CROSS_TRIPLE mips64el-linux-gnuabi64)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
