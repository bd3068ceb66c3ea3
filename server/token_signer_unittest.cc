#include "server/token_signer.h"

#include <gtest/gtest.h>

#include "server/crypto_util.h"

namespace tern {
namespace {

TEST(TokenSignerTest, IssuedTokensCheckUntilTheyExpire) {
  TokenSigner signer(std::string(64, 's'));
  TokenClaims claims{42, "13800000001", 3, 1000, 2000};
  std::string token = signer.Issue(claims);
  EXPECT_EQ(std::count(token.begin(), token.end(), '.'), 2);
  EXPECT_EQ(token.find_first_of(" \r\n=+/"), std::string::npos);
  TokenClaims read;
  ASSERT_EQ(signer.Check(token, 1999, &read), TokenCheck::kValid);
  EXPECT_EQ(read.account_id, 42);
  EXPECT_EQ(read.number, "13800000001");
  EXPECT_EQ(read.epoch, 3);
  EXPECT_EQ(signer.Check(token, 2000, &read), TokenCheck::kExpired);
}

TEST(TokenSignerTest, ForgedTokensAreRefused) {
  TokenSigner signer(std::string(64, 's'));
  TokenSigner other(std::string(64, 't'));
  TokenClaims claims{42, "13800000001", 0, 1000, 2000};
  std::string token = signer.Issue(claims);
  std::string header = token.substr(0, token.find('.'));
  std::string signature = token.substr(token.rfind('.') + 1);
  std::string forged_payload =
      Base64UrlEncode(R"({"sub":"13800000002","uid":43,"epo":0,"iat":1000,"exp":2000})", false);
  std::string none_header = Base64UrlEncode(R"({"alg":"none","typ":"JWT"})", false);
  struct Case {
    std::string token;
    TokenCheck expected;
  } cases[] = {
      {"", TokenCheck::kMissing},
      {"abc", TokenCheck::kMalformed},
      {"a.b", TokenCheck::kMalformed},
      {"a.b.c.d", TokenCheck::kMalformed},
      {"***.***.***", TokenCheck::kMalformed},
      {other.Issue(claims), TokenCheck::kBadSignature},
      {header + "." + forged_payload + "." + signature, TokenCheck::kBadSignature},
      {none_header + "." + forged_payload + ".", TokenCheck::kBadSignature},
      {token.substr(0, token.size() - 1), TokenCheck::kBadSignature},
  };
  for (const Case& c : cases) {
    TokenClaims read;
    EXPECT_EQ(signer.Check(c.token, 1500, &read), c.expected) << c.token;
  }
}

TEST(CryptoUtilTest, Base64UrlRoundTripsEveryLength) {
  std::string data;
  for (int i = 0; i < 70; ++i) {
    for (bool pad : {true, false}) {
      std::string encoded = Base64UrlEncode(data, pad);
      if (pad) {
        EXPECT_EQ(encoded.size() % 4, 0u);
      }
      std::string decoded;
      ASSERT_TRUE(Base64UrlDecode(encoded, &decoded)) << encoded;
      EXPECT_EQ(decoded, data);
    }
    data.push_back(static_cast<char>(i * 37 + 250));
  }
  std::string out;
  EXPECT_FALSE(Base64UrlDecode("A", &out));
  EXPECT_FALSE(Base64UrlDecode("AB!C", &out));
  EXPECT_EQ(RandomDigits(12).find_first_not_of("0123456789"), std::string::npos);
  EXPECT_NE(RandomHex(16), RandomHex(16));
}

}  // namespace
}  // namespace tern
