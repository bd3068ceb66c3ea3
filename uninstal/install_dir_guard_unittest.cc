#include "uninstal/install_dir_guard.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "base/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& path) {
  std::ofstream(path) << "x";
}

TEST(InstallDirGuardTest, FolderComesFromTheTextUpToItsLastSlash) {
  EXPECT_EQ(InstallDirFromUninstallString(L"/opt/tern/Uninstal.exe"), L"/opt/tern/");
  EXPECT_EQ(InstallDirFromUninstallString(L"/Uninstal.exe"), L"/");
  EXPECT_EQ(InstallDirFromUninstallString(L"Uninstal.exe"), L"");
  EXPECT_EQ(InstallDirFromUninstallString(L""), L"");
}

class RemovableDirTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    product_ = temp_.path() / "Tern";
    fs::create_directories(product_);
    Touch(product_ / "Uninstal.exe");
    Touch(product_ / "rix.exe");
  }
  bool Removable(const fs::path& dir, const fs::path& own) {
    why_.clear();
    return IsRemovableInstallDir(dir.string(), own.string(), &why_);
  }
  base::ScopedTempDir temp_;
  fs::path product_;
  std::string why_;
};

TEST_F(RemovableDirTest, TheUninstallersOwnProductFolderIsRemovable) {
  EXPECT_TRUE(Removable(product_, product_)) << why_;
  EXPECT_TRUE(Removable(product_.string() + "/", product_)) << why_;
}

TEST_F(RemovableDirTest, UnsafeFoldersAreRefused) {
  const char* old_home = getenv("HOME");
  std::string saved = old_home ? old_home : "";
  setenv("HOME", product_.c_str(), 1);
  EXPECT_FALSE(Removable(product_, product_));
  EXPECT_NE(why_.find("home"), std::string::npos) << why_;
  setenv("HOME", saved.c_str(), 1);

  EXPECT_FALSE(Removable("/", product_));
  EXPECT_FALSE(Removable("", product_));
  EXPECT_FALSE(Removable(temp_.path(), product_));  // a folder above the product

  fs::path other = temp_.path() / "Other";
  fs::create_directories(other);
  Touch(other / "Uninstal.exe");
  Touch(other / "rix.exe");
  EXPECT_FALSE(Removable(other, product_));  // not the uninstaller's own folder

  fs::remove(product_ / "rix.exe");
  EXPECT_FALSE(Removable(product_, product_));  // not this product's folder
  fs::create_directory(product_ / "rix.exe");
  EXPECT_FALSE(Removable(product_, product_));  // programs must be files
}

}  // namespace
