#include "server/token_signer.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "server/crypto_util.h"

namespace tern {
namespace {

constexpr std::string_view kHeader = R"({"alg":"HS256","typ":"JWT"})";

}  // namespace

TokenSigner::TokenSigner(std::string secret) : secret_(std::move(secret)) {}

std::string TokenSigner::Issue(const TokenClaims& claims) const {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartObject();
  writer.Key("sub");
  writer.String(claims.number.c_str(), static_cast<rapidjson::SizeType>(claims.number.size()));
  writer.Key("uid");
  writer.Int64(claims.account_id);
  writer.Key("epo");
  writer.Int64(claims.epoch);
  writer.Key("iat");
  writer.Int64(claims.issued_at);
  writer.Key("exp");
  writer.Int64(claims.expires_at);
  writer.EndObject();
  std::string signing_input =
      Base64UrlEncode(kHeader, false) + "." +
      Base64UrlEncode(std::string_view(buffer.GetString(), buffer.GetSize()), false);
  return signing_input + "." + Base64UrlEncode(HmacSha256(secret_, signing_input), false);
}

TokenCheck TokenSigner::Check(std::string_view token, int64_t now, TokenClaims* claims) const {
  if (token.empty()) {
    return TokenCheck::kMissing;
  }
  size_t first = token.find('.');
  size_t second = first == std::string_view::npos ? first : token.find('.', first + 1);
  if (second == std::string_view::npos || token.find('.', second + 1) != std::string_view::npos) {
    return TokenCheck::kMalformed;
  }
  std::string_view signing_input = token.substr(0, second);
  std::string header, payload, signature;
  if (!Base64UrlDecode(token.substr(0, first), &header) ||
      !Base64UrlDecode(token.substr(first + 1, second - first - 1), &payload) ||
      !Base64UrlDecode(token.substr(second + 1), &signature)) {
    return TokenCheck::kMalformed;
  }
  // The signature is checked before anything in the payload is trusted, and
  // the header must be ours, so no "alg":"none" or other algorithm slips in.
  if (!ConstantTimeEquals(HmacSha256(secret_, signing_input), signature)) {
    return TokenCheck::kBadSignature;
  }
  if (header != kHeader) {
    return TokenCheck::kMalformed;
  }
  rapidjson::Document doc;
  doc.Parse(payload.c_str(), payload.size());
  if (doc.HasParseError() || !doc.IsObject()) {
    return TokenCheck::kMalformed;
  }
  auto int_member = [&](const char* name, int64_t* out) {
    auto it = doc.FindMember(name);
    if (it == doc.MemberEnd() || !it->value.IsInt64())
      return false;
    *out = it->value.GetInt64();
    return true;
  };
  TokenClaims parsed;
  auto sub = doc.FindMember("sub");
  if (sub == doc.MemberEnd() || !sub->value.IsString() || !int_member("uid", &parsed.account_id) ||
      !int_member("epo", &parsed.epoch) || !int_member("iat", &parsed.issued_at) ||
      !int_member("exp", &parsed.expires_at)) {
    return TokenCheck::kMalformed;
  }
  parsed.number.assign(sub->value.GetString(), sub->value.GetStringLength());
  if (now >= parsed.expires_at) {
    return TokenCheck::kExpired;
  }
  *claims = parsed;
  return TokenCheck::kValid;
}

}  // namespace tern
