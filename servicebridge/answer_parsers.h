// Turns a 200 answer body into the result record of each operation. Texts are
// read as UTF-8 and passed through `convert` (UTF-8 to the ANSI code page, or
// unchanged for the operations that keep UTF-8).

#ifndef SERVICEBRIDGE_ANSWER_PARSERS_H_
#define SERVICEBRIDGE_ANSWER_PARSERS_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "servicebridge/service_bridge.h"

namespace servicebridge {

using TextConverter = std::string (*)(std::string_view utf8);

std::string KeepUtf8(std::string_view utf8);

// Each reader fills only what the answer supplies; the rest of `*result`
// keeps what the caller put there.
void ReadRegisterAnswer(std::string_view body, TextConverter convert, RegisterResult* result);
void ReadLoginAnswer(std::string_view body, TextConverter convert, LoginResult* result);
void ReadResetAnswer(std::string_view body, TextConverter convert, ResetResult* result);
void ReadCaptchaAnswer(std::string_view body, TextConverter convert, CaptchaResult* result);
void ReadInterimAnswer(std::string_view body, TextConverter convert, InterimInfo* result);
// The key text, or empty unless "code" is 200 and data.content is a string.
std::string ReadPublicKeyAnswer(std::string_view body);

std::vector<NodeInfo> ReadNodesAnswer(std::string_view body, TextConverter convert);

struct RouteAnswer {
  std::vector<RouteEntry> routes;
  // The "version" of the last change, when it has an integer one.
  std::optional<int> last_change_version;
  // data.version.
  std::optional<int> version;
};
RouteAnswer ReadRoutesAnswer(std::string_view body, TextConverter convert);

void ReadDnsAnswer(std::string_view body, TextConverter convert, DnsServerInfo* result);
void ReadUpgradeAnswer(std::string_view body, TextConverter convert, UpgradeInfo* result);
void ReadMemberAnswer(std::string_view body, TextConverter convert, MemberInfo* result);
std::map<std::string, GoodsItem> ReadGoodsAnswer(std::string_view body, TextConverter convert);
void ReadWechatOrderAnswer(std::string_view body, TextConverter convert, WechatOrder* result);
// 0 when the answer has no integer data.status.
int ReadPayStatusAnswer(std::string_view body);
void ReadNoticeAnswer(std::string_view body, TextConverter convert, NoticeInfo* result);

// Local time as "%Y-%m-%d %H:%M:%S"; empty when the value is outside what the
// C library can convert.
std::string FormatTimeText(int64_t seconds_since_1970);

}  // namespace servicebridge

#endif  // SERVICEBRIDGE_ANSWER_PARSERS_H_
