#include "client/windows/password_encryption.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "win32/code_page.h"

namespace {

struct BioDeleter {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct KeyDeleter {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextDeleter {
  void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};

void Say(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

}  // namespace

std::string Base64UrlEncode(const std::string& bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t n = (static_cast<uint8_t>(bytes[i]) << 16) |
                 (static_cast<uint8_t>(bytes[i + 1]) << 8) | static_cast<uint8_t>(bytes[i + 2]);
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += kAlphabet[n & 63];
  }
  size_t rest = bytes.size() - i;
  if (rest) {
    uint32_t n = static_cast<uint8_t>(bytes[i]) << 16;
    if (rest == 2)
      n |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += rest == 2 ? kAlphabet[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string EncryptPassword(const std::wstring& password, const std::string& key_path) {
  std::string plain = win32::WideToAnsi(password);
  if (plain.empty() || key_path.empty()) {
    Say("empty file");
    return std::string();
  }
  std::unique_ptr<BIO, BioDeleter> file(BIO_new_file(key_path.c_str(), "rb"));
  if (!file) {
    Say("cannot open public key file");
    return std::string();
  }
  std::unique_ptr<EVP_PKEY, KeyDeleter> key(
      PEM_read_bio_PUBKEY(file.get(), nullptr, nullptr, nullptr));
  if (!key) {
    Say("read public key failed");
    return std::string();
  }
  std::unique_ptr<EVP_PKEY_CTX, ContextDeleter> context(EVP_PKEY_CTX_new(key.get(), nullptr));
  if (!context || EVP_PKEY_encrypt_init(context.get()) <= 0 ||
      EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) <= 0)
    return std::string();
  size_t size = 0;
  const auto* in = reinterpret_cast<const unsigned char*>(plain.data());
  if (EVP_PKEY_encrypt(context.get(), nullptr, &size, in, plain.size()) <= 0)
    return std::string();
  std::vector<unsigned char> out(size);
  if (EVP_PKEY_encrypt(context.get(), out.data(), &size, in, plain.size()) <= 0)
    return std::string();
  return Base64UrlEncode(std::string(reinterpret_cast<const char*>(out.data()), size));
}
