#include "servicebridge/answer_reader.h"

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

namespace servicebridge {
namespace {

TEST(AnswerReaderTest, BodiesThatAreNotObjectsReadAsEmpty) {
  const std::string deep_array = std::string(100000, '[') + std::string(100000, ']');
  const std::string too_deep_object = [] {
    std::string body;
    for (int i = 0; i <= kMaxAnswerDepth; ++i)
      body += "{\"a\":";
    body += "1";
    for (int i = 0; i <= kMaxAnswerDepth; ++i)
      body += "}";
    return body;
  }();
  const char* cases[] = {"",     "not json",   "[1,2,3]",  "\"text\"", "42",
                         "null", "{\"code\":", "{} trail", "{\"a\":1", "\xff\xfe{}"};
  for (const char* body : cases) {
    Answer answer(body);
    EXPECT_TRUE(answer.root().IsObject()) << body;
    EXPECT_EQ(answer.root().MemberCount(), 0u) << body;
  }
  for (const std::string& body : {deep_array, too_deep_object}) {
    Answer answer(body);
    EXPECT_TRUE(answer.root().IsObject());
    EXPECT_EQ(answer.root().MemberCount(), 0u);
  }
}

TEST(AnswerReaderTest, NestingUpToTheLimitIsRead) {
  std::string body;
  for (int i = 0; i < kMaxAnswerDepth; ++i)
    body += "{\"a\":";
  body += "7";
  for (int i = 0; i < kMaxAnswerDepth; ++i)
    body += "}";
  Answer answer(body);
  const rapidjson::Value* value = &answer.root();
  for (int i = 0; i < kMaxAnswerDepth - 1; ++i)
    value = FindMember(value, "a");
  int read = 0;
  EXPECT_TRUE(ReadInt(value, "a", &read));
  EXPECT_EQ(read, 7);
}

TEST(AnswerReaderTest, TypedReadsTakeOnlyTheirType) {
  Answer answer(R"({"i":5,"neg":-2147483648,"big":2147483648,"huge":9223372036854775807,)"
                R"("over":9223372036854775808,"f":2.7,"fi":3,"fbig":1e39,"s":"a\u0000b","n":null,)"
                R"("arr":[1],"obj":{},"b":true})");
  const rapidjson::Value* root = &answer.root();
  struct IntCase {
    const char* name;
    bool is_int;
    bool is_int64;
    int64_t value;
  } int_cases[] = {
      {"i", true, true, 5},
      {"neg", true, true, INT32_MIN},
      {"big", false, true, 2147483648LL},
      {"huge", false, true, INT64_MAX},
      {"over", false, false, 0},
      {"f", false, false, 0},
      {"s", false, false, 0},
      {"n", false, false, 0},
      {"b", false, false, 0},
      {"missing", false, false, 0},
  };
  for (const IntCase& c : int_cases) {
    int narrow = -77;
    int64_t wide = -77;
    EXPECT_EQ(ReadInt(root, c.name, &narrow), c.is_int) << c.name;
    EXPECT_EQ(narrow, c.is_int ? c.value : -77) << c.name;
    EXPECT_EQ(ReadInt64(root, c.name, &wide), c.is_int64) << c.name;
    EXPECT_EQ(wide, c.is_int64 ? c.value : -77) << c.name;
  }

  float f = -1;
  EXPECT_TRUE(ReadFloat(root, "f", &f));
  EXPECT_FLOAT_EQ(f, 2.7f);
  for (const char* name : {"fi", "fbig", "s", "missing"}) {
    float untouched = -1;
    EXPECT_FALSE(ReadFloat(root, name, &untouched)) << name;
    EXPECT_EQ(untouched, -1) << name;
  }

  std::string text = "kept";
  EXPECT_TRUE(ReadString(root, "s", &text));
  EXPECT_EQ(text, std::string("a\0b", 3));
  text = "kept";
  EXPECT_FALSE(ReadString(root, "i", &text));
  EXPECT_EQ(text, "kept");

  EXPECT_NE(FindArray(root, "arr"), nullptr);
  EXPECT_EQ(FindArray(root, "obj"), nullptr);
  EXPECT_NE(FindMember(root, "n"), nullptr);
  EXPECT_EQ(FindUsable(root, "n"), nullptr);
  EXPECT_EQ(FindMember(FindMember(root, "i"), "x"), nullptr);
  EXPECT_EQ(FindMember(nullptr, "x"), nullptr);
}

TEST(AnswerReaderTest, UsableDataIsPresentAndNotNull) {
  EXPECT_EQ(Answer(R"({"data":null})").UsableData(), nullptr);
  EXPECT_EQ(Answer(R"({"code":200})").UsableData(), nullptr);
  EXPECT_NE(Answer(R"({"data":[]})").UsableData(), nullptr);
  EXPECT_NE(Answer(R"({"data":{}})").UsableData(), nullptr);
}

}  // namespace
}  // namespace servicebridge
