#include "core/subprocess.h"

#include <gtest/gtest.h>

#include <chrono>

#include "tesk_privacy/core/errors.h"

namespace tesk_privacy::core {
namespace {

TEST(RunProcess, CapturesOutputAndStatusWithoutAShell) {
  ProcessResult r = run_process({"sh", "-c", "echo out; echo err >&2; exit 3"}, 10);
  EXPECT_EQ(r.exit_status, 3);
  EXPECT_EQ(r.stdout_text, "out\n");
  EXPECT_EQ(r.stderr_text, "err\n");
  // Arguments are passed as they are, never interpreted by a shell.
  r = run_process({"echo", "$HOME; rm -rf /"}, 10);
  EXPECT_EQ(r.stdout_text, "$HOME; rm -rf /\n");
}

TEST(RunProcess, KillsAtTheTimeOut) {
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_THROW(run_process({"sh", "-c", "echo started >&2; sleep 30"}, 0.3), TimeoutExpired);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
}

TEST(RunProcess, MissingExecutable) {
  EXPECT_THROW(run_process({"no-such-program-tesk"}, 1), FileNotFoundError);
  EXPECT_EQ(find_executable("no-such-program-tesk"), "");
  EXPECT_NE(find_executable("sh"), "");
}

}  // namespace
}  // namespace tesk_privacy::core
