// The access token the services hand out in a "Json-Web-Token" response
// header, sent back as "json-web-token:<token>".

#ifndef SERVICEBRIDGE_TOKEN_STORE_H_
#define SERVICEBRIDGE_TOKEN_STORE_H_

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace servicebridge {

// The token carried by raw response header lines: the text after the first
// "Json-Web-Token" and one separator, up to CR, LF, a zero byte or the end,
// with every space dropped. nullopt when the headers carry none.
std::optional<std::string> ExtractToken(std::string_view headers);

class TokenStore {
 public:
  // "json-web-token:" followed directly by the stored token.
  std::string HeaderLine();
  // When `headers` carry a token (even an empty one), stores it and rewrites
  // the file "jwt" in `working_directory` with exactly that value. The file is
  // left alone when it was last written there with the same value.
  void Capture(std::string_view headers, const std::string& working_directory);

  std::string TokenForTesting();
  void ClearForTesting();

 private:
  std::mutex lock_;
  std::string token_;
  bool written_ = false;
  std::string written_directory_;
};

}  // namespace servicebridge

#endif  // SERVICEBRIDGE_TOKEN_STORE_H_
