#include "win32/code_page.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "win32/last_error.h"

namespace {

class CodePageTest : public ::testing::Test {
 protected:
  void TearDown() override { unsetenv("TERN_ACP"); }
};

TEST_F(CodePageTest, AnsiIsGbkUnlessEnvironmentSaysOtherwise) {
  unsetenv("TERN_ACP");
  EXPECT_EQ(GetACP(), 936u);
  EXPECT_EQ(win32::WideToAnsi(L"加速"), "\xBC\xD3\xCB\xD9");
  setenv("TERN_ACP", "65001", 1);
  EXPECT_EQ(GetACP(), 65001u);
  EXPECT_EQ(win32::WideToAnsi(L"加速"), "\xE5\x8A\xA0\xE9\x80\x9F");
  setenv("TERN_ACP", "not a number", 1);
  EXPECT_EQ(GetACP(), 936u);
}

TEST_F(CodePageTest, TwoCallSizeProtocol) {
  const char* text = "\xE5\x8A\xA0 ok";  // 3 characters + " ok"
  int needed = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  ASSERT_EQ(needed, 5);  // counts the terminating 0
  std::wstring out(static_cast<size_t>(needed), L'x');
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), needed), 5);
  EXPECT_EQ(out, std::wstring(L"加 ok") + L'\0');

  wchar_t small[2];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, -1, small, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  int bytes = WideCharToMultiByte(CP_ACP, 0, L"速度", 2, nullptr, 0, nullptr, nullptr);
  EXPECT_EQ(bytes, 4);  // no terminator when the length is given
  char narrow[4];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"速度", 2, narrow, 4, nullptr, nullptr), 4);
  EXPECT_EQ(std::string(narrow, 4), win32::WideToAnsi(L"速度"));
}

TEST_F(CodePageTest, InvalidInputAndParameters) {
  struct Case {
    const char* input;
    int length;
    DWORD flags;
    int result;
    DWORD error;
  } cases[] = {
      {"abc", 0, 0, 0, ERROR_INVALID_PARAMETER},
      {"abc", -2, 0, 0, ERROR_INVALID_PARAMETER},
      {"a\xFF", 2, MB_ERR_INVALID_CHARS, 0, ERROR_NO_UNICODE_TRANSLATION},
      {"a\xFF", 2, 0, 2, 0},  // replaced by U+FFFD
  };
  for (const auto& c : cases) {
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, c.flags, c.input, c.length, nullptr, 0), c.result)
        << c.length;
    EXPECT_EQ(GetLastError(), c.error) << c.length;
  }
  BOOL used = FALSE;
  char out[8];
  // A character GBK cannot hold becomes the default character.
  EXPECT_EQ(WideCharToMultiByte(936, 0, L"a\U0001F600", 2, out, 8, nullptr, &used), 2);
  EXPECT_TRUE(used);
  EXPECT_EQ(std::string(out, 2), "a?");
  // UTF-8 forbids the default-character arguments.
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"a", 1, out, 8, nullptr, &used), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(MultiByteToWideChar(12345, 0, "a", 1, nullptr, 0), 0);
}

// The one UTF-8 converter of the tree: bad bytes become U+FFFD one by one,
// characters UTF-8 cannot hold become U+FFFD too.
TEST_F(CodePageTest, Utf8BothWays) {
  struct Case {
    std::string utf8;
    std::wstring wide;
  } decoded[] = {
      {"", L""},
      {"127.0.0.1", L"127.0.0.1"},
      {"香港节点 1", L"香港节点 1"},
      {"\xF0\x9F\x9A\x80", std::wstring(1, static_cast<wchar_t>(0x1F680))},
      {"a\xFFz", L"a\xFFFDz"},
      {"\xC0\xAF", L"\xFFFD\xFFFD"},                      // overlong "/"
      {"\xE9\xA6", L"\xFFFD\xFFFD"},                      // cut short
      {"\xED\xA0\x80", L"\xFFFD\xFFFD\xFFFD"},            // surrogate
      {"\xF4\x90\x80\x80", L"\xFFFD\xFFFD\xFFFD\xFFFD"},  // past U+10FFFF
  };
  for (const Case& c : decoded)
    EXPECT_EQ(c.wide, win32::Utf8ToWide(c.utf8)) << c.utf8;
  Case encoded[] = {
      {"a香\xF0\x9F\x9A\x80", std::wstring(L"a香") + static_cast<wchar_t>(0x1F680)},
      {"a\xEF\xBF\xBDz", std::wstring(L"a") + static_cast<wchar_t>(0xD800) + L"z"},
      {"\xEF\xBF\xBD", std::wstring(1, static_cast<wchar_t>(0x110000))},
  };
  for (const Case& c : encoded)
    EXPECT_EQ(c.utf8, win32::WideToUtf8(c.wide)) << c.utf8;
}

}  // namespace
