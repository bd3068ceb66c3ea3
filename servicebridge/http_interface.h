// The library's one implementation of CServiceBridgeVirtual. All state it
// keeps lives at module level and is shared by every call; the object itself
// holds nothing but its token lock.

#ifndef SERVICEBRIDGE_HTTP_INTERFACE_H_
#define SERVICEBRIDGE_HTTP_INTERFACE_H_

#include <map>
#include <string>
#include <vector>

#include "servicebridge/service_bridge.h"

namespace servicebridge {

class HttpInterface : public CServiceBridgeVirtual {
 public:
  HttpInterface();
  ~HttpInterface() override;

  RegisterResult registerAccount(std::string username,
                                 std::string password,
                                 std::string captcha) override;
  LoginResult loginAccount(std::string username,
                           std::string password,
                           std::string captcha) override;
  ResetResult resetPassword(std::string username,
                            std::string password,
                            std::string captcha) override;
  std::vector<RouteEntry> syncRouteTable(int& newVersion, int currentVersion) override;
  std::vector<NodeInfo> assignNodes(std::string region) override;
  UpgradeInfo checkUpgrade() override;
  MemberInfo getMemberInfo() override;
  InterimInfo refreshInterim() override;
  CaptchaResult sendCaptcha(std::string username) override;
  DnsServerInfo pullDnsServer(std::string region) override;
  WechatOrder createWechatOrder(std::string goods) override;
  int queryPayStatus(std::string trade_no) override;
  std::map<std::string, GoodsItem> getGoodsInfo() override;
  NoticeInfo getNoticePopup() override;
  int64_t currentTimeMillis() override;
  int setExtraInfo1(const char* text) override;
  int setExtraInfo2(const char* text) override;
  void initialize(std::string directory) override;
  int setDeviceInfo(const char* text) override;
  std::string getPublicKey() override;

  // The stored token, and a way back to the empty token of a new process.
  static std::string TokenForTesting();
  static void ClearTokenForTesting();
};

}  // namespace servicebridge

#endif  // SERVICEBRIDGE_HTTP_INTERFACE_H_
