#include "client/config/scrambler.h"

#include <openssl/des.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/logging.h"
#include "win32/code_page.h"

// The low-level DES calls are deprecated in OpenSSL 3 but, unlike DES
// through EVP, work without loading the legacy provider.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

// Changing it makes every scrambled entry of existing files unreadable.
const unsigned char kKey[16] = {0x54, 0x65, 0x72, 0x6E, 0x2D, 0x43, 0x66, 0x67,
                                0x9A, 0x3C, 0x51, 0xE7, 0x08, 0xB2, 0x6D, 0xF4};

// The padded hex text must stay below 512 characters.
constexpr size_t kMaxPaddedHex = 512;

struct Schedules {
  DES_key_schedule k1;
  DES_key_schedule k2;
};

const Schedules& KeySchedules() {
  static const Schedules schedules = [] {
    Schedules s;
    DES_cblock k1, k2;
    std::memcpy(k1, kKey, 8);
    std::memcpy(k2, kKey + 8, 8);
    DES_set_key_unchecked(&k1, &s.k1);
    DES_set_key_unchecked(&k2, &s.k2);
    return s;
  }();
  return schedules;
}

// EDE with K1, K2, K1, block by block.
std::vector<unsigned char> Crypt(const std::vector<unsigned char>& in, int direction) {
  const Schedules& s = KeySchedules();
  std::vector<unsigned char> out(in.size());
  for (size_t i = 0; i + 8 <= in.size(); i += 8) {
    DES_cblock block;
    DES_cblock result;
    std::memcpy(block, in.data() + i, 8);
    DES_ecb3_encrypt(&block, &result, const_cast<DES_key_schedule*>(&s.k1),
                     const_cast<DES_key_schedule*>(&s.k2), const_cast<DES_key_schedule*>(&s.k1),
                     direction);
    std::memcpy(out.data() + i, result, 8);
  }
  return out;
}

std::string HexEncode(const unsigned char* data, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    out.push_back(kDigits[data[i] >> 4]);
    out.push_back(kDigits[data[i] & 0x0F]);
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    c = static_cast<char>(c - 'a' + 'A');
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// Lower-case digits are accepted; false on a non-hex character or an odd
// length.
bool HexDecode(const std::string& hex, std::vector<unsigned char>* out) {
  if (hex.size() % 2 != 0)
    return false;
  out->clear();
  out->reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    int high = HexValue(hex[i]);
    int low = HexValue(hex[i + 1]);
    if (high < 0 || low < 0)
      return false;
    out->push_back(static_cast<unsigned char>((high << 4) | low));
  }
  return true;
}

}  // namespace

std::wstring ScrambleText(const std::wstring& text) {
  std::string ansi = win32::WideToAnsi(text);
  if (ansi.size() > kMaxScrambleBytes) {
    LOG(ERROR) << "ScrambleText refused a text of " << ansi.size() << " bytes (at most "
               << kMaxScrambleBytes << ")";
    return std::wstring();
  }
  std::string hex = HexEncode(reinterpret_cast<const unsigned char*>(ansi.data()), ansi.size());
  char prefix[8];
  std::snprintf(prefix, sizeof(prefix), "%03x", static_cast<unsigned>(hex.size()));
  std::string framed = prefix + hex;
  framed.append(16 - framed.size() % 16, 'F');
  if (framed.size() >= kMaxPaddedHex)
    return std::wstring();
  std::vector<unsigned char> plain;
  HexDecode(framed, &plain);
  std::vector<unsigned char> cipher = Crypt(plain, DES_ENCRYPT);
  return win32::Utf8ToWide(HexEncode(cipher.data(), cipher.size()));
}

std::wstring UnscrambleText(const std::wstring& text) {
  std::vector<unsigned char> cipher;
  if (!HexDecode(win32::WideToAnsi(text), &cipher) || cipher.empty() || cipher.size() % 8 != 0)
    return std::wstring();
  std::vector<unsigned char> plain = Crypt(cipher, DES_DECRYPT);
  size_t digits = static_cast<size_t>((plain[0] << 8) | plain[1]) >> 4;
  if ((digits + 4) / 2 > 256 || digits % 2 != 0 || 3 + digits > plain.size() * 2)
    return std::wstring();
  std::string hex = HexEncode(plain.data(), plain.size());
  // Whatever follows the payload must be the "F" padding.
  if (hex.find_first_not_of('F', 3 + digits) != std::string::npos)
    return std::wstring();
  std::vector<unsigned char> payload;
  if (!HexDecode(hex.substr(3, digits), &payload))
    return std::wstring();
  return win32::AnsiToWide(
      std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size()));
}

const unsigned char* ScrambleKeyForTesting() {
  return kKey;
}

#pragma GCC diagnostic pop
