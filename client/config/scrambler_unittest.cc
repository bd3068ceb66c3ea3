#include "client/config/scrambler.h"

#include <gtest/gtest.h>
#include <openssl/des.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "win32/code_page.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

// Decrypts a cipher text with the scrambler's key, independently of it.
std::string PlainHex(const std::wstring& cipher_text) {
  const unsigned char* key = ScrambleKeyForTesting();
  DES_cblock k1, k2;
  memcpy(k1, key, 8);
  memcpy(k2, key + 8, 8);
  DES_key_schedule s1, s2;
  DES_set_key_unchecked(&k1, &s1);
  DES_set_key_unchecked(&k2, &s2);
  std::string hex = win32::WideToUtf8(cipher_text);
  std::string out;
  for (size_t i = 0; i + 16 <= hex.size(); i += 16) {
    DES_cblock in, plain;
    for (int b = 0; b < 8; ++b)
      in[b] = static_cast<unsigned char>(std::stoi(hex.substr(i + 2 * b, 2), nullptr, 16));
    DES_ecb3_encrypt(&in, &plain, &s1, &s2, &s1, DES_DECRYPT);
    char buf[3];
    for (int b = 0; b < 8; ++b) {
      snprintf(buf, sizeof(buf), "%02X", plain[b]);
      out += buf;
    }
  }
  return out;
}

class ScramblerTest : public ::testing::Test {
 protected:
  void SetUp() override { unsetenv("TERN_ACP"); }
};

TEST_F(ScramblerTest, FramingBeforeEncryption) {
  struct Case {
    std::wstring text;
    std::string plain_hex;
  } cases[] = {
      {L"", "000FFFFFFFFFFFFF"},
      {L"1",
       "002"
       "31"
       "FFFFFFFFFFF"},  // the worked example: 00 23 1F FF FF FF FF FF
      {L"abcdef",
       "00C"
       "616263646566"
       "F"},  // 2L + 3 = 15: one F
      {L"abcdefg",
       "00E"
       "61626364656667"
       "FFFFFFFFFFFFFFF"},  // 2L + 3 = 17: fifteen
      {L"加",
       "004"
       "BCD3"
       "FFFFFFFFF"},  // GBK bytes
  };
  for (const auto& c : cases) {
    std::wstring cipher = ScrambleText(c.text);
    EXPECT_EQ(cipher.size(), c.plain_hex.size()) << c.plain_hex;
    EXPECT_EQ(cipher.find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos);
    EXPECT_EQ(PlainHex(cipher), c.plain_hex);
    EXPECT_EQ(UnscrambleText(cipher), c.text) << c.plain_hex;
  }
  EXPECT_EQ(ScrambleText(L"user_data"), ScrambleText(L"user_data"));
  EXPECT_NE(ScrambleText(L"user_data"), ScrambleText(L"user_datb"));
}

TEST_F(ScramblerTest, LengthLimit) {
  std::wstring longest(kMaxScrambleBytes, L'x');
  std::wstring cipher = ScrambleText(longest);
  EXPECT_EQ(cipher.size(), 496u);
  EXPECT_EQ(UnscrambleText(cipher), longest);
  EXPECT_EQ(ScrambleText(longest + L"x"), L"");
  EXPECT_EQ(ScrambleText(std::wstring(10000, L'y')), L"");
}

TEST_F(ScramblerTest, CorruptCipherTextGivesEmpty) {
  std::wstring good = ScrambleText(L"account");
  std::wstring lower = good;
  for (auto& c : lower)
    c = static_cast<wchar_t>(towlower(c));
  EXPECT_EQ(UnscrambleText(lower), L"account");  // lower-case digits are accepted

  std::wstring tampered = good;
  tampered[0] = tampered[0] == L'0' ? L'1' : L'0';  // another first block
  const std::wstring cases[] = {
      L"",
      L"0",                             // a typical default
      good.substr(0, good.size() - 1),  // odd length
      good.substr(0, 8),                // not a whole block
      L"ZZ" + good.substr(2),           // not hex
      tampered,                         // garbage length prefix / padding
      good + good.substr(0, 16),        // trailing block that is no padding
  };
  for (const auto& c : cases)
    EXPECT_EQ(UnscrambleText(c), L"") << win32::WideToUtf8(c);

  // A first block claiming more digits than the data holds, built with the
  // real key: 0xFF0 digits in a single block.
  const unsigned char* key = ScrambleKeyForTesting();
  DES_cblock k1, k2, in = {0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, out;
  memcpy(k1, key, 8);
  memcpy(k2, key + 8, 8);
  DES_key_schedule s1, s2;
  DES_set_key_unchecked(&k1, &s1);
  DES_set_key_unchecked(&k2, &s2);
  DES_ecb3_encrypt(&in, &out, &s1, &s2, &s1, DES_ENCRYPT);
  std::wstring bogus;
  for (unsigned char b : out) {
    wchar_t buf[3];
    swprintf(buf, 3, L"%02X", b);
    bogus += buf;
  }
  EXPECT_EQ(UnscrambleText(bogus), L"");
  // 8 digits claimed and present, but what follows is no "F" padding.
  const unsigned char kUnpadded[8] = {0x00, 0x8F, 0xFF, 0xFF, 0xFF, 0x12, 0x34, 0x56};
  memcpy(in, kUnpadded, 8);
  DES_ecb3_encrypt(&in, &out, &s1, &s2, &s1, DES_ENCRYPT);
  bogus.clear();
  for (unsigned char b : out) {
    wchar_t buf[3];
    swprintf(buf, 3, L"%02X", b);
    bogus += buf;
  }
  EXPECT_EQ(UnscrambleText(bogus), L"");
}

}  // namespace
