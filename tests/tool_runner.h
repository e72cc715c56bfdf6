// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rawhist::testing {

// Where the child's standard output goes.
enum class output_target : std::uint8_t { capture, full_device, closed };

struct run_options {
  output_target stdout_to = output_target::capture;
  // Drop the capabilities that let root read any file, so permission cases
  // behave the same for root (as in CI) as for anyone else.
  bool without_read_override = false;
  int timeout_seconds = 20;
};

struct tool_result {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or -1 when killed by a signal or the timeout
  bool timed_out = false;
};

// Runs the built rawhist in `directory` with argv[0] "rawhist" and the given
// arguments, standard input from /dev/null.
tool_result run_tool(const std::string& directory, const std::vector<std::string>& args,
                     const run_options& options = {});

// A fresh, empty directory that lives as long as the object.
class temp_dir {
 public:
  temp_dir();
  ~temp_dir();
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;

  const std::string& path() const { return path_; }
  // Writes `bytes` to the file `name` inside the directory; returns its path.
  std::string write(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
};

}  // namespace rawhist::testing
