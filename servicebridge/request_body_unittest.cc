#include "servicebridge/request_body.h"

#include <stdlib.h>

#include <gtest/gtest.h>

namespace servicebridge {
namespace {

TEST(RequestBodyTest, CompactStringMembersInOrderAsUtf8) {
  unsetenv("TERN_ACP");
  // "中" is D6 D0 in GBK; "乗" (81 5C) has a backslash as its second byte.
  EXPECT_EQ(JsonBody({{"username", "u"}, {"password", "p w"}, {"client", "pc"}}),
            R"({"username":"u","password":"p w","client":"pc"})");
  EXPECT_EQ(JsonBody({{"username", "\xD6\xD0"}}), "{\"username\":\"\xE4\xB8\xAD\"}");
  EXPECT_EQ(JsonBody({{"a", "\x81\x5C"}}), "{\"a\":\"\xE4\xB9\x97\"}");
  EXPECT_EQ(JsonBody({{"q", "say \"hi\"\n"}}), R"({"q":"say \"hi\"\n"})");
  EXPECT_EQ(JsonBody({{"empty", ""}}), R"({"empty":""})");
  EXPECT_EQ(JsonBody({}), "{}");
}

TEST(RequestBodyTest, QueryValuesKeepPlainTextAndEscapeTheRest) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"SEA", "SEA"},
      {"AA:BB:CC:00:11:22", "AA:BB:CC:00:11:22"},
      {"Debian GNU/Linux 12 (x86_64)", "Debian%20GNU/Linux%2012%20(x86_64)"},
      {"a&b=c#d?e%f+g", "a%26b%3Dc%23d%3Fe%25f%2Bg"},
      {"\xD6\xD0\n", "%D6%D0%0A"},
      {"", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(QueryValue(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace servicebridge
