#include "installer/process_ending.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "base/scoped_temp_dir.h"
#include "gtest/gtest.h"
#include "win32/code_page.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

pid_t StartSleeper(const fs::path& program) {
  pid_t pid = -1;
  std::string path = program.string();
  std::string seconds = "30";
  char* argv[] = {path.data(), seconds.data(), nullptr};
  return posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) == 0 ? pid : -1;
}

// Only a client started from the given program folder is ended, matched by
// name without regard to case.
TEST(ProcessEndingTest, EndsTheClientOfThisProgramFolderOnly) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  fs::path ours = temp.path() / "ours";
  fs::path theirs = temp.path() / "theirs";
  fs::create_directories(ours);
  fs::create_directories(theirs);
  fs::copy_file("/bin/sleep", ours / "RIX.exe");
  fs::copy_file("/bin/sleep", theirs / "rix.exe");
  pid_t other = StartSleeper(theirs / "rix.exe");
  pid_t client = StartSleeper(ours / "RIX.exe");
  ASSERT_GT(other, 0);
  ASSERT_GT(client, 0);

  EXPECT_TRUE(tern_install::KillProcessByName(L"rix.exe", win32::Utf8ToWide(ours.string())));
  int status = 0;
  ASSERT_EQ(waitpid(client, &status, 0), client);
  EXPECT_TRUE(WIFSIGNALED(status) || WIFEXITED(status));
  EXPECT_EQ(waitpid(other, &status, WNOHANG), 0) << "the other installation's client runs on";
  EXPECT_FALSE(tern_install::KillProcessByName(L"rix.exe", win32::Utf8ToWide(ours.string())));
  kill(other, SIGKILL);
  waitpid(other, &status, 0);
}

}  // namespace
