// libServiceBridge.so, used as the client uses it, against tern-service.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "kelvonet/kelvo_net.h"
#include "machine/store.h"
#include "server/key_material.h"
#include "server/testing/service_process.h"
#include "servicebridge/service_bridge.h"

namespace tern {
namespace {

constexpr char kNumber[] = "13800000001";
constexpr char kPassword[] = "abc12345";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class ServiceBridgeSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Texts come back in UTF-8, so they compare with the literals here.
    setenv("TERN_ACP", "65001", 1);
    setenv("TERN_MACHINE_ROOT", (dir_.path() + "/machine").c_str(), 1);
    service_ = std::make_unique<ServiceProcess>(dir_.path() + "/service");
    ASSERT_TRUE(service_->Start({"--sms-interval", "0"}));
    // The dial library trusts the relay by the same certificate.
    setenv("KELVONET_CA_FILE", service_->certificate_path().c_str(), 1);
    program_dir_ = dir_.path() + "/program";
    std::filesystem::create_directories(program_dir_);
    std::ofstream(program_dir_ + "/config.ini")
        << "[service_hosts]\r\naccount=" << service_->base_url()
        << "\r\nnode=" << service_->base_url() << "\r\nbilling=" << service_->base_url()
        << "\r\nca_file=" << service_->certificate_path() << "\r\n";
    bridge_ = GetInterfaceLibraryInfo();
    bridge_->initialize(program_dir_);
    bridge_->setDeviceInfo("Linux-test");
    public_key_ = bridge_->getPublicKey();
    ASSERT_FALSE(public_key_.empty());
  }

  // As the login window does: the key from pubkey.pem, PKCS#1 v1.5, URL-safe Base64.
  std::string Encrypt(const std::string& password) {
    return EncryptPasswordForTesting(ReadFile(program_dir_ + "/pubkey.pem"), password);
  }

  std::string Code(const std::string& number) {
    CaptchaResult sent = bridge_->sendCaptcha(number);
    EXPECT_EQ(sent.status, 200);
    EXPECT_FALSE(sent.info.empty());
    ProcessResult r = service_->Admin({"last-code", number});
    return r.out.substr(0, 6);
  }

  LoginResult RegisterAndSignIn() {
    RegisterResult reg = bridge_->registerAccount(kNumber, Encrypt(kPassword), Code(kNumber));
    EXPECT_EQ(reg.code, 200) << reg.info;
    EXPECT_FALSE(reg.uuid.empty());
    return bridge_->loginAccount(kNumber, Encrypt(kPassword), "");
  }

  ScopedTempDir dir_;
  std::unique_ptr<ServiceProcess> service_;
  std::string program_dir_;
  CServiceBridgeVirtual* bridge_ = nullptr;
  std::string public_key_;
};

TEST_F(ServiceBridgeSystemTest, AccountOperations) {
  EXPECT_EQ(ReadFile(program_dir_ + "/pubkey.pem"), public_key_);
  LoginResult login = RegisterAndSignIn();
  EXPECT_EQ(login.code, 200) << login.info;
  EXPECT_EQ(login.status, 200);
  EXPECT_EQ(login.suspicious, 0);
  EXPECT_FALSE(login.interim.empty());
  EXPECT_FALSE(ReadFile(program_dir_ + "/jwt").empty());

  InterimInfo interim = bridge_->refreshInterim();
  EXPECT_EQ(interim.uuid, login.uuid);
  EXPECT_FALSE(interim.interim.empty());
  EXPECT_NE(interim.interim, login.interim);

  EXPECT_EQ(bridge_->loginAccount(kNumber, Encrypt("wrongpass1"), "").code, 113);
  EXPECT_EQ(bridge_->loginAccount("13900000000", Encrypt(kPassword), "").code, 112);
  // No key file content, no password: the service answers with its own error.
  EXPECT_NE(bridge_->loginAccount(kNumber, "", "").code, 200);
  EXPECT_EQ(bridge_->registerAccount("13800000002", Encrypt("short1"), Code("13800000002")).code,
            104);

  LoginResult sms = bridge_->loginAccount(kNumber, "", Code(kNumber));
  EXPECT_EQ(sms.code, 200) << sms.info;
  EXPECT_EQ(sms.uuid, login.uuid);
  // A password together with a code goes to the SMS path without the code.
  LoginResult both = bridge_->loginAccount(kNumber, Encrypt(kPassword), "123456");
  EXPECT_EQ(both.status, 400);
  EXPECT_EQ(both.code, -1);

  ResetResult reset = bridge_->resetPassword(kNumber, Encrypt("new-pass9"), Code(kNumber));
  EXPECT_EQ(reset.status, 200);
  EXPECT_EQ(reset.code, 200) << reset.info;
  EXPECT_EQ(bridge_->loginAccount(kNumber, Encrypt("new-pass9"), "").code, 200);
  EXPECT_EQ(bridge_->resetPassword(kNumber, Encrypt("new-pass9"), "000000").code == 200, false);
}

TEST_F(ServiceBridgeSystemTest, NodesRoutesNameServersAndVersion) {
  ASSERT_EQ(RegisterAndSignIn().code, 200);
  std::vector<NodeInfo> nodes = bridge_->assignNodes("");
  ASSERT_FALSE(nodes.empty());
  EXPECT_EQ(nodes[0].name_cn, "智能线路01");  // UTF-8 as served
  EXPECT_EQ(nodes[0].addr_ip.rfind("127.0.0.", 0), 0u);
  EXPECT_EQ(nodes[0].icmp, nodes[0].addr_ip);
  EXPECT_EQ(nodes[0].loss, 0);
  EXPECT_GT(nodes[0].delay, 0);
  for (const char* region : {"SEA", "EA", "NA", "EUR"}) {
    EXPECT_FALSE(bridge_->assignNodes(region).empty()) << region;
    DnsServerInfo dns = bridge_->pullDnsServer(region);
    EXPECT_EQ(dns.status, 200);
    EXPECT_EQ(dns.forward, 1) << region;
    EXPECT_EQ(std::count(dns.dns.begin(), dns.dns.end(), ','), 1) << dns.dns;
  }
  EXPECT_EQ(bridge_->pullDnsServer("").forward, 0);
  EXPECT_TRUE(bridge_->assignNodes("MARS").empty());

  int version = 0;
  std::vector<RouteEntry> routes = bridge_->syncRouteTable(version, 0);
  EXPECT_EQ(version, 2);
  EXPECT_GE(routes.size(), 300u);
  int later = 0;
  std::vector<RouteEntry> increment = bridge_->syncRouteTable(later, 1);
  EXPECT_EQ(later, 2);
  EXPECT_LT(increment.size(), routes.size());
  EXPECT_TRUE(bridge_->syncRouteTable(later, 2).empty());

  UpgradeInfo upgrade = bridge_->checkUpgrade();
  EXPECT_EQ(upgrade.version, "1.1.4");
  EXPECT_EQ(upgrade.must, 0);
  ASSERT_EQ(service_->Admin({"publish-version", "1.2.0", "--must"}).exit_code, 0);
  upgrade = bridge_->checkUpgrade();
  EXPECT_EQ(upgrade.version, "1.2.0");
  EXPECT_EQ(upgrade.must, 1);
}

TEST_F(ServiceBridgeSystemTest, MembershipOrdersAndNotice) {
  ASSERT_EQ(RegisterAndSignIn().code, 200);
  std::map<std::string, GoodsItem> goods = bridge_->getGoodsInfo();
  ASSERT_EQ(goods.size(), 3u);
  EXPECT_EQ(goods["season"].favorable, 1);
  EXPECT_EQ(goods["season"].handsel, 7);
  EXPECT_GT(goods["yearly"].payable, goods["yearly"].payment);

  MemberInfo before = bridge_->getMemberInfo();
  EXPECT_EQ(before.deadline, "0");
  EXPECT_EQ(before.nickname, kNumber);
  EXPECT_FALSE(before.timestamp.empty());

  WechatOrder order = bridge_->createWechatOrder("monthly");
  EXPECT_EQ(order.status, 200);
  ASSERT_FALSE(order.trade_no.empty());
  EXPECT_FALSE(order.qr_url.empty());
  EXPECT_EQ(bridge_->queryPayStatus(order.trade_no), 0);
  ASSERT_EQ(service_->Admin({"pay", order.trade_no}).exit_code, 0);
  EXPECT_EQ(bridge_->queryPayStatus(order.trade_no), 1);
  MemberInfo after = bridge_->getMemberInfo();
  EXPECT_TRUE(after.days == 29 || after.days == 30) << after.days;
  EXPECT_GT(after.deadline, after.timestamp);

  NoticeInfo notice = bridge_->getNoticePopup();
  EXPECT_EQ(notice.status, 200);
  EXPECT_GT(notice.id, 0);
  EXPECT_FALSE(notice.title.empty());
}

struct EventLog {
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<KelvoVpnEvent> events;

  static void Callback(KelvoVpnEvent event, unsigned long context) {
    auto* self = reinterpret_cast<EventLog*>(context);
    std::lock_guard<std::mutex> lock(self->mutex);
    self->events.push_back(event);
    self->cv.notify_all();
  }
  KelvoVpnEvent WaitFor(size_t count) {
    std::unique_lock<std::mutex> lock(mutex);
    cv.wait_for(lock, std::chrono::seconds(20), [&] { return events.size() >= count; });
    return events.size() >= count ? events[count - 1] : KelvoVpnEvent{};
  }
};

TEST_F(ServiceBridgeSystemTest, DialTheRelayWithTheServicesCredentials) {
  ASSERT_EQ(RegisterAndSignIn().code, 200);
  ASSERT_EQ(service_->Admin({"set-member", kNumber, "30"}).exit_code, 0);
  InterimInfo credentials = bridge_->refreshInterim();
  std::vector<NodeInfo> nodes = bridge_->assignNodes("SEA");
  ASSERT_FALSE(nodes.empty());
  int version = 0;
  std::string route_text;
  int active = 0;
  for (const RouteEntry& r : bridge_->syncRouteTable(version, 0)) {
    if (r.status != 1)
      continue;
    route_text += r.addr + " " + r.mask + " " + r.addr + "/" + std::to_string(r.cidr) + "\n";
    ++active;
  }
  setenv("KELVONET_RELAY_PORT", std::to_string(service_->relay_port()).c_str(), 1);
  ASSERT_TRUE(KelvoNet_createInstance());
  ASSERT_TRUE(KelvoNet_Init());
  EventLog log;
  ASSERT_EQ(
      CreateDial(3, nodes[0].addr_ip.c_str(), credentials.uuid.c_str(), credentials.interim.c_str(),
                 route_text, EventLog::Callback, reinterpret_cast<unsigned long>(&log)),
      0);
  KelvoVpnEvent up = log.WaitFor(2);
  ASSERT_STREQ(up.name, "ADDROUTED");
  EXPECT_EQ(up.route_count, static_cast<uint32_t>(active));
  std::unique_ptr<machine::Store> store;
  ASSERT_EQ(machine::Store::Open(&store), machine::Status::kOk);
  std::vector<machine::RouteRecord> recorded;
  ASSERT_EQ(store->ListRoutes(&recorded), machine::Status::kOk);
  EXPECT_EQ(recorded.size(), static_cast<size_t>(active));
  ProcessResult sessions = service_->Admin({"list-sessions"});
  EXPECT_NE(sessions.out.find(std::string(kNumber) + "\t" + nodes[0].addr_ip), std::string::npos)
      << sessions.out;

  // Dialling again at once is refused with code 32; the refusal hangs up the
  // first session on this side, as a re-dial does.
  EventLog again;
  CreateDial(3, nodes[0].addr_ip.c_str(), credentials.uuid.c_str(), credentials.interim.c_str(),
             route_text, EventLog::Callback, reinterpret_cast<unsigned long>(&again));
  EXPECT_STREQ(log.WaitFor(3).name, "ACTIVEDISCONNECTED");
  KelvoVpnEvent refused = again.WaitFor(1);
  EXPECT_STREQ(refused.name, "DIALFAILED");
  EXPECT_EQ(refused.failed, 1);
  EXPECT_EQ(refused.code, 32u);
  KelvoNet_DeInit();
  KelvoNet_releaseInstance();
  unsetenv("KELVONET_RELAY_PORT");
}

TEST_F(ServiceBridgeSystemTest, AnAccountWithoutMembershipGetsNoTunnel) {
  ASSERT_EQ(RegisterAndSignIn().code, 200);
  InterimInfo credentials = bridge_->refreshInterim();
  std::string server = "127.0.0.5:" + std::to_string(service_->relay_port());
  ASSERT_TRUE(KelvoNet_createInstance());
  ASSERT_TRUE(KelvoNet_Init());
  EventLog log;
  CreateDial(0, server.c_str(), credentials.uuid.c_str(), credentials.interim.c_str(),
             "43.100.1.0 255.255.255.0 43.100.1.0/24\n", EventLog::Callback,
             reinterpret_cast<unsigned long>(&log));
  KelvoVpnEvent refused = log.WaitFor(1);
  EXPECT_STREQ(refused.name, "DIALFAILED");
  EXPECT_EQ(refused.failed, 1);
  EXPECT_EQ(refused.code, 691u);
  EXPECT_STREQ(refused.detail, "no membership");
  EXPECT_EQ(service_->Admin({"list-sessions", "--all"}).out, "");
  KelvoNet_DeInit();
  KelvoNet_releaseInstance();
}

TEST_F(ServiceBridgeSystemTest, TheOperatorDropsATunnel) {
  ASSERT_EQ(RegisterAndSignIn().code, 200);
  ASSERT_EQ(service_->Admin({"set-member", kNumber, "30"}).exit_code, 0);
  InterimInfo credentials = bridge_->refreshInterim();
  std::string server = "127.0.0.5:" + std::to_string(service_->relay_port());
  ASSERT_TRUE(KelvoNet_createInstance());
  ASSERT_TRUE(KelvoNet_Init());
  EventLog log;
  CreateDial(0, server.c_str(), credentials.uuid.c_str(), credentials.interim.c_str(),
             "43.100.1.0 255.255.255.0 43.100.1.0/24\n", EventLog::Callback,
             reinterpret_cast<unsigned long>(&log));
  ASSERT_STREQ(log.WaitFor(2).name, "ADDROUTED");
  ASSERT_EQ(service_->Admin({"drop-session", kNumber}).exit_code, 0);
  KelvoVpnEvent down = log.WaitFor(3);
  EXPECT_STREQ(down.name, "PASSIVEDISCONNECTED");
  EXPECT_EQ(down.failed, 0);
  EXPECT_EQ(down.code, 630u);
  EXPECT_STREQ(down.detail, "dropped by operator");
  KelvoNet_DeInit();
  KelvoNet_releaseInstance();
}

}  // namespace
}  // namespace tern
