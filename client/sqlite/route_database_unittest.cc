#include "client/sqlite/route_database.h"

#include <sqlcipher/sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace {

const char kKey[] = "Mn4qWz8rTp2xBv6k";

class RouteDatabaseTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/route_database_test.XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    dir_ = pattern;
    path_ = dir_ + "/kelvo.db";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string ActiveText(const RouteDatabase& db) {
    std::string text;
    EXPECT_TRUE(db.AppendActiveRoutes(&text).ok());
    return text;
  }

  std::string dir_;
  std::string path_;
};

RouteRow Row(int id, const char* address, const char* mask, int status, int cidr) {
  RouteRow row;
  row.id = id;
  row.ip_address = address;
  row.mask = mask;
  row.game_id = 7;
  row.route_status = status;
  row.cidr = cidr;
  return row;
}

TEST_F(RouteDatabaseTest, EmptyTableGivesEmptyText) {
  RouteDatabase db(path_, kKey);
  ASSERT_TRUE(db.CreateTable().ok());
  ASSERT_TRUE(db.CreateTable().ok()) << "creating twice must be harmless";
  EXPECT_EQ("", ActiveText(db));
}

TEST_F(RouteDatabaseTest, BatchesReplaceByIdAndOnlyActiveRowsAreListed) {
  RouteDatabase db(path_, kKey);
  ASSERT_TRUE(db.CreateTable().ok());
  ASSERT_TRUE(db.ApplyBatch({Row(1, "10.1.2.0", "255.255.255.0", 1, 24),
                             Row(2, "10.9.0.0", "255.255.0.0", 1, 16),
                             Row(2, "10.8.0.0", "255.255.0.0", 1, 16),  // later entry wins
                             Row(3, "172.16.0.0", "255.240.0.0", 2, 12)})
                  .ok());
  EXPECT_EQ(
      "10.1.2.0 255.255.255.0 10.1.2.0/24\n"
      "10.8.0.0 255.255.0.0 10.8.0.0/16\n",
      ActiveText(db));

  // Deactivating an existing range in a later batch removes it from the text.
  ASSERT_TRUE(db.ApplyBatch({Row(1, "10.1.2.0", "255.255.255.0", 0, 24)}).ok());
  EXPECT_EQ("10.8.0.0 255.255.0.0 10.8.0.0/16\n", ActiveText(db));

  // An empty batch changes nothing.
  ASSERT_TRUE(db.ApplyBatch({}).ok());
  EXPECT_EQ("10.8.0.0 255.255.0.0 10.8.0.0/16\n", ActiveText(db));
}

TEST_F(RouteDatabaseTest, FailingBatchIsRolledBackWhole) {
  RouteDatabase db(path_, kKey);
  ASSERT_TRUE(db.CreateTable().ok());
  ASSERT_TRUE(db.ApplyBatch({Row(1, "10.1.0.0", "255.255.0.0", 1, 16)}).ok());
  {
    // A trigger refuses ID 99 so the batch fails after earlier rows went in.
    sqlite3* raw = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(path_.c_str(), &raw));
    ASSERT_EQ(SQLITE_OK, sqlite3_key(raw, kKey, 16));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(raw,
                                      "CREATE TRIGGER refuse BEFORE INSERT ON SMART_ROUTE "
                                      "WHEN NEW.ID = 99 BEGIN SELECT RAISE(ABORT, 'refused'); END;",
                                      nullptr, nullptr, nullptr));
    sqlite3_close(raw);
  }
  RouteDbResult result = db.ApplyBatch({Row(1, "10.1.0.0", "255.255.0.0", 0, 16),
                                        Row(2, "10.2.0.0", "255.255.0.0", 1, 16),
                                        Row(99, "10.99.0.0", "255.255.0.0", 1, 16)});
  EXPECT_EQ(RouteDbResult::kStatement, result.stage);
  EXPECT_NE(std::string::npos, result.message.find("refused")) << result.message;
  EXPECT_EQ("10.1.0.0 255.255.0.0 10.1.0.0/16\n", ActiveText(db));
}

TEST_F(RouteDatabaseTest, FileIsUnreadableWithoutTheKey) {
  RouteDatabase db(path_, kKey);
  ASSERT_TRUE(db.CreateTable().ok());
  ASSERT_TRUE(db.ApplyBatch({Row(1, "10.1.2.0", "255.255.255.0", 1, 24)}).ok());

  std::ifstream file(path_, std::ios::binary);
  std::string header(16, '\0');
  file.read(header.data(), 16);
  EXPECT_NE(std::string("SQLite format 3", 16), header);

  sqlite3* plain = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(path_.c_str(), &plain));
  EXPECT_EQ(SQLITE_NOTADB,
            sqlite3_exec(plain, "SELECT * FROM SMART_ROUTE", nullptr, nullptr, nullptr));
  sqlite3_close(plain);

  RouteDatabase wrong_key(path_, "0000000000000000");
  std::string text;
  RouteDbResult result = wrong_key.AppendActiveRoutes(&text);
  EXPECT_EQ(RouteDbResult::kStatement, result.stage);
  EXPECT_EQ(SQLITE_NOTADB, result.code);
  EXPECT_EQ("", text);
  EXPECT_FALSE(wrong_key.IsReadable());
}

TEST_F(RouteDatabaseTest, Readability) {
  EXPECT_FALSE(RouteDatabase(path_, kKey).IsReadable()) << "missing file";
  EXPECT_FALSE(std::filesystem::exists(path_)) << "the check must not create the file";
  std::ofstream(path_) << "this is not a database at all, just some text to fill a page";
  EXPECT_FALSE(RouteDatabase(path_, kKey).IsReadable()) << "garbage file";
  std::filesystem::remove(path_);
  ASSERT_TRUE(RouteDatabase(path_, kKey).CreateTable().ok());
  EXPECT_TRUE(RouteDatabase(path_, kKey).IsReadable());
}

TEST_F(RouteDatabaseTest, OpenFailureIsReportedAsOpenStage) {
  RouteDatabase db(dir_ + "/missing/dir/kelvo.db", kKey);
  RouteDbResult create = db.CreateTable();
  EXPECT_EQ(RouteDbResult::kOpen, create.stage);
  EXPECT_EQ(SQLITE_CANTOPEN, create.code);
  EXPECT_FALSE(create.message.empty());
  EXPECT_EQ(RouteDbResult::kOpen, db.ApplyBatch({Row(1, "10.0.0.0", "255.0.0.0", 1, 8)}).stage);
  std::string text = "kept";
  EXPECT_EQ(RouteDbResult::kOpen, db.AppendActiveRoutes(&text).stage);
  EXPECT_EQ("kept", text);
}

TEST_F(RouteDatabaseTest, NonAsciiPathOpens) {
  RouteDatabase db(dir_ + "/加速器 kelvo.db", kKey);
  ASSERT_TRUE(db.CreateTable().ok());
  ASSERT_TRUE(db.ApplyBatch({Row(5, "1.2.3.0", "255.255.255.0", 1, 24)}).ok());
  EXPECT_EQ("1.2.3.0 255.255.255.0 1.2.3.0/24\n", ActiveText(db));
}

// Runs the sqlcipher shell on |path| with |script| and returns its output.
std::string RunSqlcipher(const std::string& path, const std::string& script) {
  std::string script_path = path + ".sql";
  std::ofstream(script_path) << script;
  std::string command = "sqlcipher '" + path + "' < '" + script_path + "' 2>&1";
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
      out.append(buffer, got);
    pclose(pipe);
  }
  std::filesystem::remove(script_path);
  return out;
}

// The process keeps the derived key, so the file must stay exactly what the
// passphrase opens: both directions through the real sqlcipher tool, and a
// file replaced under the same path (new salt) must still be read right.
TEST_F(RouteDatabaseTest, FileStaysCompatibleWithThePassphrase) {
  RouteDatabase db(path_, kKey);
  ASSERT_TRUE(db.CreateTable().ok());
  ASSERT_TRUE(db.ApplyBatch({Row(1, "10.1.2.0", "255.255.255.0", 1, 24)}).ok());
  ASSERT_TRUE(db.ApplyBatch({Row(1, "10.1.3.0", "255.255.255.0", 1, 24)}).ok());
  EXPECT_EQ("10.1.3.0\n", RunSqlcipher(path_, std::string("PRAGMA key='") + kKey +
                                                  "';\nSELECT IP_ADDRESS FROM SMART_ROUTE;\n"));
  EXPECT_NE(std::string::npos,
            RunSqlcipher(path_, "PRAGMA key='0000000000000000';\nSELECT * FROM SMART_ROUTE;\n")
                .find("not a database"));

  // A file written by the tool, in place of the one this process has a key for.
  std::filesystem::remove(path_);
  RunSqlcipher(path_, std::string("PRAGMA key='") + kKey + "';\n" + RouteDatabase::kCreateTableSql +
                          "\nINSERT INTO SMART_ROUTE VALUES(9,'10.9.0.0','255.255.0.0',1,1,16);\n");
  EXPECT_TRUE(db.IsReadable());
  EXPECT_EQ("10.9.0.0 255.255.0.0 10.9.0.0/16\n", ActiveText(db));
  ASSERT_TRUE(db.ApplyBatch({Row(9, "10.8.0.0", "255.255.0.0", 1, 16)}).ok());
  EXPECT_EQ("10.8.0.0\n", RunSqlcipher(path_, std::string("PRAGMA key='") + kKey +
                                                  "';\nSELECT IP_ADDRESS FROM SMART_ROUTE;\n"));
}

}  // namespace
