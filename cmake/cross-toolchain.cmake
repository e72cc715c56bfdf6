# SPDX-License-Identifier: MIT
# What every cross toolchain file shares: Debian's cross compiler for the
# triple RAWHIST_CROSS_TRIPLE, and the target's libraries and headers from
# its cross packages under /usr/<triple>, never the build machine's.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_CXX_COMPILER ${RAWHIST_CROSS_TRIPLE}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${RAWHIST_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
