# SPDX-License-Identifier: MIT
#
# The CPUs each Debian architecture is tested on under qemu-user (qemu's
# names): RAWHIST_SUITE_CPU_<arch> runs the tool and every test of a cross
# build, RAWHIST_ARCHIVE_CPUS_<arch> the static release archive's program.
# This is the one table: cmake/target.cmake and cmake/packaging.cmake read
# it, and the test doc_facts holds doc/boards.md to it. An architecture
# without a suite CPU runs on qemu's default one.

# amd64: the suite runs natively; the archive on qemu's baseline x86-64 and
# on a Core 2.
set(RAWHIST_ARCHIVE_CPUS_amd64 qemu64 core2duo)
# The oldest 64-bit core common on boards, a Cortex-A53 (Raspberry Pi 3,
# i.MX8M); the archive on those of the Raspberry Pi 3, 4 and 5.
set(RAWHIST_SUITE_CPU_arm64 cortex-a53)
set(RAWHIST_ARCHIVE_CPUS_arm64 cortex-a53 cortex-a72 cortex-a76)
# The oldest ARMv7 core of the boards armhf is for, a Cortex-A7 (Raspberry
# Pi 2); the archive also on a Cortex-A8 (BeagleBone).
set(RAWHIST_SUITE_CPU_armhf cortex-a7)
set(RAWHIST_ARCHIVE_CPUS_armhf cortex-a7 cortex-a8)
# armel (ARMv5TE, Thumb-1, no floating-point unit): an ARM1176 (ARMv6:
# Raspberry Pi Zero and 1); the archive also on an ARM926 (ARMv5TE, the
# oldest camera SoCs still in the field) and an ARM1136.
set(RAWHIST_SUITE_CPU_armel arm1176)
set(RAWHIST_ARCHIVE_CPUS_armel arm926 arm1136 arm1176)
# A plain RV64GC core, as VisionFive-class boards have; the archive on
# qemu's default one as well.
set(RAWHIST_SUITE_CPU_riscv64 sifive-u54)
set(RAWHIST_ARCHIVE_CPUS_riscv64 sifive-u54 rv64)
# i386 (an i686 without SSE, x87 floating point): a Pentium II, the oldest
# CPU the port runs on.
set(RAWHIST_SUITE_CPU_i386 pentium2)
# ppc64el: a POWER8, the port's baseline.
set(RAWHIST_SUITE_CPU_ppc64el power8)
# mips64el (MIPS64 release 2, 64-bit ABI): a generic MIPS64R2 core, the
# port's baseline.
set(RAWHIST_SUITE_CPU_mips64el MIPS64R2-generic)
# mipsel (MIPS32 release 2, hard float): a 24Kf, the oldest MIPS32R2 core
# with the floating-point unit the port requires.
set(RAWHIST_SUITE_CPU_mipsel 24Kf)
