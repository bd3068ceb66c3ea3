// libFuzzer entry for the answer readers: any bytes the services might send
// must give records, never a crash, a hang or undefined behaviour.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "servicebridge/answer_parsers.h"
#include "servicebridge/token_store.h"

namespace {

std::string Widen(std::string_view utf8) {
  return std::string(utf8) + std::string(utf8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace servicebridge;
  std::string_view body(reinterpret_cast<const char*>(data), size);
  TextConverter convert = size % 2 ? KeepUtf8 : Widen;

  RegisterResult registered;
  ReadRegisterAnswer(body, convert, &registered);
  LoginResult login;
  ReadLoginAnswer(body, convert, &login);
  ResetResult reset;
  ReadResetAnswer(body, convert, &reset);
  CaptchaResult captcha;
  ReadCaptchaAnswer(body, convert, &captcha);
  InterimInfo interim;
  ReadInterimAnswer(body, convert, &interim);
  ReadPublicKeyAnswer(body);
  ReadNodesAnswer(body, convert);
  ReadRoutesAnswer(body, convert);
  DnsServerInfo dns;
  ReadDnsAnswer(body, convert, &dns);
  UpgradeInfo upgrade;
  ReadUpgradeAnswer(body, convert, &upgrade);
  MemberInfo member;
  ReadMemberAnswer(body, convert, &member);
  ReadGoodsAnswer(body, convert);
  WechatOrder order;
  ReadWechatOrderAnswer(body, convert, &order);
  ReadPayStatusAnswer(body);
  NoticeInfo notice;
  ReadNoticeAnswer(body, convert, &notice);
  ExtractToken(body);
  return 0;
}
