// Small OpenSSL helpers shared by the server's key, token and password code.
#ifndef SERVER_CRYPTO_UTIL_H_
#define SERVER_CRYPTO_UTIL_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace tern {

// Cryptographically random bytes; empty when the generator fails.
std::string RandomBytes(size_t count);
std::string RandomHex(size_t bytes);
// |count| random decimal digits (uniform).
std::string RandomDigits(size_t count);

// Base64 with the URL-safe alphabet, padded with "=" to a multiple of 4.
std::string Base64UrlEncode(std::string_view data, bool pad);
// Accepts the URL-safe and the standard alphabet, with or without padding.
// False on any other character or a bad length.
bool Base64UrlDecode(std::string_view text, std::string* out);

std::string HmacSha256(std::string_view key, std::string_view data);
// Equal-length comparison that does not stop at the first difference.
bool ConstantTimeEquals(std::string_view a, std::string_view b);

}  // namespace tern

#endif  // SERVER_CRYPTO_UTIL_H_
