// A fresh, seeded store file in a temporary directory.
#ifndef SERVER_TESTING_STORE_TEST_FIXTURE_H_
#define SERVER_TESTING_STORE_TEST_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "server/service_database.h"
#include "server/service_schema.h"

namespace tern {

class StoreTest : public ::testing::Test {
 protected:
  static constexpr int64_t kT0 = 1700000000;

  void SetUp() override {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/tern-store-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/tern-service.db";
    std::string error;
    auto db = Database::Open(path_, &error);
    ASSERT_TRUE(db) << error;
    ASSERT_TRUE(InitializeSchema(db.get(), kT0, &error)) << error;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string dir_;
  std::string path_;
};

}  // namespace tern

#endif  // SERVER_TESTING_STORE_TEST_FIXTURE_H_
