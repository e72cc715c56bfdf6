# SPDX-License-Identifier: MIT
# Cross build for riscv64-linux-gnu with Debian's g++-riscv64-linux-gnu; the tests run under
# qemu-user (cmake/target.cmake finds it).
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(RAWHIST_CROSS_TRIPLE riscv64-linux-gnu)
# The tests run on a plain RV64GC core, as VisionFive-class boards have;
# the release archive on qemu's default one as well.
set(RAWHIST_QEMU_CPU sifive-u54)
set(RAWHIST_ARCHIVE_CPUS sifive-u54 rv64)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
