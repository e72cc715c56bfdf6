# SPDX-License-Identifier: MIT
# Cross build for s390x-linux-gnu with Debian's g++-s390x-linux-gnu; the tests run under
# qemu-user (cmake/target.cmake finds it).
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(RAWHIST_CROSS_TRIPLE s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
