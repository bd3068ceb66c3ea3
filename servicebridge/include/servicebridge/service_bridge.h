// The service library's public boundary: the result records, the interface
// table and the one export. The client includes only this file and links
// libServiceBridge.so.
//
// Texts crossing this interface are narrow strings in the system ANSI code
// page, except node texts and the public key, which stay UTF-8.

#ifndef SERVICEBRIDGE_INCLUDE_SERVICEBRIDGE_SERVICE_BRIDGE_H_
#define SERVICEBRIDGE_INCLUDE_SERVICEBRIDGE_SERVICE_BRIDGE_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#define SERVICEBRIDGE_EXPORT __attribute__((visibility("default")))

// A `status` field holds the HTTP status of the answer, the libcurl error code
// when the transfer failed, or 2 when no transfer could be set up.

struct RegisterResult {
  int code = -1;
  std::string interim;
  std::string uuid;
  std::string info;
};

struct LoginResult {
  int code = -1;
  int status = 200;
  int suspicious = 0;
  std::string interim;
  std::string uuid;
  std::string info;
};

struct ResetResult {
  int status = 0;
  int code = 0;
  std::string info;
};

struct InterimInfo {
  std::string uuid;
  std::string interim;
};

struct CaptchaResult {
  int status = 0;
  std::string info;
};

struct RouteEntry {
  std::string addr;
  std::string mask;
  int status = 1;
  int app_id = 0;
  int id = 0;
  int cidr = 0;
};

struct NodeInfo {
  std::string addr_ip;
  std::string name_cn;
  std::string icmp;
  int delay = 10;
  int loss = 0;
};

struct UpgradeInfo {
  std::string package;
  std::string version;
  std::string details;
  std::string info;
  int must = 0;
};

struct DnsServerInfo {
  std::string dns;
  int forward = 0;
  int status = 0;
};

struct MemberInfo {
  std::string deadline;
  std::string timestamp;
  std::string nickname;
  int64_t days = 0;
};

struct WechatOrder {
  int status = 0;
  std::string nickname;
  std::string payee;
  std::string qr_url;
  std::string trade_no;
};

struct GoodsItem {
  std::string describe;
  int favorable = 0;
  int handsel = 0;
  int payable = 0;
  int payment = 0;
  int reserved = 0;  // No answer fills it.
};

struct NoticeInfo {
  std::string text;
  std::string title;
  std::string url;
  int id = 0;
  int status = 0;
  int64_t timestamp = 0;
  int64_t deadline = 0;
};

// Every operation blocks for its whole transfer and may be called from any
// thread, several at once. The slot order is part of the binary interface.
class CServiceBridgeVirtual {
 public:
  virtual RegisterResult registerAccount(std::string username,
                                         std::string password,
                                         std::string captcha) = 0;
  // An empty `captcha` signs in with the password, otherwise with the SMS code.
  virtual LoginResult loginAccount(std::string username,
                                   std::string password,
                                   std::string captcha) = 0;
  virtual ResetResult resetPassword(std::string username,
                                    std::string password,
                                    std::string captcha) = 0;
  // `newVersion` is set only when the answer carries a version.
  virtual std::vector<RouteEntry> syncRouteTable(int& newVersion, int currentVersion) = 0;
  virtual std::vector<NodeInfo> assignNodes(std::string region) = 0;
  virtual UpgradeInfo checkUpgrade() = 0;
  virtual MemberInfo getMemberInfo() = 0;
  virtual InterimInfo refreshInterim() = 0;
  virtual CaptchaResult sendCaptcha(std::string username) = 0;
  virtual DnsServerInfo pullDnsServer(std::string region) = 0;
  virtual WechatOrder createWechatOrder(std::string goods) = 0;
  virtual int queryPayStatus(std::string trade_no) = 0;
  // Keyed by plan name: "monthly", "season", "yearly".
  virtual std::map<std::string, GoodsItem> getGoodsInfo() = 0;
  virtual NoticeInfo getNoticePopup() = 0;
  virtual int64_t currentTimeMillis() = 0;
  virtual int setExtraInfo1(const char* text) = 0;
  virtual int setExtraInfo2(const char* text) = 0;
  // Called at start-up, before concurrent use.
  virtual void initialize(std::string directory) = 0;
  // Called at start-up, before concurrent use.
  virtual int setDeviceInfo(const char* text) = 0;
  virtual std::string getPublicKey() = 0;
  // The library owns the object; callers never delete it.
  virtual ~CServiceBridgeVirtual() {}
};

// Returns the library's single object; the same pointer on every call.
extern "C" SERVICEBRIDGE_EXPORT CServiceBridgeVirtual* GetInterfaceLibraryInfo();

#endif  // SERVICEBRIDGE_INCLUDE_SERVICEBRIDGE_SERVICE_BRIDGE_H_
