#include "client/config/profile_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>

#include "base/scoped_temp_dir.h"
#include "client/config/scrambler.h"
#include "win32/code_page.h"

namespace {

class ProfileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("TERN_ACP");
    ASSERT_TRUE(dir_.CreateUniqueTempDir());
    file_ = win32::Utf8ToWide((dir_.GetPath() / "config.ini").string());
  }
  std::string Raw() {
    std::ifstream in(dir_.GetPath() / "config.ini");
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  base::ScopedTempDir dir_;
  std::wstring file_;
};

TEST_F(ProfileStoreTest, ScrambledEntries) {
  // Never written: empty, whatever the default.
  EXPECT_EQ(ReadProfileString(L"alice", L"is_auto_login", L"0", 200, file_, false), L"");

  WriteProfileString(L"user_data", L"account", L"alice", file_, false);
  WriteProfileString(L"alice", L"password", L"秘密pw", file_, false);
  EXPECT_EQ(ReadProfileString(L"user_data", L"account", L"", 1024, file_, false), L"alice");
  EXPECT_EQ(ReadProfileString(L"alice", L"password", L"", 1024, file_, false), L"秘密pw");
  std::string raw = Raw();
  EXPECT_EQ(raw.find("alice"), std::string::npos);
  EXPECT_EQ(raw.find("account"), std::string::npos);

  // Re-saving the same account overwrites its section instead of adding one.
  WriteProfileString(L"alice", L"password", L"new", file_, false);
  EXPECT_EQ(ReadProfileString(L"alice", L"password", L"", 1024, file_, false), L"new");
  std::string after = Raw();
  std::string section = "[" + win32::WideToUtf8(ScrambleText(L"alice")) + "]";
  EXPECT_EQ(after.find(section), after.rfind(section));
}

TEST_F(ProfileStoreTest, PlainAndMixedEntries) {
  EXPECT_EQ(ReadProfileString(L"route_version", L"version", L"", 100, file_, true), L"");
  WriteProfileString(L"route_version", L"version", L"42", file_, true);
  EXPECT_EQ(ReadProfileString(L"route_version", L"version", L"", 100, file_, true), L"42");
  EXPECT_NE(Raw().find("[route_version]\nversion=42\n"), std::string::npos);

  // Scrambled names, plain value, read into a buffer of 2.
  std::wstring section = ScrambleText(L"page_status");
  std::wstring key = ScrambleText(L"bottom_page_status");
  EXPECT_EQ(ReadProfileString(section, key, L"0", 2, file_, true), L"0");
  WriteProfileString(section, key, L"1", file_, true);
  EXPECT_EQ(ReadProfileString(section, key, L"0", 2, file_, true), L"1");
}

}  // namespace
