#include "win32/profile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "win32/code_page.h"
#include "win32/last_error.h"

namespace {

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/profile_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/config.ini";
    wpath_ = win32::Utf8ToWide(path_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void WriteRaw(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
  std::string ReadRaw() {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::wstring Get(const wchar_t* app,
                   const wchar_t* key,
                   const wchar_t* def,
                   DWORD size = 256,
                   DWORD* result = nullptr) {
    std::wstring buffer(size + 1, L'#');
    DWORD n = GetPrivateProfileStringW(app, key, def, buffer.data(), size, wpath_.c_str());
    if (result)
      *result = n;
    return buffer.substr(0, n);
  }

  std::string dir_, path_;
  std::wstring wpath_;
};

TEST_F(ProfileTest, ReadBehaviours) {
  WriteRaw(
      "; comment\n"
      "[Main]\n"
      "  Name = Tern  \n"
      "quoted=\"  spaced \"\n"
      "single='x'\n"
      "empty=\n"
      "long=abcdefghij\n"
      "[other]\n"
      "name=second\n");
  struct Case {
    const wchar_t* app;
    const wchar_t* key;
    const wchar_t* def;
    DWORD size;
    std::wstring expected;
    DWORD result;
  } cases[] = {
      {L"main", L"NAME", L"d", 256, L"Tern", 4},         // case-insensitive, trimmed
      {L"Main", L"quoted", L"d", 256, L"  spaced ", 9},  // quotes removed
      {L"Main", L"single", L"d", 256, L"x", 1},
      {L"Main", L"empty", L"d", 256, L"", 0},             // present but empty: no default
      {L"Main", L"missing", L"dflt  ", 256, L"dflt", 4},  // default, trailing blanks cut
      {L"Main", L"missing", nullptr, 256, L"", 0},
      {L"None", L"name", L"0", 256, L"0", 1},
      {L"Main", L"long", L"", 5, L"abcd", 4},  // cut to size - 1
      {L"Main", L"long", L"", 0, L"", 0},
      {L"OTHER", L"name", L"", 256, L"second", 6},
  };
  for (const auto& c : cases) {
    DWORD result = 0;
    EXPECT_EQ(Get(c.app, c.key, c.def, c.size, &result), c.expected) << c.key;
    EXPECT_EQ(result, c.result) << c.key;
  }
  // Lists: names 0-separated, ended by a second 0; a cut list returns size - 2.
  DWORD result = 0;
  std::wstring sections = Get(nullptr, nullptr, L"", 64, &result);
  EXPECT_EQ(sections, std::wstring(L"Main\0other\0", 11));
  std::wstring cut = Get(L"main", nullptr, L"", 8, &result);
  EXPECT_EQ(result, 6u);
  EXPECT_EQ(cut, std::wstring(L"Name\0q", 6));
}

TEST_F(ProfileTest, MissingFileGivesDefault) {
  EXPECT_EQ(Get(L"a", L"b", L"fallback"), L"fallback");
  EXPECT_EQ(GetPrivateProfileIntW(L"a", L"b", 42, wpath_.c_str()), 42u);
}

TEST_F(ProfileTest, WritesCreateReplaceAndDelete) {
  ASSERT_TRUE(WritePrivateProfileStringW(L"user_data", L"account", L"甲", wpath_.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(L"user_data", L"list", L"a|b", wpath_.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(L"USER_DATA", L"ACCOUNT", L"乙", wpath_.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(L"route_version", L"version", L"12", wpath_.c_str()));
  EXPECT_EQ(std::filesystem::status(win32::WideToUtf8(wpath_)).permissions() &
                std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(ReadRaw(),
            "[user_data]\naccount=\xE4\xB9\x99\nlist=a|b\n[route_version]\nversion=12\n");
  EXPECT_EQ(GetPrivateProfileIntW(L"route_version", L"version", 0, wpath_.c_str()), 12u);

  ASSERT_TRUE(WritePrivateProfileStringW(L"user_data", L"list", nullptr, wpath_.c_str()));
  EXPECT_EQ(Get(L"user_data", L"list", L"gone"), L"gone");
  ASSERT_TRUE(WritePrivateProfileStringW(L"user_data", nullptr, nullptr, wpath_.c_str()));
  EXPECT_EQ(ReadRaw(), "[route_version]\nversion=12\n");
  EXPECT_FALSE(WritePrivateProfileStringW(nullptr, L"k", L"v", wpath_.c_str()));
  std::wstring missing_dir = win32::Utf8ToWide(dir_ + "/no/such/config.ini");
  EXPECT_FALSE(WritePrivateProfileStringW(L"a", L"k", L"v", missing_dir.c_str()));
}

TEST_F(ProfileTest, LineBreaksCannotPlantEntries) {
  WriteRaw("[service_hosts]\naccount=https://127.0.0.1:8443\n[dns_server]\ndns=8.8.8.8\n");
  std::string before = ReadRaw();
  struct Case {
    const wchar_t* app;
    const wchar_t* key;
    const wchar_t* value;
  } cases[] = {
      {L"dns_server", L"dns", L"1.1.1.1\n[service_hosts]\naccount=https://evil.example"},
      {L"dns_server", L"dns", L"1.1.1.1\raccount=https://evil.example"},
      {L"dns_server", L"dns\naccount", L"https://evil.example"},
      {L"service_hosts]\naccount=https://evil.example\n[x", L"k", L"v"},
      {L"a\nb", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringW(c.app, c.key, c.value, wpath_.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(before, ReadRaw());
  }
  EXPECT_FALSE(
      WritePrivateProfileStringA("dns_server", "dns", "1.1.1.1\n[service_hosts]", path_.c_str()));
  EXPECT_EQ(before, ReadRaw());
  EXPECT_EQ(L"https://127.0.0.1:8443", Get(L"service_hosts", L"account", L""));
  // Other texts are still written.
  EXPECT_TRUE(
      WritePrivateProfileStringW(L"dns_server", L"dns", L"1.1.1.1 \t;#=[]", wpath_.c_str()));
  EXPECT_EQ(L"1.1.1.1 \t;#=[]", Get(L"dns_server", L"dns", L""));
}

TEST_F(ProfileTest, ReadsBomAndUtf16AndKeepsCrLf) {
  WriteRaw("\xEF\xBB\xBF[s]\r\nk=\xE4\xB8\xAD\r\n");
  EXPECT_EQ(Get(L"s", L"k", L""), L"中");
  ASSERT_TRUE(WritePrivateProfileStringW(L"s", L"n", L"1", wpath_.c_str()));
  EXPECT_EQ(ReadRaw(), "[s]\r\nk=\xE4\xB8\xAD\r\nn=1\r\n");

  std::string utf16("\xFF\xFE", 2);
  for (wchar_t c : std::wstring(L"[s]\nk=中\n")) {
    utf16.push_back(static_cast<char>(c & 0xFF));
    utf16.push_back(static_cast<char>(c >> 8));
  }
  WriteRaw(utf16);
  EXPECT_EQ(Get(L"S", L"K", L""), L"中");
}

TEST_F(ProfileTest, NarrowFormsUseTheAnsiCodePage) {
  unsetenv("TERN_ACP");
  ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "\xBC\xD3\xCB\xD9", path_.c_str()));  // GBK
  EXPECT_EQ(Get(L"s", L"k", L""), L"加速");
  char buffer[3];
  EXPECT_EQ(GetPrivateProfileStringA("s", "k", "", buffer, 3, path_.c_str()), 2u);
  EXPECT_EQ(std::string(buffer), "\xBC\xD3");
}

// Two processes writing different keys at once: every write lands.
TEST_F(ProfileTest, ConcurrentWritersFromTwoProcesses) {
  constexpr int kWrites = 60;
  pid_t children[2];
  for (int p = 0; p < 2; ++p) {
    children[p] = fork();
    ASSERT_GE(children[p], 0);
    if (children[p] == 0) {
      bool ok = true;
      for (int i = 0; i < kWrites; ++i) {
        std::wstring key = (p ? L"b" : L"a") + std::to_wstring(i);
        ok = WritePrivateProfileStringW(L"sec", key.c_str(), L"v", wpath_.c_str()) && ok;
      }
      _exit(ok ? 0 : 1);
    }
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int i = 0; i < kWrites; ++i) {
    EXPECT_EQ(Get(L"sec", (L"a" + std::to_wstring(i)).c_str(), L"-"), L"v") << i;
    EXPECT_EQ(Get(L"sec", (L"b" + std::to_wstring(i)).c_str(), L"-"), L"v") << i;
  }
}

// A writer killed at any moment leaves a whole old or new file behind.
TEST_F(ProfileTest, KilledWriterNeverLeavesATornFile) {
  std::wstring big(4000, L'x');
  ASSERT_TRUE(WritePrivateProfileStringW(L"sec", L"pad", big.c_str(), wpath_.c_str()));
  for (int round = 0; round < 5; ++round) {
    // The writer says when its first write is in, so a slow machine still
    // kills it in the middle of later writes rather than before any.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(ready[0]);
      for (int i = 0;; ++i) {
        WritePrivateProfileStringW(L"sec", L"n", std::to_wstring(i).c_str(), wpath_.c_str());
        if (i == 0) {
          char byte = 1;
          (void)!write(ready[1], &byte, 1);
          close(ready[1]);
        }
      }
    }
    close(ready[1]);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    usleep(20000 + round * 7000);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_EQ(Get(L"sec", L"pad", L"", 5000), big);
    std::wstring n = Get(L"sec", L"n", L"none");
    EXPECT_FALSE(n.empty());
    EXPECT_NE(n, L"none");
    // The lock died with the writer: writing goes on.
    EXPECT_TRUE(WritePrivateProfileStringW(L"sec", L"after", L"1", wpath_.c_str()));
  }
}

}  // namespace
