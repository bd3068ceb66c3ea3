#include "client/config/config_paths.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <unistd.h>

#include "win32/code_page.h"

TEST(ConfigPathsTest, PathsOfTheRunningProgram) {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
  ASSERT_GT(n, 0);
  std::string expected(exe, static_cast<size_t>(n));
  EXPECT_EQ(win32::WideToUtf8(GetModuleFilePath()), expected);
  EXPECT_EQ(win32::WideToUtf8(GetModuleDirectory()), expected.substr(0, expected.rfind('/')));
  EXPECT_EQ(GetConfigPath(), GetModuleDirectory() + L"/config.ini");
  EXPECT_EQ(&GetConfigPath(), &GetConfigPath());  // cached
}
