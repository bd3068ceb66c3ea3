#include "server/password_hasher.h"

#include <openssl/evp.h>

#include <charconv>
#include <vector>

#include "server/crypto_util.h"

namespace tern {
namespace {

constexpr std::string_view kScheme = "pbkdf2-sha256";
constexpr size_t kSaltBytes = 16;
constexpr size_t kHashBytes = 32;

std::string Derive(std::string_view password, std::string_view salt, int iterations) {
  std::string out(kHashBytes, '\0');
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                        reinterpret_cast<const unsigned char*>(salt.data()),
                        static_cast<int>(salt.size()), iterations, EVP_sha256(),
                        static_cast<int>(out.size()),
                        reinterpret_cast<unsigned char*>(out.data())) != 1) {
    return std::string();
  }
  return out;
}

}  // namespace

bool IsAcceptablePassword(std::string_view password) {
  if (password.size() < 8 || password.size() > 16) {
    return false;
  }
  bool non_digit = false;
  for (char c : password) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) {
      return false;
    }
    if (c < '0' || c > '9') {
      non_digit = true;
    }
  }
  return non_digit;
}

std::string HashPassword(std::string_view password, int iterations) {
  std::string salt = RandomBytes(kSaltBytes);
  if (salt.empty() || iterations < 1) {
    return std::string();
  }
  std::string hash = Derive(password, salt, iterations);
  if (hash.empty()) {
    return std::string();
  }
  return std::string(kScheme) + "$" + std::to_string(iterations) + "$" +
         Base64UrlEncode(salt, false) + "$" + Base64UrlEncode(hash, false);
}

bool VerifyPassword(std::string_view password, std::string_view stored) {
  std::vector<std::string_view> parts;
  size_t pos = 0;
  while (true) {
    size_t next = stored.find('$', pos);
    parts.push_back(stored.substr(pos, next - pos));
    if (next == std::string_view::npos)
      break;
    pos = next + 1;
  }
  if (parts.size() != 4 || parts[0] != kScheme) {
    return false;
  }
  int iterations = 0;
  auto [end, ec] = std::from_chars(parts[1].data(), parts[1].data() + parts[1].size(), iterations);
  std::string salt, expected;
  if (ec != std::errc() || end != parts[1].data() + parts[1].size() || iterations < 1 ||
      !Base64UrlDecode(parts[2], &salt) || !Base64UrlDecode(parts[3], &expected) ||
      expected.size() != kHashBytes) {
    return false;
  }
  std::string actual = Derive(password, salt, iterations);
  return !actual.empty() && ConstantTimeEquals(actual, expected);
}

}  // namespace tern
