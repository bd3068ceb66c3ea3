// A man in the middle with a certificate of its own between the programs and
// tern-service: the service library and the dial library give him nothing,
// and work as before once he is gone.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include "kelvonet/dial_protocol.h"
#include "kelvonet/kelvo_net.h"
#include "server/key_material.h"
#include "server/testing/service_process.h"
#include "server/testing/tls_connection.h"
#include "servicebridge/service_bridge.h"
#include "tests/service/mitm_proxy.h"

namespace tern {
namespace {

constexpr char kNumber[] = "13800000007";
constexpr char kPassword[] = "abc12345";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct DialEvents {
  static void Callback(KelvoVpnEvent event, unsigned long context) {
    auto* self = reinterpret_cast<DialEvents*>(context);
    std::lock_guard<std::mutex> hold(self->lock);
    self->events.push_back(event);
    self->changed.notify_all();
  }
  KelvoVpnEvent WaitFor(size_t count) {
    std::unique_lock<std::mutex> hold(lock);
    changed.wait_for(hold, std::chrono::seconds(20), [&] { return events.size() >= count; });
    return events.size() >= count ? events[count - 1] : KelvoVpnEvent{};
  }
  std::mutex lock;
  std::condition_variable changed;
  std::vector<KelvoVpnEvent> events;
};

class ManInTheMiddleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TERN_ACP", "65001", 1);
    setenv("TERN_MACHINE_ROOT", (dir_.path() + "/machine").c_str(), 1);
    service_ = std::make_unique<ServiceProcess>(dir_.path() + "/service");
    ASSERT_TRUE(service_->Start({"--sms-interval", "0"}));
    setenv("KELVONET_CA_FILE", service_->certificate_path().c_str(), 1);
    bridge_ = GetInterfaceLibraryInfo();
  }
  void TearDown() override { unsetenv("KELVONET_CA_FILE"); }

  // A program directory whose hosts all point at |url|; the client trusts
  // the service's certificate only.
  std::string ProgramDirectory(const std::string& name, const std::string& url) {
    std::string dir = dir_.path() + "/" + name;
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/config.ini")
        << "[service_hosts]\r\naccount=" << url << "\r\nnode=" << url << "\r\nbilling=" << url
        << "\r\nca_file=" << service_->certificate_path() << "\r\n";
    return dir;
  }

  std::string Code(const std::string& number) {
    bridge_->sendCaptcha(number);
    return service_->Admin({"last-code", number}).out.substr(0, 6);
  }

  // Every operation of the library; true when each got the service's answer.
  // |encrypted| is the password as the login window sends it.
  bool EveryOperation(const std::string& encrypted, std::vector<std::string>* failures) {
    auto check = [&](const char* what, bool ok) {
      if (!ok)
        failures->push_back(what);
    };
    check("getPublicKey", !bridge_->getPublicKey().empty());
    check("sendCaptcha", bridge_->sendCaptcha("13800000008").status == 200);
    check("loginAccount", bridge_->loginAccount(kNumber, encrypted, "").code == 200);
    check("registerAccount", bridge_->registerAccount("13800000009", encrypted, "000000").code > 0);
    check("resetPassword", bridge_->resetPassword(kNumber, encrypted, "000000").status == 200);
    check("refreshInterim", !bridge_->refreshInterim().interim.empty());
    check("getMemberInfo", !bridge_->getMemberInfo().deadline.empty());
    check("assignNodes", !bridge_->assignNodes("SEA").empty());
    int version = 0;
    check("syncRouteTable", !bridge_->syncRouteTable(version, 0).empty());
    check("checkUpgrade", !bridge_->checkUpgrade().version.empty());
    check("pullDnsServer", bridge_->pullDnsServer("SEA").status == 200);
    check("getGoodsInfo", !bridge_->getGoodsInfo().empty());
    WechatOrder order = bridge_->createWechatOrder("monthly");
    check("createWechatOrder", !order.trade_no.empty());
    // Its answer (0, not paid) cannot tell a failure apart; it is sent all
    // the same, token and all.
    bridge_->queryPayStatus("T1");
    check("getNoticePopup", bridge_->getNoticePopup().status == 200);
    return failures->empty();
  }

  ScopedTempDir dir_;
  std::unique_ptr<ServiceProcess> service_;
  CServiceBridgeVirtual* bridge_ = nullptr;
};

TEST_F(ManInTheMiddleTest, TheProxyLearnsNothingAndEveryOperationFails) {
  // An account with a token, a membership and tunnel credentials, made
  // without the proxy.
  std::string direct = ProgramDirectory("direct", service_->base_url());
  bridge_->initialize(direct);
  ASSERT_FALSE(bridge_->getPublicKey().empty());
  std::string key = ReadFile(direct + "/pubkey.pem");
  std::string encrypted = EncryptPasswordForTesting(key, kPassword);
  ASSERT_EQ(bridge_->registerAccount(kNumber, encrypted, Code(kNumber)).code, 200);
  LoginResult login = bridge_->loginAccount(kNumber, encrypted, "");
  ASSERT_EQ(login.code, 200);
  ASSERT_EQ(service_->Admin({"set-member", kNumber, "30"}).exit_code, 0);
  std::string token = ReadFile(direct + "/jwt");
  ASSERT_FALSE(token.empty());

  MitmProxy proxy("127.0.0.1", service_->https_port());
  ASSERT_TRUE(proxy.started());
  std::string intercepted = ProgramDirectory("intercepted", proxy.base_url());
  bridge_->initialize(intercepted);
  std::vector<std::string> failures;
  EXPECT_FALSE(EveryOperation(encrypted, &failures));
  EXPECT_EQ(failures.size(), 14u) << "some operation got through the proxy";
  EXPECT_GT(proxy.connections(), 0);
  EXPECT_EQ(proxy.handshakes(), 0);
  std::string seen = proxy.Seen();
  EXPECT_EQ(seen.find(encrypted), std::string::npos);
  EXPECT_EQ(seen.find(token), std::string::npos);
  EXPECT_EQ(seen.find(login.interim), std::string::npos);
  EXPECT_EQ(seen, "");
  EXPECT_FALSE(std::filesystem::exists(intercepted + "/pubkey.pem"));

  // The dial library does not hand its credentials to a relay in the middle.
  MitmProxy relay_proxy("127.0.0.4", service_->relay_port());
  ASSERT_TRUE(KelvoNet_createInstance());
  ASSERT_TRUE(KelvoNet_Init());
  DialEvents dial;
  std::string server = "127.0.0.1:" + std::to_string(relay_proxy.port());
  CreateDial(0, server.c_str(), login.uuid.c_str(), login.interim.c_str(),
             "43.100.1.0 255.255.255.0 43.100.1.0/24\n", DialEvents::Callback,
             reinterpret_cast<unsigned long>(&dial));
  KelvoVpnEvent refused = dial.WaitFor(1);
  EXPECT_STREQ(refused.name, "DIALFAILED");
  EXPECT_EQ(refused.code, kelvonet::kCodeHandshakeFailed);
  EXPECT_STREQ(refused.detail, "relay not trusted");
  EXPECT_EQ(relay_proxy.Seen().find(login.interim), std::string::npos);
  EXPECT_EQ(relay_proxy.handshakes(), 0);
  KelvoNet_DeInit();
  KelvoNet_releaseInstance();

  // The proxy does read what a client that checks nothing sends it.
  HttpsClient careless(proxy.base_url());
  HttpAnswer answer = careless.Post("/account/signin.do?chan=official&dev=x&mac=",
                                    "{\"username\":\"" + std::string(kNumber) +
                                        "\",\"password\":\"" + encrypted + "\",\"client\":\"pc\"}");
  EXPECT_EQ(answer.code, 200) << answer.body;
  EXPECT_NE(proxy.Seen().find(encrypted), std::string::npos);
}

TEST_F(ManInTheMiddleTest, WithoutTheProxyEverythingWorks) {
  std::string direct = ProgramDirectory("direct", service_->base_url());
  bridge_->initialize(direct);
  ASSERT_FALSE(bridge_->getPublicKey().empty());
  std::string encrypted = EncryptPasswordForTesting(ReadFile(direct + "/pubkey.pem"), kPassword);
  ASSERT_EQ(bridge_->registerAccount(kNumber, encrypted, Code(kNumber)).code, 200);
  ASSERT_EQ(service_->Admin({"set-member", kNumber, "30"}).exit_code, 0);
  std::vector<std::string> failures;
  // Registering a second time and the made-up codes are refused by the
  // service itself, which is an answer all the same.
  EXPECT_TRUE(EveryOperation(encrypted, &failures)) << ::testing::PrintToString(failures);

  InterimInfo credentials = bridge_->refreshInterim();
  ASSERT_TRUE(KelvoNet_createInstance());
  ASSERT_TRUE(KelvoNet_Init());
  DialEvents dial;
  std::string server = "127.0.0.4:" + std::to_string(service_->relay_port());
  CreateDial(0, server.c_str(), credentials.uuid.c_str(), credentials.interim.c_str(),
             "43.100.1.0 255.255.255.0 43.100.1.0/24\n", DialEvents::Callback,
             reinterpret_cast<unsigned long>(&dial));
  EXPECT_STREQ(dial.WaitFor(2).name, "ADDROUTED");
  KelvoNet_DeInit();
  KelvoNet_releaseInstance();

  // The relay itself speaks TLS only: a plain-text dial gets no session.
  int fd = ConnectTcp("127.0.0.4", service_->relay_port());
  ASSERT_GE(fd, 0);
  std::string wire = kelvonet::EncodeDialRequest(
      {0, credentials.uuid, credentials.interim, "43.100.1.0 255.255.255.0 43.100.1.0/24\n"});
  send(fd, wire.data(), wire.size(), MSG_NOSIGNAL);
  std::string line = ReadPlainLine(fd);
  close(fd);
  EXPECT_NE(line.rfind("OK ", 0), 0u) << line;
  EXPECT_NE(line.rfind("ERR ", 0), 0u) << line;
}

}  // namespace
}  // namespace tern
