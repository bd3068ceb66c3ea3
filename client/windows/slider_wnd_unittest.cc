#include "client/windows/slider_wnd.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "base/scoped_temp_dir.h"
#include "client/engine/delayed_icmp_responder_for_testing.h"
#include "client/engine/private_network_for_testing.h"
#include "client/engine/prober.h"
#include "client/engine/route_manager.h"
#include "client/windows/frame_test_util.h"

namespace {

TEST(SliderWndTest, DelayAndLossTexts) {
  struct Case {
    int delay;
    const wchar_t* delay_text;
    const wchar_t* loss;
    bool failed;
  } cases[] = {
      {0, L"1 ms", L"0%", false},  {1, L"1 ms", L"0%", false}, {499, L"499 ms", L"0%", false},
      {500, L"--", L"100%", true}, {-1, L"--", L"100%", true}, {5000, L"--", L"100%", true},
  };
  for (const Case& c : cases) {
    CSliderWnd::NodeTexts texts = CSliderWnd::TextsForDelay(c.delay);
    EXPECT_EQ(texts.delay, c.delay_text) << c.delay;
    EXPECT_EQ(texts.loss, c.loss) << c.delay;
    EXPECT_EQ(texts.failed, c.failed) << c.delay;
  }
}

TEST(SliderWndTest, MembershipExpiry) {
  struct Case {
    const char* deadline;
    const char* now;
    bool expired;
  } cases[] = {
      {"0", "1800000000", true},
      {"1700000000", "1800000000", true},
      {"1900000000", "1800000000", false},
      {"1800000000", "1800000000", false},
      // As texts "999999999" sorts after "1000000000"; as times it is before.
      {"999999999", "1000000000", true},
  };
  for (const Case& c : cases) {
    MemberInfo info;
    info.deadline = c.deadline;
    info.timestamp = c.now;
    EXPECT_EQ(CSliderWnd::MembershipExpired(info), c.expired) << c.deadline << " " << c.now;
  }
}

class FakeNodeService : public CServiceBridgeVirtual {
 public:
  std::vector<NodeInfo> nodes;
  std::vector<NodeInfo> assignNodes(std::string) override { return nodes; }
  std::vector<RouteEntry> syncRouteTable(int&, int) override { return {}; }
  RegisterResult registerAccount(std::string, std::string, std::string) override { return {}; }
  LoginResult loginAccount(std::string, std::string, std::string) override { return {}; }
  ResetResult resetPassword(std::string, std::string, std::string) override { return {}; }
  UpgradeInfo checkUpgrade() override { return {}; }
  MemberInfo getMemberInfo() override { return {}; }
  InterimInfo refreshInterim() override { return {}; }
  CaptchaResult sendCaptcha(std::string) override { return {}; }
  DnsServerInfo pullDnsServer(std::string) override { return {}; }
  WechatOrder createWechatOrder(std::string) override { return {}; }
  int queryPayStatus(std::string) override { return 0; }
  std::map<std::string, GoodsItem> getGoodsInfo() override { return {}; }
  NoticeInfo getNoticePopup() override { return {}; }
  int64_t currentTimeMillis() override { return 0; }
  int setExtraInfo1(const char*) override { return 0; }
  int setExtraInfo2(const char*) override { return 0; }
  void initialize(std::string) override {}
  int setDeviceInfo(const char*) override { return 0; }
  std::string getPublicKey() override { return {}; }
};

// The main window's node operations over the real fetch and prober, run
// at once instead of on the IO thread.
class FakeMainWindow : public AbstractCommunication {
 public:
  FakeMainWindow(CServiceBridgeVirtual* service, RouteManager* routes)
      : service_(service), routes_(routes) {}
  void openSliderWnd(const std::wstring&) override {}
  void closeSliderWnd() override {}
  void reDial() override {}
  bool loginFlag() const override { return true; }
  void setSpeedModeLabel(const std::wstring&) override {}
  void setNodeLabel() override {}
  void updateNodeMsg(NodeListCallback callback, void* opaque, const std::string& region) override {
    std::vector<NodeEntry> nodes;
    FetchNodeList(service_, routes_, region, &nodes, &Probe);
    callback(nodes, opaque);
  }
  std::wstring currentNodeName() const override { return {}; }
  std::wstring currentNodeAddress() const override { return {}; }
  void stopAcceleration() override {}
  int accelerationState() const override { return 0; }

 private:
  CServiceBridgeVirtual* service_;
  RouteManager* routes_;
};

class TestSlider : public CSliderWnd {
 public:
  using CSliderWnd::CSliderWnd;
  std::wstring Text(const std::wstring& name) {
    DuiLib::CControlUI* c = m_pm.FindControl(name.c_str());
    return c ? c->GetText().str() : L"<none>";
  }
};

NodeInfo Node(const std::string& name, const std::string& address) {
  NodeInfo node;
  node.name_cn = name;
  node.addr_ip = address;
  return node;
}

// Four nodes measured for real in a private network: one on loopback, two
// behind a device that answers after 60 ms and 150 ms, one that never
// answers. The settings page lists them fastest first and selects the first.
TEST(SliderWndTest, TheNodeListShowsRealDelaysFastestFirst) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  std::string db = dir.path() / "kelvo.db";
  int result = RunInPrivateNetworkForTesting([db] {
    DelayedIcmpResponderForTesting responder;
    if (!responder.Start("late0", "198.51.101.1/24",
                         {{"198.51.101.5", 150}, {"198.51.101.6", 60}})) {
      return 10;
    }
    setenv("TERN_HEADLESS", "1", 1);
    if (!SetUpClientSkinForTesting())
      return 11;
    FakeNodeService service;
    service.nodes = {Node("慢", "198.51.101.5"), Node("无响应", kSilentAddressForTesting),
                     Node("快", "127.0.0.5"), Node("中", "198.51.101.6")};
    RouteManager::Environment environment;
    environment.read_config = [](const std::string&, const std::string&) { return std::string(); };
    environment.write_config = [](const std::string&, const std::string&, const std::string&) {};
    environment.run_command = [](const std::string&) { return std::string(); };
    environment.default_gateway = [] { return std::string("10.0.0.1"); };
    environment.now = [] { return int64_t{0}; };
    RouteManager routes(db, environment);
    FakeMainWindow main(&service, &routes);
    TestSlider slider(&main);
    if (!slider.Create(nullptr, L"t", UI_WNDSTYLE_DIALOG & ~WS_VISIBLE, 0))
      return 12;
    testing::internal::CaptureStdout();
    slider.refreshAccPage();
    std::string out = testing::internal::GetCapturedStdout();
    if (out.find("nodeSize:4") == std::string::npos)
      return 13;
    const std::wstring order[] = {L"快", L"中", L"慢", L"无响应"};
    for (int i = 0; i < 4; ++i) {
      if (slider.Text(L"node_name_" + std::to_wstring(i)) != order[i])
        return 20 + i;
    }
    auto ms = [&](int i) {
      std::wstring text = slider.Text(L"node_delay_" + std::to_wstring(i));
      int value = -1;
      wchar_t unit[4] = {};
      if (swscanf(text.c_str(), L"%d %3ls", &value, unit) != 2 || std::wstring(unit) != L"ms")
        return -1;
      return value;
    };
    if (ms(0) < 1 || ms(0) >= 60)
      return 30;
    if (ms(1) < 60 || ms(1) >= 150)
      return 31;
    if (ms(2) < 150 || ms(2) >= 500)
      return 32;
    if (slider.Text(L"node_delay_3") != L"--" || slider.Text(L"node_loss_3") != L"100%")
      return 33;
    if (slider.Text(L"node_loss_0") != L"0%" || slider.Text(L"node_loss_2") != L"0%")
      return 34;
    if (slider.selectedNodeName() != L"快")
      return 35;
    DestroyWindow(slider.GetHWND());
    return 0;
  });
  if (result == -1)
    GTEST_SKIP() << "network namespaces are not available here";
  EXPECT_EQ(result, 0);
}

}  // namespace
