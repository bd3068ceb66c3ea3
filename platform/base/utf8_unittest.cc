#include "base/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf8Test, CharactersAreReadWholeOrNotAtAll) {
  struct Case {
    std::string bytes;
    size_t length;  // 0: not a character
    char32_t code;
  } cases[] = {
      {"a", 1, U'a'},
      {"\xC3\xA9x", 2, U'\u00E9'},
      {"\xE9\xA6\x99", 3, U'\u9999'},
      {"\xF0\x9F\x9A\x80", 4, U'\U0001F680'},
      {"", 0, 0},
      {"\x80", 0, 0},              // stray continuation byte
      {"\xFF", 0, 0},              // never a lead byte
      {"\xE9\xA6", 0, 0},          // cut short
      {"\xE9\x41\x99", 0, 0},      // broken sequence
      {"\xC0\xAF", 0, 0},          // overlong "/"
      {"\xED\xA0\x80", 0, 0},      // surrogate
      {"\xF4\x90\x80\x80", 0, 0},  // past U+10FFFF
  };
  for (const Case& c : cases) {
    char32_t code = 0;
    EXPECT_EQ(base::DecodeUtf8Char(c.bytes, &code), c.length) << c.bytes;
    if (c.length) {
      EXPECT_EQ(code, c.code) << c.bytes;
    }
  }
}

TEST(Utf8Test, WhatUtf8CannotHoldIsWrittenAsReplacement) {
  std::string out;
  for (char32_t c : {U'a', U'\u00E9', U'\u9999', U'\U0001F680'})
    base::AppendUtf8(c, &out);
  EXPECT_EQ(out, "a\xC3\xA9\xE9\xA6\x99\xF0\x9F\x9A\x80");
  out.clear();
  base::AppendUtf8(0xD800, &out);
  base::AppendUtf8(0x110000, &out);
  EXPECT_EQ(out, "\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
