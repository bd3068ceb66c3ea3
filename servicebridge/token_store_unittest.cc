#include "servicebridge/token_store.h"

#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "base/scoped_temp_dir.h"

namespace servicebridge {
namespace {

TEST(TokenStoreTest, ExtractsTheValueAfterTheFirstName) {
  struct Case {
    const char* headers;
    std::optional<std::string> token;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nJson-Web-Token: a b  c\r\nX: y\r\n", "abc"},
      {"Json-Web-Token:abc\nJson-Web-Token:second\n", "abc"},
      {"Json-Web-Token:\r\n", ""},
      {"Json-Web-Token: \r\n", ""},
      {"Json-Web-Token", ""},
      {"Json-Web-Token:", ""},
      {"Json-Web-Token:tail-without-line-end", "tail-without-line-end"},
      {"json-web-token: lower\r\n", std::nullopt},
      {"HTTP/1.1 200 OK\r\n\r\n", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ExtractToken(c.headers), c.token) << c.headers;
  EXPECT_EQ(ExtractToken(std::string_view("Json-Web-Token:ab\0cd", 20)), "ab");
}

TEST(TokenStoreTest, CaptureStoresAndRewritesTheFile) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  std::string working = dir.path().string() + "/";
  auto read_file = [&] {
    std::ifstream in(working + "jwt", std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  };

  TokenStore store;
  EXPECT_EQ(store.HeaderLine(), "json-web-token:");
  store.Capture("Json-Web-Token: x y z\r\n", working);
  EXPECT_EQ(store.HeaderLine(), "json-web-token:xyz");
  EXPECT_EQ(read_file(), "xyz");
  store.Capture("Other: 1\r\n", working);
  EXPECT_EQ(store.HeaderLine(), "json-web-token:xyz");
  store.Capture("Json-Web-Token:\r\n", working);
  EXPECT_EQ(store.HeaderLine(), "json-web-token:");
  EXPECT_TRUE(std::filesystem::exists(working + "jwt"));
  EXPECT_EQ(std::filesystem::status(working + "jwt").permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(read_file(), "");

  // The same token again leaves the file alone; a new one rewrites it.
  store.Capture("Json-Web-Token: t1\r\n", working);
  auto written = std::filesystem::last_write_time(working + "jwt");
  std::filesystem::last_write_time(working + "jwt", written - std::chrono::hours(1));
  store.Capture("Json-Web-Token: t1\r\n", working);
  EXPECT_EQ(std::filesystem::last_write_time(working + "jwt"), written - std::chrono::hours(1));
  store.Capture("Json-Web-Token: t2\r\n", working);
  EXPECT_EQ(read_file(), "t2");
  // Only the file itself is left behind, no temporary copies.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
}  // namespace servicebridge
