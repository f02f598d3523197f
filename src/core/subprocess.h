// Running a child process: no shell, arguments as a list, standard output
// and error captured as text, killed when it outlives its time-out.
//
//   ProcessResult r = run_process({"uv", "pip", "list"}, 10.0);
//   if (r.exit_status == 0) ...
#pragma once

#include <string>
#include <vector>

namespace tesk_privacy::core {

struct ProcessResult {
  int exit_status = 0;  // 128 + signal number when killed by a signal
  std::string stdout_text;
  std::string stderr_text;
};

// Throws FileNotFoundError when argv[0] cannot be found or executed, and
// TimeoutExpired (after killing the child) when it runs past
// `timeout_seconds`. A non-zero exit status is not an error.
ProcessResult run_process(const std::vector<std::string>& argv, double timeout_seconds);

// Full path of `name` on the PATH, or the empty string.
std::string find_executable(const std::string& name);

}  // namespace tesk_privacy::core
