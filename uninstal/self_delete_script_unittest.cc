#include "uninstal/self_delete_script.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "base/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace {

namespace fs = std::filesystem;

bool WaitUntilGone(const fs::path& path) {
  for (int i = 0; i < 200 && fs::exists(path); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return !fs::exists(path);
}

bool WaitUntilEmpty(const fs::path& folder) {
  for (int i = 0; i < 200 && !fs::is_empty(folder); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return fs::is_empty(folder);
}

TEST(SelfDeleteScriptTest, QuotesEveryPathAsOneWord) {
  std::string text =
      SelfDeleteScriptText(42, "/a b/it's/Uninstal.exe", "/a b/it's", "/t/uninstallself.sh", "/t");
  EXPECT_NE(text.find("kill -0 42"), std::string::npos);
  EXPECT_NE(text.find("rm -f -- '/a b/it'\\''s/Uninstal.exe'"), std::string::npos) << text;
  EXPECT_NE(text.find("rmdir -- '/a b/it'\\''s'"), std::string::npos);
}

// The script waits for the uninstaller, then removes it, its folder, itself
// and its private folder; nothing else.
TEST(SelfDeleteScriptTest, RemovesTheProgramAfterItHasExited) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  fs::path tmp = temp.path() / "tmp";
  fs::create_directories(tmp);
  fs::path dir = temp.path() / "Tern $(touch pwned)";
  fs::create_directories(dir);
  std::ofstream(dir / "Uninstal.exe") << "x";
  std::ofstream(dir / "DuiLib.dll") << "x";
  std::ofstream(temp.path() / "neighbour") << "x";
  const char* old_tmp = getenv("TMPDIR");
  std::string saved = old_tmp ? old_tmp : "";
  setenv("TMPDIR", tmp.c_str(), 1);

  // The uninstaller stands in as a forked child that lives a little while.
  pid_t uninstaller = fork();
  if (uninstaller == 0) {
    usleep(600 * 1000);
    _exit(StartSelfDeleteScript((dir / "Uninstal.exe").string(), dir.string()) ? 0 : 1);
  }
  ASSERT_GT(uninstaller, 0);
  int status = 0;
  waitpid(uninstaller, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_TRUE(fs::exists(dir / "Uninstal.exe") || !fs::exists(dir));
  EXPECT_TRUE(WaitUntilGone(dir));
  EXPECT_TRUE(WaitUntilEmpty(tmp)) << "the script and its folder are gone";
  EXPECT_TRUE(fs::exists(temp.path() / "neighbour"));
  EXPECT_FALSE(fs::exists("pwned"));
  if (old_tmp)
    setenv("TMPDIR", saved.c_str(), 1);
  else
    unsetenv("TMPDIR");
}

}  // namespace
