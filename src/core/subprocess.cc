#include "core/subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "tesk_privacy/core/errors.h"

extern char** environ;

namespace tesk_privacy::core {
namespace {

struct Pipe {
  int fd[2] = {-1, -1};
  Pipe() {
    if (::pipe2(fd, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  }
  ~Pipe() {
    for (int f : fd) {
      if (f >= 0) ::close(f);
    }
  }
  void close_end(int i) {
    ::close(fd[i]);
    fd[i] = -1;
  }
};

}  // namespace

std::string find_executable(const std::string& name) {
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : "";
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    struct stat st{};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = end + 1;
  }
  return "";
}

ProcessResult run_process(const std::vector<std::string>& argv, double timeout_seconds) {
  if (argv.empty()) throw std::invalid_argument("run_process needs a command");
  const std::string program = find_executable(argv[0]);
  if (program.empty()) throw FileNotFoundError("No such file or directory: '" + argv[0] + "'");

  Pipe out, err;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out.fd[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err.fd[1], STDERR_FILENO);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw FileNotFoundError(argv[0] + ": " + std::strerror(rc));
  out.close_end(1);
  err.close_end(1);

  ProcessResult result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_seconds);
  pollfd fds[2] = {{out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.stdout_text, &result.stderr_text};
  int open_streams = 2;
  bool timed_out = false;
  char buf[8192];
  while (open_streams > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timed_out = true;
      break;
    }
    int n = ::poll(fds, 2, static_cast<int>(left.count()));
    if (n < 0 && errno == EINTR) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t got = ::read(fds[i].fd, buf, sizeof(buf));
      if (got > 0) {
        sinks[i]->append(buf, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        fds[i].fd = -1;
        --open_streams;
      }
    }
  }
  int status = 0;
  if (timed_out) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    throw TimeoutExpired("Command '" + argv[0] + "' timed out after " + std::to_string(timeout_seconds) + " seconds");
  }
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace tesk_privacy::core
