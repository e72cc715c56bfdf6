# SPDX-License-Identifier: MIT
# Cross build for mipsel-linux-gnu (Debian's mipsel: MIPS32 release 2,
# hard float) with Debian's g++-mipsel-linux-gnu at its own defaults. The
# tests run under qemu-user on a 24Kf, the oldest MIPS32R2 core with the
# floating-point unit the port requires.
set(CMAKE_SYSTEM_PROCESSOR mips)
set(RAWHIST_CROSS_TRIPLE mipsel-linux-gnu)
set(RAWHIST_QEMU_CPU 24Kf)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
