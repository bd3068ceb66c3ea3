#include "installer/package_installer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(PackageInstallerTest, EntryPathsMustStayUnderTheTarget) {
  struct {
    const char* name;
    const char* safe;
  } cases[] = {{"rix.exe", "rix.exe"},
               {"data/tap-win64/tapinstall.exe", "data/tap-win64/tapinstall.exe"},
               {"/etc/passwd", ""},
               {"../evil", ""},
               {"data/../../evil", ""},
               {"./rix.exe", ""},
               {"a//b", ""},
               {"a\\b", ""},
               {"", ""}};
  for (const auto& c : cases)
    EXPECT_EQ(tern_install::SafeEntryPath(c.name), c.safe) << c.name;
}

// A running program keeps its old file: the new one arrives by rename, so
// the old inode is untouched.
TEST(PackageInstallerTest, ReplacesFilesByRenameAndKeepsModes) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  fs::path root = temp.path() / "prog";
  fs::create_directories(root);
  std::ofstream(root / "rix.exe") << "old";
  std::ifstream held(root / "rix.exe");
  std::string error;
  ASSERT_TRUE(tern_install::PlaceFile(root.string(), "rix.exe", "new", 0755, &error)) << error;
  ASSERT_TRUE(tern_install::PlaceFile(root.string(), "data/a/b.txt", "b", 0644, &error)) << error;
  EXPECT_EQ(Read(root / "rix.exe"), "new");
  std::string old((std::istreambuf_iterator<char>(held)), std::istreambuf_iterator<char>());
  EXPECT_EQ(old, "old");
  struct stat st;
  ASSERT_EQ(stat((root / "rix.exe").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
  EXPECT_EQ(Read(root / "data/a/b.txt"), "b");
  for (const auto& entry : fs::directory_iterator(root))
    EXPECT_EQ(entry.path().filename().string().find(".tern-new"), std::string::npos);
}

TEST(PackageInstallerTest, NeverWritesThroughALinkedFolder) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  fs::path root = temp.path() / "prog";
  fs::path outside = temp.path() / "outside";
  fs::create_directories(root);
  fs::create_directories(outside);
  fs::create_directory_symlink(outside, root / "data");
  std::string error;
  EXPECT_FALSE(tern_install::PlaceFile(root.string(), "data/x", "x", 0644, &error));
  EXPECT_FALSE(fs::exists(outside / "x"));
}

// An archive with a program in front of it, as Installer.exe is made.
TEST(PackageInstallerTest, InstallsFromASelfExtractingArchive) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  fs::path payload = temp.path() / "payload";
  fs::create_directories(payload / "data");
  std::ofstream(payload / "rix.exe") << "client";
  std::ofstream(payload / "data" / "tool") << "tool";
  fs::permissions(payload / "rix.exe", fs::perms(0755));
  std::string zip = (temp.path() / "p.zip").string();
  std::string exe = (temp.path() / "Installer.exe").string();
  std::string command = "cd '" + payload.string() + "' && zip -q -r '" + zip + "' . && printf " +
                        "'#!stub' | cat - '" + zip + "' > '" + exe + "' && zip -q -A '" + exe + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);

  fs::path root = temp.path() / "prog";
  int files = 0;
  std::string error;
  ASSERT_TRUE(tern_install::InstallFromArchive(exe, root.string(), &files, &error)) << error;
  EXPECT_EQ(files, 2);
  EXPECT_EQ(Read(root / "rix.exe"), "client");
  EXPECT_EQ(Read(root / "data" / "tool"), "tool");
  EXPECT_EQ(access((root / "rix.exe").c_str(), X_OK), 0);

  EXPECT_FALSE(tern_install::InstallFromArchive((payload / "rix.exe").string(), root.string(),
                                                &files, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
