# SPDX-License-Identifier: MIT
# Prints the project's version and a line end on standard output, for
# scripts: version=$(cmake -P cmake/print_version.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/version.cmake)
execute_process(COMMAND ${CMAKE_COMMAND} -E echo ${RAWHIST_VERSION})
