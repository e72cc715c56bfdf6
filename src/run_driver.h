// SPDX-License-Identifier: MIT
#pragma once

namespace rawhist {

// One whole run of the tool: reads the options, reads the frame, counts it and
// prints "sum_1, sum_2". Returns the process exit status, 0 on success and 1
// on any failure (after writing its message, if that failure has one).
int run(int argc, char* argv[]);

}  // namespace rawhist
