#include "server/crypto_util.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

namespace tern {
namespace {

constexpr char kUrlAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

int DecodeChar(char c) {
  if (c >= 'A' && c <= 'Z')
    return c - 'A';
  if (c >= 'a' && c <= 'z')
    return c - 'a' + 26;
  if (c >= '0' && c <= '9')
    return c - '0' + 52;
  if (c == '-' || c == '+')
    return 62;
  if (c == '_' || c == '/')
    return 63;
  return -1;
}

}  // namespace

std::string RandomBytes(size_t count) {
  std::string out(count, '\0');
  if (count > 0 &&
      RAND_bytes(reinterpret_cast<unsigned char*>(out.data()), static_cast<int>(count)) != 1) {
    return std::string();
  }
  return out;
}

std::string RandomHex(size_t bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string raw = RandomBytes(bytes);
  std::string out;
  for (unsigned char c : raw) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

std::string RandomDigits(size_t count) {
  std::string out;
  while (out.size() < count) {
    std::string raw = RandomBytes(16);
    if (raw.empty()) {
      return std::string();
    }
    for (unsigned char c : raw) {
      // Rejecting 250..255 keeps the digits uniform.
      if (c < 250 && out.size() < count) {
        out += static_cast<char>('0' + c % 10);
      }
    }
  }
  return out;
}

std::string Base64UrlEncode(std::string_view data, bool pad) {
  std::string out;
  size_t i = 0;
  auto byte = [&](size_t k) { return static_cast<unsigned char>(data[k]); };
  for (; i + 3 <= data.size(); i += 3) {
    uint32_t v = (byte(i) << 16) | (byte(i + 1) << 8) | byte(i + 2);
    out += kUrlAlphabet[(v >> 18) & 63];
    out += kUrlAlphabet[(v >> 12) & 63];
    out += kUrlAlphabet[(v >> 6) & 63];
    out += kUrlAlphabet[v & 63];
  }
  size_t rest = data.size() - i;
  if (rest == 1) {
    uint32_t v = byte(i) << 16;
    out += kUrlAlphabet[(v >> 18) & 63];
    out += kUrlAlphabet[(v >> 12) & 63];
    if (pad)
      out += "==";
  } else if (rest == 2) {
    uint32_t v = (byte(i) << 16) | (byte(i + 1) << 8);
    out += kUrlAlphabet[(v >> 18) & 63];
    out += kUrlAlphabet[(v >> 12) & 63];
    out += kUrlAlphabet[(v >> 6) & 63];
    if (pad)
      out += '=';
  }
  return out;
}

bool Base64UrlDecode(std::string_view text, std::string* out) {
  while (!text.empty() && text.back() == '=') {
    text.remove_suffix(1);
  }
  if (text.size() % 4 == 1) {
    return false;
  }
  out->clear();
  uint32_t acc = 0;
  int bits = 0;
  for (char c : text) {
    int v = DecodeChar(c);
    if (v < 0) {
      return false;
    }
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out->push_back(static_cast<char>((acc >> bits) & 0xFF));
    }
  }
  return true;
}

std::string HmacSha256(std::string_view key, std::string_view data) {
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
            reinterpret_cast<const unsigned char*>(data.data()), data.size(), mac, &length)) {
    return std::string();
  }
  return std::string(reinterpret_cast<char*>(mac), length);
}

bool ConstantTimeEquals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace tern
