// Access tokens in JWT form (HS256): header.payload.signature, each part in
// unpadded URL-safe Base64. The payload carries the account id, its number,
// the account's token epoch (raised by a password change, which voids older
// tokens), issue and expiry times.
#ifndef SERVER_TOKEN_SIGNER_H_
#define SERVER_TOKEN_SIGNER_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace tern {

struct TokenClaims {
  int64_t account_id = 0;
  std::string number;
  int64_t epoch = 0;
  int64_t issued_at = 0;
  int64_t expires_at = 0;
};

enum class TokenCheck { kValid, kMissing, kMalformed, kBadSignature, kExpired };

class TokenSigner {
 public:
  // |secret| must not be empty.
  explicit TokenSigner(std::string secret);

  std::string Issue(const TokenClaims& claims) const;
  // Fills *claims on kValid. |now| in seconds since 1970.
  TokenCheck Check(std::string_view token, int64_t now, TokenClaims* claims) const;

 private:
  std::string secret_;
};

}  // namespace tern

#endif  // SERVER_TOKEN_SIGNER_H_
