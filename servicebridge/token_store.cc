#include "servicebridge/token_store.h"

#include "servicebridge/file_writer.h"

namespace servicebridge {

std::optional<std::string> ExtractToken(std::string_view headers) {
  static constexpr std::string_view kName = "Json-Web-Token";
  size_t found = headers.find(kName);
  if (found == std::string_view::npos)
    return std::nullopt;
  std::string token;
  // Skips the colon; a header text that ends at the name yields nothing.
  for (size_t i = found + kName.size() + 1; i < headers.size(); ++i) {
    char c = headers[i];
    if (c == '\r' || c == '\n' || c == '\0')
      break;
    if (c != ' ')
      token += c;
  }
  return token;
}

std::string TokenStore::HeaderLine() {
  std::lock_guard<std::mutex> hold(lock_);
  return "json-web-token:" + token_;
}

void TokenStore::Capture(std::string_view headers, const std::string& working_directory) {
  std::optional<std::string> token = ExtractToken(headers);
  if (!token)
    return;
  std::lock_guard<std::mutex> hold(lock_);
  // The file already holds this token: rewriting it would change nothing.
  if (written_ && *token == token_ && working_directory == written_directory_)
    return;
  token_ = *token;
  written_ = WriteFileReplacing(working_directory + "jwt", token_);
  written_directory_ = working_directory;
}

std::string TokenStore::TokenForTesting() {
  std::lock_guard<std::mutex> hold(lock_);
  return token_;
}

void TokenStore::ClearForTesting() {
  std::lock_guard<std::mutex> hold(lock_);
  token_.clear();
  written_ = false;
}

}  // namespace servicebridge
