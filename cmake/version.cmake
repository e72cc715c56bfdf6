# SPDX-License-Identifier: MIT
# The project's version, defined once: CMakeLists.txt gives it to project(),
# and scripts read it through cmake/print_version.cmake.
set(RAWHIST_VERSION 1.0.0)
