#include "win32/file.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "base/scoped_temp_dir.h"
#include "win32/code_page.h"
#include "win32/last_error.h"

namespace {

class FileTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.CreateUniqueTempDir());
    win32::SetXattrsUnsupportedForTesting(GetParam());
  }
  void TearDown() override {
    win32::SetXattrsUnsupportedForTesting(false);
    // Read-only files must not stop the temp folder from going away.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.GetPath()))
      chmod(entry.path().c_str(), 0755);
  }
  std::wstring Path(const std::string& name) const {
    return win32::Utf8ToWide((dir_.GetPath() / name).string());
  }
  void Touch(const std::string& name, const std::string& content = "x") {
    std::ofstream(dir_.GetPath() / name) << content;
  }
  std::vector<std::string> List(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(Path(pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
      return names;
    }
    do {
      names.push_back(win32::WideToUtf8(data.cFileName));
    } while (FindNextFileW(find, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(find));
    std::sort(names.begin(), names.end());
    return names;
  }
  base::ScopedTempDir dir_;
};

TEST_P(FileTest, AttributeRoundTrips) {
  Touch("file");
  ASSERT_TRUE(std::filesystem::create_directory(dir_.GetPath() / "dir"));
  struct Case {
    const char* name;
    DWORD set;
    DWORD expected;
  } cases[] = {
      {"file", FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_NORMAL},
      {"file", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM,
       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
      {"file", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE,
       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE},
      {"file", FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_HIDDEN},
      {"file", 0, FILE_ATTRIBUTE_NORMAL},
      {"dir", FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN},
      {"dir", FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_DIRECTORY},
      {"dir", FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_DIRECTORY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.set));
    ASSERT_TRUE(SetFileAttributesW(Path(c.name).c_str(), c.set));
    EXPECT_EQ(GetFileAttributesW(Path(c.name).c_str()), c.expected);
  }
  // READONLY is the owner write bit, both ways.
  struct stat st;
  ASSERT_TRUE(SetFileAttributesW(Path("file").c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_EQ(stat((dir_.GetPath() / "file").c_str(), &st), 0);
  EXPECT_FALSE(st.st_mode & S_IWUSR);
  ASSERT_EQ(chmod((dir_.GetPath() / "file").c_str(), 0644), 0);
  EXPECT_EQ(GetFileAttributesW(Path("file").c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  ASSERT_EQ(stat((dir_.GetPath() / "dir").c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IWUSR);
  // The store used is the one the mode asks for.
  ASSERT_TRUE(SetFileAttributesW(Path("file").c_str(), FILE_ATTRIBUTE_HIDDEN));
  bool sidecar = std::filesystem::exists(dir_.GetPath() / ".file.tern-attributes");
  EXPECT_EQ(sidecar, GetParam());
}

TEST_P(FileTest, MissingFileAndPathErrors) {
  struct Case {
    const char* name;
    DWORD error;
  } cases[] = {{"missing", ERROR_FILE_NOT_FOUND}, {"nodir/missing", ERROR_PATH_NOT_FOUND}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(GetFileAttributesW(Path(c.name).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_FALSE(SetFileAttributesW(Path(c.name).c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(GetLastError(), c.error);
  }
}

TEST_P(FileTest, WildcardListing) {
  for (const char* name : {"Tern.EXE", "tern.log", "notes.txt", "a", "ab"})
    Touch(name);
  ASSERT_TRUE(std::filesystem::create_directory(dir_.GetPath() / "Sub"));
  ASSERT_TRUE(SetFileAttributesW(Path("notes.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesW(Path("Sub").c_str(), FILE_ATTRIBUTE_SYSTEM));
  using Names = std::vector<std::string>;
  struct Case {
    const char* pattern;
    Names expected;
  } cases[] = {
      {"*", {".", "..", "Sub", "Tern.EXE", "a", "ab", "notes.txt", "tern.log"}},
      {"*.*", {".", "..", "Sub", "Tern.EXE", "a", "ab", "notes.txt", "tern.log"}},
      {"TERN.*", {"Tern.EXE", "tern.log"}},
      {"*.exe", {"Tern.EXE"}},
      {"?", {".", "a"}},
      {"a?", {"ab"}},
      {"*B", {"Sub", "ab"}},
      {"NOTES.TXT", {"notes.txt"}},
      {"*.zip", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(List(c.pattern), c.expected);
  }

  WIN32_FIND_DATAW data;
  Touch("big", std::string(1234, 'x'));
  HANDLE find = FindFirstFileW(Path("BIG").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeLow, 1234u);
  EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  // Times are 100 ns ticks since 1601: anything after 2020 is above this.
  uint64_t written = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                     data.ftLastWriteTime.dwLowDateTime;
  EXPECT_GT(written, 132223104000000000ull);
  EXPECT_TRUE(FindClose(find));
  EXPECT_FALSE(FindClose(find));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  find = FindFirstFileW(Path("Sub").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes,
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM));
  FindClose(find);
  EXPECT_EQ(FindFirstFileW(Path("nodir/*").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_P(FileTest, DeleteRemoveCreateErrors) {
  Touch("file");
  Touch("locked");
  ASSERT_TRUE(SetFileAttributesW(Path("locked").c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(CreateDirectoryW(Path("dir").c_str(), nullptr));
  Touch("dir/inner");
  ASSERT_TRUE(CreateDirectoryW(Path("empty").c_str(), nullptr));
  ASSERT_TRUE(SetFileAttributesW(Path("empty").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(CreateDirectoryW(Path("hidden_only").c_str(), nullptr));
  Touch("hidden_only/h");
  ASSERT_TRUE(SetFileAttributesW(Path("hidden_only/h").c_str(), FILE_ATTRIBUTE_HIDDEN));

  enum Op { kDelete, kRemove, kCreate };
  struct Case {
    Op op;
    const char* name;
    BOOL ok;
    DWORD error;
  } cases[] = {
      {kDelete, "locked", FALSE, ERROR_ACCESS_DENIED},
      {kDelete, "dir", FALSE, ERROR_ACCESS_DENIED},
      {kDelete, "missing", FALSE, ERROR_FILE_NOT_FOUND},
      {kDelete, "nodir/missing", FALSE, ERROR_PATH_NOT_FOUND},
      {kDelete, "file", TRUE, ERROR_SUCCESS},
      {kRemove, "dir", FALSE, ERROR_DIR_NOT_EMPTY},
      {kRemove, "missing", FALSE, ERROR_FILE_NOT_FOUND},
      {kRemove, "empty", TRUE, ERROR_SUCCESS},
      {kCreate, "dir", FALSE, ERROR_ALREADY_EXISTS},
      {kCreate, "dir/inner", FALSE, ERROR_ALREADY_EXISTS},
      {kCreate, "nodir/new", FALSE, ERROR_PATH_NOT_FOUND},
      {kCreate, "new", TRUE, ERROR_SUCCESS},
      {kDelete, "hidden_only/h", TRUE, ERROR_SUCCESS},
      {kRemove, "hidden_only", TRUE, ERROR_SUCCESS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.op) + " " + c.name);
    std::wstring path = Path(c.name);
    BOOL ok = c.op == kDelete   ? DeleteFileW(path.c_str())
              : c.op == kRemove ? RemoveDirectoryW(path.c_str())
                                : CreateDirectoryW(path.c_str(), nullptr);
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_TRUE(std::filesystem::exists(dir_.GetPath() / "locked"));
  EXPECT_FALSE(std::filesystem::exists(dir_.GetPath() / "file"));
  EXPECT_TRUE(std::filesystem::is_directory(dir_.GetPath() / "new"));
  // No sidecar outlives its file.
  EXPECT_EQ(List(".*"), (std::vector<std::string>{".", ".."}));
  for (const auto& entry : std::filesystem::directory_iterator(dir_.GetPath()))
    EXPECT_EQ(entry.path().filename().string().find(".tern-attributes"), std::string::npos);
}

TEST_P(FileTest, MoveKeepsAttributesAndRefusesToClobber) {
  Touch("from");
  Touch("other");
  ASSERT_TRUE(SetFileAttributesW(Path("from").c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_FALSE(MoveFileExW(Path("from").c_str(), Path("other").c_str(), 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  ASSERT_TRUE(MoveFileExW(Path("from").c_str(), Path("other").c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetFileAttributesW(Path("other").c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(GetFileAttributesW(Path("from").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(MoveFileExW(Path("from").c_str(), Path("x").c_str(), 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

INSTANTIATE_TEST_SUITE_P(File, FileTest, ::testing::Values(false, true), [](const auto& info) {
  return info.param ? std::string("Sidecar") : std::string("Xattr");
});

TEST(FileTempPathTest, BufferProtocol) {
  const char* saved = getenv("TMPDIR");
  std::string saved_value = saved ? saved : "";
  struct Case {
    const char* tmpdir;
    const char* expected;
  } cases[] = {{"/var/tmp", "/var/tmp/"}, {"/var/tmp/", "/var/tmp/"}, {nullptr, "/tmp/"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    if (c.tmpdir)
      setenv("TMPDIR", c.tmpdir, 1);
    else
      unsetenv("TMPDIR");
    DWORD length = static_cast<DWORD>(strlen(c.expected));
    wchar_t wide[64];
    char narrow[64];
    // Too small: the size needed, counting the terminating 0.
    EXPECT_EQ(GetTempPathW(0, nullptr), length + 1);
    EXPECT_EQ(GetTempPathW(length, wide), length + 1);
    EXPECT_EQ(GetTempPathA(length, narrow), length + 1);
    EXPECT_EQ(GetTempPathW(length + 1, wide), length);
    EXPECT_EQ(win32::WideToUtf8(wide), c.expected);
    EXPECT_EQ(GetTempPathA(64, narrow), length);
    EXPECT_STREQ(narrow, c.expected);
  }
  if (saved)
    setenv("TMPDIR", saved_value.c_str(), 1);
  else
    unsetenv("TMPDIR");
}

}  // namespace
