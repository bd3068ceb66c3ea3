#include "client/engine/node_fetch.h"

#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/logging.h"
#include "base/scoped_temp_dir.h"
#include "client/engine/private_network_for_testing.h"
#include "client/engine/prober.h"
#include "client/engine/route_manager.h"
#include "gtest/gtest.h"
#include "win32/code_page.h"

namespace {

class FakeNodeService : public CServiceBridgeVirtual {
 public:
  std::vector<NodeInfo> nodes;
  bool fail = false;
  std::vector<std::string> regions;

  std::vector<NodeInfo> assignNodes(std::string region) override {
    regions.push_back(region);
    if (fail)
      throw std::runtime_error("answer reader blew up");
    return nodes;
  }

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

// Everything the fetch did, in order: route commands and probe starts.
std::mutex g_events_lock;
std::vector<std::string> g_events;

void Record(const std::string& event) {
  std::lock_guard<std::mutex> lock(g_events_lock);
  g_events.push_back(event);
}

int RecordingProbe(const std::string& address, const std::string& source) {
  Record("probe " + address);
  return Probe(address, source);
}

std::unique_ptr<RouteManager> MakeRoutes(const std::string& path) {
  RouteManager::Environment environment;
  environment.read_config = [](const std::string&, const std::string&) { return std::string(); };
  environment.write_config = [](const std::string&, const std::string&, const std::string&) {};
  environment.run_command = [](const std::string& line) {
    Record(line);
    return std::string();
  };
  environment.default_gateway = [] { return std::string("10.0.0.1"); };
  environment.now = [] { return int64_t{0}; };
  return std::make_unique<RouteManager>(path, environment);
}

NodeInfo Node(const std::string& name, const std::string& address) {
  NodeInfo node;
  node.name_cn = name;
  node.addr_ip = address;
  return node;
}

// 20 nodes of which 5 never answer: all probed at once, so the fetch takes
// about one silent node's 3 x 200 ms, not five times that.
TEST(NodeFetchTest, ProbesAllNodesAtOnceAndKeepsServiceOrder) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  std::string db = dir.path() / "kelvo.db";
  int result = RunInPrivateNetworkForTesting([db] {
    FakeNodeService service;
    for (int i = 0; i < 20; ++i) {
      bool silent = i % 4 == 1;
      std::string address =
          silent ? "198.51.100." + std::to_string(10 + i) : "127.0.0." + std::to_string(10 + i);
      service.nodes.push_back(Node("节点" + std::to_string(i), address));
    }
    testing::internal::CaptureStdout();
    std::unique_ptr<RouteManager> routes = MakeRoutes(db);
    std::vector<NodeEntry> nodes(3);  // stale entries are cleared
    auto start = std::chrono::steady_clock::now();
    FetchNodeList(&service, routes.get(), "", &nodes, &RecordingProbe);
    auto took = std::chrono::steady_clock::now() - start;
    testing::internal::GetCapturedStdout();
    if (took > std::chrono::milliseconds(1800))
      return 1;
    if (nodes.size() != 20 || service.regions != std::vector<std::string>{""})
      return 2;
    for (int i = 0; i < 20; ++i) {
      const NodeEntry& entry = nodes[i];
      bool silent = i % 4 == 1;
      if (entry.name != L"节点" + std::to_wstring(i))
        return 3;
      if (entry.address != win32::Utf8ToWide(service.nodes[i].addr_ip))
        return 4;
      if (silent ? entry.delay != 5000 : (entry.delay < 0 || entry.delay >= 200))
        return 5;
      if (entry.reserved_first != 54 || entry.reserved_third != 0)
        return 6;
    }
    // Every host route is in place before the first probe is sent.
    std::lock_guard<std::mutex> lock(g_events_lock);
    if (g_events.size() != 60)
      return 7;
    for (size_t i = 0; i < 40; ++i) {
      if (g_events[i].rfind("ROUTE ", 0) != 0)
        return 8;
    }
    if (g_events[1] != "ROUTE ADD 127.0.0.10 MASK 255.255.255.255 10.0.0.1 METRIC 2 ")
      return 9;
    return 0;
  });
  if (result == -1)
    GTEST_SKIP() << "no private network namespace here";
  EXPECT_EQ(0, result);
}

TEST(NodeFetchTest, FailuresLeaveWhatWasGathered) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  std::string logs;
  logging::SetLogMessageHandlerForTesting([&logs](logging::LogSeverity, const char*, int,
                                                  const char*, size_t start,
                                                  const std::string& text) {
    logs += text.substr(start);
    return true;
  });
  testing::internal::CaptureStdout();
  std::unique_ptr<RouteManager> routes = MakeRoutes(dir.path() / "kelvo.db");
  testing::internal::GetCapturedStdout();
  FakeNodeService service;
  std::vector<NodeEntry> nodes(2);

  FetchNodeList(&service, routes.get(), "SEA", &nodes, &Probe);
  EXPECT_TRUE(nodes.empty()) << "an empty answer leaves an empty list";
  EXPECT_EQ("SEA", service.regions.back());

  service.fail = true;
  nodes.resize(2);
  FetchNodeList(&service, routes.get(), "EA", &nodes, &Probe);
  EXPECT_TRUE(nodes.empty());
  EXPECT_NE(std::string::npos, logs.find("get node list crashed")) << logs;
  logging::SetLogMessageHandlerForTesting(nullptr);
}

}  // namespace
