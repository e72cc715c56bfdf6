# SPDX-License-Identifier: MIT
# Cross build for mipsel-linux-gnu (Debian's mipsel: MIPS32 release 2,
# hard float) with Debian's g++-mipsel-linux-gnu at its own defaults.
set(CMAKE_SYSTEM_PROCESSOR mips)
set(RAWHIST_CROSS_TRIPLE mipsel-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
