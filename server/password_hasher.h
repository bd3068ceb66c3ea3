// Salted slow password hashes: PBKDF2-HMAC-SHA256 with a per-account salt,
// stored as "pbkdf2-sha256$<iterations>$<salt>$<hash>" (salt and hash in
// URL-safe Base64) so that the work factor can grow without a migration.
#ifndef SERVER_PASSWORD_HASHER_H_
#define SERVER_PASSWORD_HASHER_H_

#include <string>
#include <string_view>

namespace tern {

constexpr int kPasswordIterations = 100000;

// The rule the client announces to users: 8 to 16 characters, not all
// digits, no control characters.
bool IsAcceptablePassword(std::string_view password);

// Empty when the random salt or the derivation fails.
std::string HashPassword(std::string_view password, int iterations = kPasswordIterations);
// False for a wrong password and for a stored text that is not a hash.
bool VerifyPassword(std::string_view password, std::string_view stored);

}  // namespace tern

#endif  // SERVER_PASSWORD_HASHER_H_
