#include "client/system/process_runner.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace {

// Pids of processes whose command line is exactly |args| (0-separated).
std::vector<pid_t> FindProcesses(const std::string& args) {
  std::vector<pid_t> pids;
  DIR* proc = opendir("/proc");
  while (struct dirent* entry = readdir(proc)) {
    pid_t pid = atoi(entry->d_name);
    if (pid <= 0)
      continue;
    std::ifstream in("/proc/" + std::string(entry->d_name) + "/cmdline", std::ios::binary);
    std::string cmdline((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (cmdline.size() >= args.size() &&
        cmdline.compare(cmdline.size() - args.size(), args.size(), args) == 0) {
      pids.push_back(pid);
    }
  }
  closedir(proc);
  return pids;
}

class ProcessRunnerTest : public ::testing::Test {
 protected:
  void TearDown() override { SetRunCommandTimeoutForTesting(15000); }
};

TEST_F(ProcessRunnerTest, CollectsOutputAndErrors) {
  struct Case {
    const char* command;
    size_t size;
    char fill;
  } cases[] = {
      {"sh -c \"head -c 1500 /dev/zero | tr '\\000' a\"", 1500, 'a'},        // several chunks
      {"sh -c \"head -c 1048576 /dev/zero | tr '\\000' b\"", 1048576, 'b'},  // beyond the pipe
      {"SH -c \"printf ''\"", 0, 0},                                         // case ignored
  };
  for (const auto& c : cases) {
    std::string out = RunCommand(c.command);
    ASSERT_EQ(out.size(), c.size) << c.command;
    EXPECT_EQ(out.find_first_not_of(c.fill), std::string::npos) << c.command;
  }
  std::string both = RunCommand("sh -c \"echo to-out; echo to-err 1>&2\"");
  EXPECT_NE(both.find("to-out\n"), std::string::npos);
  EXPECT_NE(both.find("to-err\n"), std::string::npos);
  // Quoting by the Windows rules reaches the child intact.
  EXPECT_EQ(RunCommand("printf \"%s|\" \"a b\" \\\"c\\\" d\"\"e"), "a b|\"c\"|de|");
}

TEST_F(ProcessRunnerTest, MissingProgram) {
  testing::internal::CaptureStdout();
  std::string out = RunCommand("no-such-program-anywhere --flag");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "cannot create process\n");
  EXPECT_EQ(out, "");
}

TEST_F(ProcessRunnerTest, TimeOutLeavesTheChildRunning) {
  SetRunCommandTimeoutForTesting(300);
  const std::string marker = std::string("sleep") + '\0' + "20.0417" + '\0';
  testing::internal::CaptureStdout();
  std::string out = RunCommand("sleep 20.0417");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "WaitForSingleObject failed on child process handle");
  EXPECT_EQ(out, "");
  std::vector<pid_t> running = FindProcesses(marker);
  EXPECT_EQ(running.size(), 1u);
  for (pid_t pid : running)
    kill(pid, SIGKILL);
}

}  // namespace
