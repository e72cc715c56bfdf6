// SPDX-License-Identifier: MIT
#include "tool_runner.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace rawhist::testing {
namespace {

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The words that start the tool: itself, or on a cross build the emulator
// that runs it (qemu-user's -0 sets the argv[0] the tool sees). The
// emulator's words come from the build, separated by '|'.
std::vector<std::string> command_words(const std::vector<std::string>& args) {
  std::vector<std::string> words;
  static constexpr char k_emulator[] = RAWHIST_EMULATOR;
  const std::string emulator(k_emulator);
  for (std::size_t start = 0; start < emulator.size();) {
    const std::size_t end = std::min(emulator.find('|', start), emulator.size());
    words.push_back(emulator.substr(start, end - start));
    start = end + 1;
  }
  if (!words.empty()) {
    words.insert(words.end(), {"-0", "rawhist", RAWHIST_EXE});
  } else {
    words.push_back("rawhist");
  }
  words.insert(words.end(), args.begin(), args.end());
  return words;
}

// The child's part between fork and exec: only async-signal-safe calls,
// on strings and argument vectors the parent prepared.
[[noreturn]] void exec_child(const char* program, const std::string& directory,
                             const std::vector<char*>& argv, const std::string& out_path,
                             const std::string& err_path, const run_options& options) {
  const int in = open("/dev/null", O_RDONLY);
  const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (in < 0 || err < 0 || dup2(in, 0) < 0 || dup2(err, 2) < 0) {
    _exit(126);
  }
  switch (options.stdout_to) {
    case output_target::capture: {
      const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (out < 0 || dup2(out, 1) < 0) {
        _exit(126);
      }
      break;
    }
    case output_target::full_device: {
      const int out = open("/dev/full", O_WRONLY);
      if (out < 0 || dup2(out, 1) < 0) {
        _exit(126);
      }
      break;
    }
    case output_target::closed:
      close(1);
      break;
  }
  if (chdir(directory.c_str()) != 0) {
    _exit(126);
  }
  if (options.without_read_override) {
    // Fails harmlessly for an ordinary user, who has neither capability.
    prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
    prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
  }
  execvp(program, argv.data());
  _exit(127);
}

}  // namespace

tool_result run_tool(const std::string& directory, const std::vector<std::string>& args,
                     const run_options& options) {
  temp_dir capture;
  const std::string out_path = capture.path() + "/out";
  const std::string err_path = capture.path() + "/err";

  std::vector<std::string> words = command_words(args);
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (auto& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);

  // The tool itself has an absolute path; an emulator is found on PATH.
  const char* const program = words.front() == "rawhist" ? RAWHIST_EXE : words.front().c_str();
  const pid_t pid = fork();
  if (pid < 0) {
    throw std::runtime_error("fork failed");
  }
  if (pid == 0) {
    exec_child(program, directory, argv, out_path, err_path, options);
  }

  tool_result result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeout_seconds);
  int wait_status = 0;
  while (waitpid(pid, &wait_status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &wait_status, 0);
      result.timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (!result.timed_out && WIFEXITED(wait_status)) {
    result.status = WEXITSTATUS(wait_status);
  }
  result.out = read_all(out_path);
  result.err = read_all(err_path);
  return result;
}

temp_dir::temp_dir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "rawhist-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  path_ = pattern;
}

temp_dir::~temp_dir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string temp_dir::write(const std::string& name, const std::string& bytes) const {
  std::string path = path_ + "/" + name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

}  // namespace rawhist::testing
