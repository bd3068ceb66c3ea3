#include "servicebridge/http_interface.h"

#include <string.h>

#include <chrono>
#include <mutex>
#include <string_view>

#include "servicebridge/answer_parsers.h"
#include "servicebridge/bridge_log.h"
#include "servicebridge/code_page.h"
#include "servicebridge/file_writer.h"
#include "servicebridge/http_transport.h"
#include "servicebridge/mac_address.h"
#include "servicebridge/request_body.h"
#include "servicebridge/service_hosts.h"
#include "servicebridge/token_store.h"
#include "win32/code_page.h"
#include "win32/profile.h"

namespace servicebridge {

namespace {

// Set during start-up and read by every call afterwards. The lock is held
// only to copy a value, so a late initialize cannot tear a read.
struct ModuleState {
  std::mutex lock;
  std::string working_directory;  // Empty, or the directory and a slash.
  char device_text[104] = {};
  char extra_text1[104] = {};
  char extra_text2[100] = {};
  ServiceHosts hosts = DefaultServiceHosts();
};

// Never destroyed: calls may still run on other threads while the process
// unloads the library.
ModuleState& State() {
  static ModuleState* state = new ModuleState;
  return *state;
}

TokenStore& Tokens() {
  static TokenStore* tokens = new TokenStore;
  return *tokens;
}

std::string WorkingDirectory() {
  std::lock_guard<std::mutex> hold(State().lock);
  return State().working_directory;
}

ServiceHosts Hosts() {
  std::lock_guard<std::mutex> hold(State().lock);
  return State().hosts;
}

std::string DeviceText() {
  std::lock_guard<std::mutex> hold(State().lock);
  return State().device_text;
}

// Literal copy, cut to fit with its terminating zero.
int CopyText(char* target, size_t size, const char* text) {
  std::lock_guard<std::mutex> hold(State().lock);
  size_t length = text ? strnlen(text, size - 1) : 0;
  if (length)
    memcpy(target, text, length);
  target[length] = '\0';
  return static_cast<int>(length);
}

struct Reply {
  int status = 0;
  std::string body;
  std::string headers;
};

enum class Method { kPostJson, kPostPlain, kGet };
enum class Token { kSend, kNone };

Reply Send(Method method, const std::string& url, Token token, const std::string& body = {}) {
  Reply reply;
  std::string header = token == Token::kSend ? Tokens().HeaderLine() : std::string();
  switch (method) {
    case Method::kPostJson:
      reply.status = PostJson(url, header, body, &reply.body, &reply.headers);
      break;
    case Method::kPostPlain:
      reply.status = PostPlain(url, header, body, &reply.body, &reply.headers);
      break;
    case Method::kGet:
      reply.status = Get(url, header, &reply.body, &reply.headers);
      break;
  }
  return reply;
}

void CaptureToken(const Reply& reply) {
  if (!reply.headers.empty())
    Tokens().Capture(reply.headers, WorkingDirectory());
}

// The device and MAC query that account requests carry.
std::string Decorate(const std::string& url) {
  return url + "?chan=official&dev=" + QueryValue(DeviceText()) +
         "&mac=" + QueryValue(MacAddressText());
}

// Runs one operation so that nothing it throws (out of memory on a huge
// answer, for one) crosses the interface; the caller then gets the defaults.
template <typename Result, typename Body>
Result Guarded(Body body) {
  try {
    return body();
  } catch (...) {
    return Result{};
  }
}

}  // namespace

HttpInterface::HttpInterface() = default;
HttpInterface::~HttpInterface() = default;

RegisterResult HttpInterface::registerAccount(std::string username,
                                              std::string password,
                                              std::string captcha) {
  return Guarded<RegisterResult>([&] {
    RegisterResult result;
    std::string body = JsonBody(
        {{"username", username}, {"password", password}, {"client", "pc"}, {"captcha", captcha}});
    Reply reply = Send(Method::kPostJson, Decorate(Hosts().account + "/account/signup.do"),
                       Token::kNone, body);
    CaptureToken(reply);
    if (reply.status != 200) {
      LogError("register failed, error code:%d, reason:%s", reply.status,
               Utf8ToAnsi(reply.body).c_str());
      return result;
    }
    ReadRegisterAnswer(reply.body, Utf8ToAnsi, &result);
    return result;
  });
}

LoginResult HttpInterface::loginAccount(std::string username,
                                        std::string password,
                                        std::string captcha) {
  return Guarded<LoginResult>([&] {
    LoginResult result;
    std::string body;
    if (password.empty() && !captcha.empty())
      body = JsonBody({{"username", username}, {"captcha", captcha}, {"client", "pc"}});
    else if (!password.empty())
      body = JsonBody({{"username", username}, {"password", password}, {"client", "pc"}});
    else
      body = JsonBody({{"username", username}, {"client", "pc"}});
    const char* path = captcha.empty() ? "/account/signin.do" : "/account/shortcut.do";
    Reply reply = Send(Method::kPostJson, Decorate(Hosts().account + path), Token::kNone, body);
    CaptureToken(reply);
    if (reply.status != 200) {
      result.status = reply.status;
      LogError("Request login interface failed, error code:%d, reason:%s", reply.status,
               Utf8ToAnsi(reply.body).c_str());
      return result;
    }
    ReadLoginAnswer(reply.body, Utf8ToAnsi, &result);
    return result;
  });
}

ResetResult HttpInterface::resetPassword(std::string username,
                                         std::string password,
                                         std::string captcha) {
  return Guarded<ResetResult>([&] {
    ResetResult result;
    std::string body = JsonBody(
        {{"username", username}, {"password", password}, {"captcha", captcha}, {"client", "pc"}});
    Reply reply = Send(Method::kPostJson, Decorate(Hosts().account + "/retrieve/cellphone.do"),
                       Token::kNone, body);
    CaptureToken(reply);
    result.status = reply.status;
    if (reply.status != 200) {
      LogError("reset password failed, error code:%d, reason:%s", reply.status,
               Utf8ToAnsi(reply.body).c_str());
      return result;
    }
    ReadResetAnswer(reply.body, Utf8ToAnsi, &result);
    return result;
  });
}

std::vector<RouteEntry> HttpInterface::syncRouteTable(int& newVersion, int currentVersion) {
  return Guarded<std::vector<RouteEntry>>([&] {
    std::string url = Hosts().node + "/route/sync.do?version=" + std::to_string(currentVersion);
    Reply reply = Send(Method::kGet, url, Token::kSend);
    CaptureToken(reply);
    if (reply.status != 200) {
      LogError("get route table failed, error code:%d, info:%s", reply.status,
               Utf8ToAnsi(reply.body).c_str());
      return std::vector<RouteEntry>();
    }
    RouteAnswer answer = ReadRoutesAnswer(reply.body, Utf8ToAnsi);
    if (answer.last_change_version) {
      std::wstring file = win32::AnsiToWide(WorkingDirectory() + "config.ini");
      std::wstring value = std::to_wstring(*answer.last_change_version);
      WritePrivateProfileStringW(L"route_version", L"version", value.c_str(), file.c_str());
    }
    if (answer.version)
      newVersion = *answer.version;
    return std::move(answer.routes);
  });
}

std::vector<NodeInfo> HttpInterface::assignNodes(std::string region) {
  return Guarded<std::vector<NodeInfo>>([&] {
    std::string url = Hosts().node + "/node/assign.do";
    if (!region.empty())
      url += "?region=" + QueryValue(region);
    auto start = std::chrono::steady_clock::now();
    Reply reply = Send(Method::kGet, url, Token::kSend);
    auto elapsed = std::chrono::steady_clock::now() - start;
    LogInfo(
        "node server time cast: %d",
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
    CaptureToken(reply);
    if (reply.status != 200) {
      LogError("get nodes failed, error code:%d, info:%s", reply.status, reply.body.c_str());
      return std::vector<NodeInfo>();
    }
    return ReadNodesAnswer(reply.body, KeepUtf8);
  });
}

UpgradeInfo HttpInterface::checkUpgrade() {
  return Guarded<UpgradeInfo>([&] {
    UpgradeInfo result;
    Reply reply = Send(Method::kGet, Hosts().node + "/version/update.do", Token::kSend);
    CaptureToken(reply);
    if (reply.status != 200) {
      LogError("request upgrade failed, reason:%d, %s", reply.status,
               Utf8ToAnsi(reply.body).c_str());
      return result;
    }
    ReadUpgradeAnswer(reply.body, Utf8ToAnsi, &result);
    return result;
  });
}

MemberInfo HttpInterface::getMemberInfo() {
  return Guarded<MemberInfo>([&] {
    MemberInfo result;
    Reply reply = Send(Method::kGet, Hosts().billing + "/member/info.do", Token::kSend);
    CaptureToken(reply);
    if (reply.status != 200) {
      LogError("get member info failed, error code:%d, info:%s", reply.status,
               Utf8ToAnsi(reply.body).c_str());
      return result;
    }
    ReadMemberAnswer(reply.body, Utf8ToAnsi, &result);
    return result;
  });
}

InterimInfo HttpInterface::refreshInterim() {
  return Guarded<InterimInfo>([&] {
    InterimInfo result;
    Reply reply = Send(Method::kPostPlain, Hosts().account + "/account/interim.do", Token::kSend);
    CaptureToken(reply);
    if (reply.status != 200) {
      LogError("get interim failed, reason:%d, %s", reply.status, Utf8ToAnsi(reply.body).c_str());
      return result;
    }
    ReadInterimAnswer(reply.body, Utf8ToAnsi, &result);
    return result;
  });
}

CaptchaResult HttpInterface::sendCaptcha(std::string username) {
  return Guarded<CaptchaResult>([&] {
    CaptchaResult result;
    Reply reply = Send(Method::kPostJson, Hosts().account + "/captcha/phone.do", Token::kSend,
                       JsonBody({{"username", username}}));
    CaptureToken(reply);
    result.status = reply.status;
    if (reply.status != 200) {
      LogError("get captcha failed, error code:%d, reason:%s", reply.status,
               Utf8ToAnsi(reply.body).c_str());
      return result;
    }
    ReadCaptchaAnswer(reply.body, Utf8ToAnsi, &result);
    return result;
  });
}

DnsServerInfo HttpInterface::pullDnsServer(std::string region) {
  return Guarded<DnsServerInfo>([&] {
    DnsServerInfo result;
    std::string url = Hosts().node + "/nameserver/pull.do?region=" + QueryValue(region);
    Reply reply = Send(Method::kGet, url, Token::kSend);
    CaptureToken(reply);
    result.status = reply.status;
    if (reply.status != 200) {
      LogError("get dns server failed, reason: %d, %s", reply.status,
               Utf8ToAnsi(reply.body).c_str());
      return result;
    }
    ReadDnsAnswer(reply.body, Utf8ToAnsi, &result);
    return result;
  });
}

WechatOrder HttpInterface::createWechatOrder(std::string goods) {
  return Guarded<WechatOrder>([&] {
    WechatOrder result;
    Reply reply =
        Send(Method::kPostPlain, Hosts().billing + "/wechat/unified.do?goods=" + QueryValue(goods),
             Token::kSend);
    CaptureToken(reply);
    result.status = reply.status;
    if (reply.status != 200) {
      LogError("get pay info failed, reason: %d, %s", reply.status, Utf8ToAnsi(reply.body).c_str());
      return result;
    }
    ReadWechatOrderAnswer(reply.body, Utf8ToAnsi, &result);
    return result;
  });
}

int HttpInterface::queryPayStatus(std::string trade_no) {
  return Guarded<int>([&] {
    Reply reply =
        Send(Method::kPostPlain,
             Hosts().billing + "/defray/status.do?trade_no=" + QueryValue(trade_no), Token::kSend);
    CaptureToken(reply);
    if (reply.status != 200) {
      LogError("query pay info failed, reason: %d, %s", reply.status,
               Utf8ToAnsi(reply.body).c_str());
      return 0;
    }
    return ReadPayStatusAnswer(reply.body);
  });
}

std::map<std::string, GoodsItem> HttpInterface::getGoodsInfo() {
  return Guarded<std::map<std::string, GoodsItem>>([&] {
    Reply reply = Send(Method::kGet, Hosts().node + "/defray/goodsinfo.do", Token::kSend);
    CaptureToken(reply);
    if (reply.status != 200) {
      LogError("get goods info failed, reason: %d, %s", reply.status,
               Utf8ToAnsi(reply.body).c_str());
      return std::map<std::string, GoodsItem>();
    }
    return ReadGoodsAnswer(reply.body, Utf8ToAnsi);
  });
}

NoticeInfo HttpInterface::getNoticePopup() {
  return Guarded<NoticeInfo>([&] {
    NoticeInfo result;
    // Sent without the token, and its headers are not looked at.
    Reply reply = Send(Method::kGet, Hosts().node + "/notice/popup.do", Token::kNone);
    result.status = reply.status;
    if (reply.status != 200) {
      LogError("get client notice info failed, reason: %d, %s", reply.status,
               Utf8ToAnsi(reply.body).c_str());
      return result;
    }
    ReadNoticeAnswer(reply.body, Utf8ToAnsi, &result);
    return result;
  });
}

int64_t HttpInterface::currentTimeMillis() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

int HttpInterface::setExtraInfo1(const char* text) {
  return CopyText(State().extra_text1, sizeof(State().extra_text1), text);
}

int HttpInterface::setExtraInfo2(const char* text) {
  return CopyText(State().extra_text2, sizeof(State().extra_text2), text);
}

int HttpInterface::setDeviceInfo(const char* text) {
  return CopyText(State().device_text, sizeof(State().device_text), text);
}

void HttpInterface::initialize(std::string directory) {
  try {
    // An empty directory means the current one, not the file-system root.
    InitializeLog(directory.empty() ? std::string(".") : directory);
    std::string working_directory = directory.empty() ? std::string() : directory + "/";
    ServiceHosts hosts = ReadServiceHosts(working_directory);
    SetTrustedCertificateFile(hosts.ca_file);
    std::lock_guard<std::mutex> hold(State().lock);
    State().working_directory = std::move(working_directory);
    State().hosts = std::move(hosts);
  } catch (...) {
  }
}

std::string HttpInterface::getPublicKey() {
  return Guarded<std::string>([&] {
    Reply reply = Send(Method::kGet, Hosts().account + "/certificate/publickey.do", Token::kSend);
    CaptureToken(reply);
    std::string key;
    if (reply.status == 200)
      key = ReadPublicKeyAnswer(reply.body);
    if (!key.empty())
      WriteFileReplacing(WorkingDirectory() + "pubkey.pem", key);
    return key;
  });
}

std::string HttpInterface::TokenForTesting() {
  return Tokens().TokenForTesting();
}

void HttpInterface::ClearTokenForTesting() {
  Tokens().ClearForTesting();
}

}  // namespace servicebridge
