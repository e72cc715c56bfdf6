# SPDX-License-Identifier: MIT
#
# What the compiler builds for, which need not be this machine: a toolchain
# file or a plain -DCMAKE_CXX_COMPILER=aarch64-linux-gnu-g++ both give a
# foreign target. Sets RAWHIST_TARGET_CPU (the CPU as qemu-user names its
# emulators: aarch64, arm, i386, mips64el, mipsel, ppc64le, riscv64, s390x,
# x86_64, ...), RAWHIST_TARGET_TRIPLE, RAWHIST_FOREIGN_TARGET and
# RAWHIST_DEB_ARCH, the CPUs of cmake/target_cpus.cmake for it
# (RAWHIST_QEMU_CPU, RAWHIST_ARCHIVE_CPUS), and for a foreign target the
# emulator that runs its binaries here on RAWHIST_QEMU_CPU, if installed.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpmachine
  OUTPUT_VARIABLE RAWHIST_TARGET_TRIPLE OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)

# Triples and `uname -m` name some CPUs differently (i686, armv7l,
# powerpc64le): both are brought to qemu's name.
function(rawhist_cpu_name cpu out)
  string(REGEX REPLACE "^i[3-6]86$" "i386" cpu "${cpu}")
  string(REGEX REPLACE "^arm.*$" "arm" cpu "${cpu}")
  string(REGEX REPLACE "^powerpc" "ppc" cpu "${cpu}")
  set(${out} ${cpu} PARENT_SCOPE)
endfunction()
string(REGEX MATCH "^[^-]+" triple_cpu "${RAWHIST_TARGET_TRIPLE}")
rawhist_cpu_name("${triple_cpu}" RAWHIST_TARGET_CPU)
rawhist_cpu_name("${CMAKE_HOST_SYSTEM_PROCESSOR}" host_cpu)

# `uname -m` says mips or mips64 whatever the byte order; with that set
# aside, a build on the board itself is not taken for a cross build.
string(REGEX REPLACE "^(mips.*)el$" "\\1" target_cpu "${RAWHIST_TARGET_CPU}")

set(RAWHIST_FOREIGN_TARGET OFF)
if(CMAKE_CROSSCOMPILING OR NOT target_cpu STREQUAL host_cpu)
  set(RAWHIST_FOREIGN_TARGET ON)
endif()

set(deb_arch_x86_64 amd64)
set(deb_arch_aarch64 arm64)
set(deb_arch_s390x s390x)
set(deb_arch_i386 i386)
set(deb_arch_ppc64le ppc64el)
if(RAWHIST_TARGET_CPU STREQUAL "arm")
  if(RAWHIST_TARGET_TRIPLE MATCHES "hf$")
    set(RAWHIST_DEB_ARCH armhf)
  else()
    set(RAWHIST_DEB_ARCH armel)
  endif()
elseif(DEFINED deb_arch_${RAWHIST_TARGET_CPU})
  set(RAWHIST_DEB_ARCH ${deb_arch_${RAWHIST_TARGET_CPU}})
else()
  set(RAWHIST_DEB_ARCH ${RAWHIST_TARGET_CPU})
endif()

include(${CMAKE_CURRENT_LIST_DIR}/target_cpus.cmake)
set(RAWHIST_QEMU_CPU ${RAWHIST_SUITE_CPU_${RAWHIST_DEB_ARCH}})
set(RAWHIST_ARCHIVE_CPUS ${RAWHIST_ARCHIVE_CPUS_${RAWHIST_DEB_ARCH}})

# There is no binfmt_misc here to run foreign binaries by themselves: tests
# and test discovery start them through qemu-user, with the target's own
# libraries from Debian's cross packages.
if(RAWHIST_FOREIGN_TARGET AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(RAWHIST_QEMU qemu-${RAWHIST_TARGET_CPU})
  if(RAWHIST_QEMU)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${RAWHIST_QEMU})
    if(RAWHIST_QEMU_CPU)
      list(APPEND CMAKE_CROSSCOMPILING_EMULATOR -cpu ${RAWHIST_QEMU_CPU})
    endif()
    # The target's loader would otherwise also read this machine's
    # /etc/ld.so.cache, which lists the i386 C library that multilib
    # packages (clang's runtime among them) install in /lib32: an i386
    # program would get a C library of another build than its loader, and
    # its forked children spin forever.
    list(APPEND CMAKE_CROSSCOMPILING_EMULATOR -L /usr/${RAWHIST_TARGET_TRIPLE}
      -E LD_LIBRARY_PATH=/usr/${RAWHIST_TARGET_TRIPLE}/lib)
  endif()
endif()
