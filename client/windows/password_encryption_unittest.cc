#include "client/windows/password_encryption.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "win32/code_page.h"

namespace {

std::string Base64UrlDecode(const std::string& text) {
  static const std::string kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=')
      break;
    bits = (bits << 6) | static_cast<uint32_t>(kAlphabet.find(c));
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

class PasswordEncryptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/tern-pw-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    key_ = EVP_RSA_gen(2048);
    ASSERT_NE(key_, nullptr);
    FILE* f = fopen((dir_ + "/pubkey.pem").c_str(), "w");
    ASSERT_NE(f, nullptr);
    PEM_write_PUBKEY(f, key_);
    fclose(f);
  }
  void TearDown() override {
    EVP_PKEY_free(key_);
    std::string command = "rm -rf " + dir_;
    EXPECT_EQ(system(command.c_str()), 0);
  }

  std::string Decrypt(const std::string& cipher) {
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(key_, nullptr);
    EVP_PKEY_decrypt_init(context);
    EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING);
    size_t size = 0;
    const auto* in = reinterpret_cast<const unsigned char*>(cipher.data());
    EVP_PKEY_decrypt(context, nullptr, &size, in, cipher.size());
    std::vector<unsigned char> out(size);
    int ok = EVP_PKEY_decrypt(context, out.data(), &size, in, cipher.size());
    EVP_PKEY_CTX_free(context);
    return ok > 0 ? std::string(reinterpret_cast<char*>(out.data()), size) : "<failed>";
  }

  std::string dir_;
  EVP_PKEY* key_ = nullptr;
};

TEST_F(PasswordEncryptionTest, TheServiceKeyDecryptsTheAnsiBytes) {
  for (const wchar_t* password : {L"abc12345", L"密码abc123"}) {
    std::string sent = EncryptPassword(password, dir_ + "/pubkey.pem");
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.find_first_of("+/"), std::string::npos);
    EXPECT_EQ(sent.size() % 4, 0u);
    std::string cipher = Base64UrlDecode(sent);
    EXPECT_EQ(cipher.size(), 256u);  // the modulus of a 2048-bit key
    EXPECT_EQ(Decrypt(cipher), win32::WideToAnsi(password));
  }
  // PKCS#1 v1.5 is randomised: the same password never looks the same twice.
  EXPECT_NE(EncryptPassword(L"abc12345", dir_ + "/pubkey.pem"),
            EncryptPassword(L"abc12345", dir_ + "/pubkey.pem"));
}

TEST_F(PasswordEncryptionTest, NothingToSendWhenSomethingIsMissing) {
  EXPECT_EQ(EncryptPassword(L"", dir_ + "/pubkey.pem"), "");
  EXPECT_EQ(EncryptPassword(L"abc12345", ""), "");
  EXPECT_EQ(EncryptPassword(L"abc12345", dir_ + "/missing.pem"), "");
  std::ofstream(dir_ + "/garbage.pem") << "-----BEGIN PUBLIC KEY-----\nnot a key\n";
  EXPECT_EQ(EncryptPassword(L"abc12345", dir_ + "/garbage.pem"), "");
}

TEST(Base64UrlTest, KnownValues) {
  EXPECT_EQ(Base64UrlEncode(""), "");
  EXPECT_EQ(Base64UrlEncode("f"), "Zg==");
  EXPECT_EQ(Base64UrlEncode("fo"), "Zm8=");
  EXPECT_EQ(Base64UrlEncode("foo"), "Zm9v");
  EXPECT_EQ(Base64UrlEncode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Base64UrlEncode("\xfb\xff"), "-_8=");
  EXPECT_EQ(Base64UrlEncode("\xfb\xef\xff"), "--__");
}

}  // namespace
