// SPDX-License-Identifier: MIT
#pragma once

// RAWHIST_ADDRESS_SANITIZER is 1 in a build under AddressSanitizer (g++ or
// clang), else 0. Its interface header, <sanitizer/asan_interface.h>, ships
// only with compilers that also build its runtime: not with Debian's MIPS
// cross compilers, musl toolchains or many board SDKs. So it is included
// only where this is 1, and every other build needs no more than a C++20
// compiler and a C library.
#if defined(__SANITIZE_ADDRESS__)
#define RAWHIST_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RAWHIST_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef RAWHIST_ADDRESS_SANITIZER
#define RAWHIST_ADDRESS_SANITIZER 0
#endif
