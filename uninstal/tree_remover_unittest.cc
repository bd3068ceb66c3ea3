#include "uninstal/tree_remover.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "base/scoped_temp_dir.h"
#include "gtest/gtest.h"
#include "win32/code_page.h"
#include "win32/file.h"

namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& path) {
  std::ofstream(path) << "x";
}

std::wstring W(const fs::path& path) {
  return win32::Utf8ToWide(path.string());
}

TEST(TreeRemoverTest, RemovesFilesAndPlainFoldersButKeepsTheRunningProgram) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  fs::path dir = temp.path() / "程序";
  fs::create_directories(dir / "TaskSkin" / "gamelogo");
  fs::create_directories(dir / "data" / "tap-win64");
  Touch(dir / "rix.exe");
  Touch(dir / "Uninstal.exe");
  Touch(dir / "TaskSkin" / "gamelogo" / "game_1.png");
  Touch(dir / "data" / "tap-win64" / "tapinstall.exe");
  // A folder carrying another attribute is deleted as a file, which fails.
  fs::create_directories(dir / "system_dir");
  Touch(dir / "system_dir" / "inside");
  ASSERT_TRUE(SetFileAttributesW(W(dir / "system_dir").c_str(),
                                 FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM));

  RemoveTree(W(dir), W(dir / "Uninstal.exe"));

  EXPECT_TRUE(fs::exists(dir / "Uninstal.exe"));
  EXPECT_TRUE(fs::exists(dir / "system_dir" / "inside"));
  EXPECT_FALSE(fs::exists(dir / "rix.exe"));
  EXPECT_FALSE(fs::exists(dir / "TaskSkin"));
  EXPECT_FALSE(fs::exists(dir / "data"));

  fs::remove_all(dir / "system_dir");
  RemoveTree(W(dir), L"");
  EXPECT_FALSE(fs::exists(dir));
}

TEST(TreeRemoverTest, LinksAreRemovedAsLinksAndNeverFollowed) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  fs::path outside = temp.path() / "outside";
  fs::create_directories(outside / "sub");
  Touch(outside / "precious");
  Touch(outside / "sub" / "precious");
  fs::path dir = temp.path() / "product";
  fs::create_directories(dir);
  fs::create_directory_symlink(outside, dir / "linked_folder");
  fs::create_symlink(outside / "precious", dir / "linked_file");

  RemoveTree(W(dir), L"");

  EXPECT_FALSE(fs::exists(dir));
  EXPECT_TRUE(fs::exists(outside / "precious"));
  EXPECT_TRUE(fs::exists(outside / "sub" / "precious"));
}

}  // namespace
