// SPDX-License-Identifier: MIT
#include "run_driver.h"

int main(int argc, char* argv[]) { return rawhist::run(argc, argv); }
