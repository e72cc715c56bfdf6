# SPDX-License-Identifier: MIT
#
# Release builds are hardened as Debian hardens its own binaries
# (dpkg-buildflags with hardening=+all), plus stack-clash and control-flow
# protection. A flag that the compiler or target does not take is left out for
# it rather than forced. The sanitizer and fuzz builds switch this off: they
# bring their own instrumentation, and fortified libc calls hide reads from it.
include(CheckCXXCompilerFlag)
include(CheckPIESupported)

option(RAWHIST_HARDEN "Build with Debian's hardening flags" ON)
if(NOT RAWHIST_HARDEN)
  return()
endif()

check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

# Control-flow protection is -fcf-protection on x86 and
# -mbranch-protection on arm64. Each is asked for only on its own target:
# g++ refuses the other's, but clang accepts it and then warns on every
# compile that it went unused.
set(hardening_flags -fstack-protector-strong -fstack-clash-protection)
if(RAWHIST_TARGET_CPU MATCHES "^(x86_64|i386)$")
  list(APPEND hardening_flags -fcf-protection)
elseif(RAWHIST_TARGET_CPU STREQUAL "aarch64")
  list(APPEND hardening_flags -mbranch-protection=standard)
endif()
foreach(flag IN LISTS hardening_flags)
  string(MAKE_C_IDENTIFIER "RAWHIST_CXX_HAS${flag}" supported)
  check_cxx_compiler_flag(${flag} ${supported})
  if(${supported})
    add_compile_options(${flag})
  endif()
endforeach()
# Debian 12's C start files carry no control-flow marks, so the linker would
# drop the mark from every program although all of its own code is built for
# it. On x86-64 the marks are set explicitly: Linux enforces no indirect-branch
# tracking for user space, and the start files keep to the shadow stack's
# rules. (arm64 is different: there the kernel does enforce BTI on a marked
# program, and the start files' unmarked entry points would trap, so its
# program stays unmarked while our own code carries the protection.)
if(RAWHIST_CXX_HAS_fcf_protection AND RAWHIST_TARGET_CPU STREQUAL "x86_64")
  add_link_options(-Wl,-z,ibt -Wl,-z,shstk)
endif()
add_compile_options(-Wformat -Werror=format-security)
# Fortified libc calls need the optimiser; some compilers define the macro
# themselves, so it is undefined first to avoid a redefinition warning.
add_compile_options(-U_FORTIFY_SOURCE "$<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>")
add_link_options(-Wl,-z,relro -Wl,-z,now)
