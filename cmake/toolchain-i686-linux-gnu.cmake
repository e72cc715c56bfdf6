# SPDX-License-Identifier: MIT
# Cross build for i686-linux-gnu (Debian's i386: an i686 without SSE, x87
# floating point) with Debian's g++-i686-linux-gnu at its own defaults.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(RAWHIST_CROSS_TRIPLE i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
