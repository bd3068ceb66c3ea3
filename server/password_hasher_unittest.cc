#include "server/password_hasher.h"

#include <gtest/gtest.h>

#include "server/key_material.h"
#include "server/testing/service_process.h"

namespace tern {
namespace {

TEST(PasswordHasherTest, Rule) {
  struct Case {
    const char* password;
    bool ok;
  } cases[] = {
      {"abcdefgh", true},    {"1234567a", true},
      {"1234567!", true},    {"abcdefghijklmnop", true},
      {"abcdefg", false},    {"abcdefghijklmnopq", false},
      {"12345678", false},   {"1234567890123456", false},
      {"abc\tdefgh", false}, {"", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsAcceptablePassword(c.password), c.ok) << c.password;
  }
}

TEST(PasswordHasherTest, HashesAreSaltedAndVerify) {
  std::string a = HashPassword("abc12345", 1000);
  std::string b = HashPassword("abc12345", 1000);
  ASSERT_FALSE(a.empty());
  EXPECT_NE(a, b);
  EXPECT_EQ(a.find("abc12345"), std::string::npos);
  EXPECT_TRUE(VerifyPassword("abc12345", a));
  EXPECT_TRUE(VerifyPassword("abc12345", b));
  EXPECT_FALSE(VerifyPassword("abc12346", a));
  EXPECT_FALSE(VerifyPassword("", a));
  for (const char* broken : {"", "plain", "pbkdf2-sha256$x$AA$AA", "md5$1000$AA$AA",
                             "pbkdf2-sha256$0$AAAA$AAAA", "pbkdf2-sha256$1000$AAAA$AAAA"}) {
    EXPECT_FALSE(VerifyPassword("abc12345", broken)) << broken;
  }
}

TEST(KeyMaterialTest, DecryptsWhatTheClientEncryptsAndKeepsItsKeys) {
  ScopedTempDir dir;
  std::string error;
  auto keys = KeyMaterial::LoadOrCreate(dir.path(), &error);
  ASSERT_TRUE(keys) << error;
  EXPECT_EQ(keys->public_key_pem().rfind("-----BEGIN PUBLIC KEY-----", 0), 0u);
  std::string encrypted = EncryptPasswordForTesting(keys->public_key_pem(), "pass word!");
  EXPECT_EQ(encrypted.size() % 4, 0u);
  EXPECT_EQ(encrypted.find_first_of("+/"), std::string::npos);
  std::string plain;
  ASSERT_TRUE(keys->DecryptPassword(encrypted, &plain));
  EXPECT_EQ(plain, "pass word!");

  std::string tampered = encrypted;
  tampered[10] = tampered[10] == 'A' ? 'B' : 'A';
  for (const std::string& bad : {std::string(), std::string("abc"), encrypted.substr(4),
                                 std::string("*") + encrypted.substr(1)}) {
    EXPECT_FALSE(keys->DecryptPassword(bad, &plain)) << bad;
  }
  // A tampered block either fails or gives different bytes, never the secret.
  EXPECT_TRUE(!keys->DecryptPassword(tampered, &plain) || plain != "pass word!");

  auto reloaded = KeyMaterial::LoadOrCreate(dir.path(), &error);
  ASSERT_TRUE(reloaded) << error;
  EXPECT_EQ(reloaded->public_key_pem(), keys->public_key_pem());
  EXPECT_EQ(reloaded->token_secret(), keys->token_secret());
  ASSERT_TRUE(reloaded->DecryptPassword(encrypted, &plain));
  EXPECT_EQ(plain, "pass word!");
}

}  // namespace
}  // namespace tern
