#include "servicebridge/http_interface.h"

#include <ctype.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/scoped_temp_dir.h"
#include "servicebridge/http_transport.h"
#include "servicebridge/mac_address.h"
#include "servicebridge/service_hosts.h"
#include "servicebridge/test_https_server.h"
#include "win32/code_page.h"
#include "win32/profile.h"

namespace servicebridge {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

// The log is created by the first initialize of the process and stays there,
// so the whole program shares one log folder.
class LogEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    unsetenv("TERN_ACP");
    ASSERT_TRUE(dir_.CreateUniqueTempDir());
    HttpInterface().initialize(dir_.path().string());
    path_ = dir_.path() / "log" / "kelvolib.log";
  }
  static std::filesystem::path path_;

 private:
  base::ScopedTempDir dir_;
};
std::filesystem::path LogEnvironment::path_;
testing::Environment* const kLogEnvironment = testing::AddGlobalTestEnvironment(new LogEnvironment);

class HttpInterfaceTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.started());
    ASSERT_TRUE(dir_.CreateUniqueTempDir());
    setenv("TERN_MACHINE_ROOT", (dir_.path() / "machine").c_str(), 1);
    unsetenv("TERN_NETBIOS_HIDE");
    directory_ = dir_.path().string();
    UseHosts(server_.base_url(), server_.base_url(), server_.base_url());
    HttpInterface::ClearTokenForTesting();
    bridge_.setDeviceInfo("Linux-test");
  }
  void TearDown() override {
    SetTransferTimeoutForTesting(std::chrono::milliseconds(0));
    SetHandleCreationFailsForTesting(false);
    unsetenv("TERN_NETBIOS_HIDE");
  }

  void UseHosts(const std::string& account, const std::string& node, const std::string& billing) {
    // Every test server trusts the same way: its certificate named by ca_file.
    std::string trusted = server_.certificate_pem();
    for (const TestHttpsServer* other : also_trusted_)
      trusted += other->certificate_pem();
    std::ofstream(dir_.path() / "service.pem") << trusted;
    std::ofstream(dir_.path() / "config.ini")
        << "[service_hosts]\naccount=" << account << "\nnode=" << node << "\nbilling=" << billing
        << "\nca_file=" << ca_file_ << "\n";
    bridge_.initialize(directory_);
  }

  std::string Profile(const wchar_t* section, const wchar_t* key) {
    wchar_t value[64] = {};
    std::wstring file = (dir_.path() / "config.ini").wstring();
    GetPrivateProfileStringW(section, key, L"<none>", value, 64, file.c_str());
    return win32::WideToUtf8(value);
  }

  TestHttpsServer server_;
  std::string ca_file_ = "service.pem";
  std::vector<const TestHttpsServer*> also_trusted_;
  base::ScopedTempDir dir_;
  std::string directory_;
  HttpInterface bridge_;
};

TEST_F(HttpInterfaceTest, AccountRequestsCarryPathBodyAndDecoration) {
  const std::string mac = MacAddressText();
  if (!mac.empty()) {
    ASSERT_EQ(mac.size(), 17u) << mac;
    for (size_t i = 0; i < mac.size(); ++i) {
      EXPECT_TRUE(i % 3 == 2 ? mac[i] == ':' : isxdigit(mac[i]) && !islower(mac[i])) << mac;
    }
  }
  const std::string decoration = "?chan=official&dev=Linux-test&mac=" + mac;
  CannedAnswer token;
  token.headers = {{"Json-Web-Token", "tk"}};
  server_.Answer("/account/interim.do", token);
  bridge_.refreshInterim();
  struct Case {
    const char* what;
    std::function<void(HttpInterface&)> call;
    const char* target;  // Decorated when it ends in ".do".
    bool decorated;
    const char* body;
    bool json;
    bool token;
  } cases[] = {
      {"register", [](HttpInterface& b) { b.registerAccount("u", "p", "1234"); },
       "/account/signup.do", true,
       R"({"username":"u","password":"p","client":"pc","captcha":"1234"})", true, false},
      {"login with password", [](HttpInterface& b) { b.loginAccount("u", "p", ""); },
       "/account/signin.do", true, R"({"username":"u","password":"p","client":"pc"})", true, false},
      {"login with sms code", [](HttpInterface& b) { b.loginAccount("u", "", "123456"); },
       "/account/shortcut.do", true, R"({"username":"u","captcha":"123456","client":"pc"})", true,
       false},
      {"login with both", [](HttpInterface& b) { b.loginAccount("u", "p", "123456"); },
       "/account/shortcut.do", true, R"({"username":"u","password":"p","client":"pc"})", true,
       false},
      {"login with neither", [](HttpInterface& b) { b.loginAccount("u", "", ""); },
       "/account/signin.do", true, R"({"username":"u","client":"pc"})", true, false},
      {"reset", [](HttpInterface& b) { b.resetPassword("u", "n", "42"); }, "/retrieve/cellphone.do",
       true, R"({"username":"u","password":"n","captcha":"42","client":"pc"})", true, false},
      {"captcha", [](HttpInterface& b) { b.sendCaptcha("13800000000"); }, "/captcha/phone.do",
       false, R"({"username":"13800000000"})", true, true},
      {"interim", [](HttpInterface& b) { b.refreshInterim(); }, "/account/interim.do", false, "",
       false, true},
      {"order", [](HttpInterface& b) { b.createWechatOrder("yearly"); },
       "/wechat/unified.do?goods=yearly", false, "", false, true},
      {"pay status", [](HttpInterface& b) { b.queryPayStatus("T-1"); },
       "/defray/status.do?trade_no=T-1", false, "", false, true},
  };
  for (const Case& c : cases) {
    server_.ClearRequests();
    c.call(bridge_);
    std::vector<RecordedRequest> requests = server_.Requests();
    ASSERT_EQ(requests.size(), 1u) << c.what;
    const RecordedRequest& request = requests[0];
    EXPECT_EQ(request.method, "POST") << c.what;
    EXPECT_EQ(request.target, std::string(c.target) + (c.decorated ? decoration : "")) << c.what;
    EXPECT_EQ(request.body, c.body) << c.what;
    EXPECT_EQ(request.Header("Content-Type"),
              c.json ? "application/json;charset=UTF-8" : "application/x-www-form-urlencoded")
        << c.what;
    EXPECT_EQ(request.Header("json-web-token"), c.token ? "tk" : "<none>") << c.what;
  }
}

TEST_F(HttpInterfaceTest, NoAdapterSendsAnEmptyMac) {
  setenv("TERN_NETBIOS_HIDE", "*", 1);
  bridge_.loginAccount("u", "p", "");
  EXPECT_EQ(server_.LastRequest().target, "/account/signin.do?chan=official&dev=Linux-test&mac=");
}

TEST_F(HttpInterfaceTest, DeviceTextIsLiteralAndCut) {
  EXPECT_EQ(bridge_.setDeviceInfo("%d%s"), 4);
  bridge_.loginAccount("u", "p", "");
  EXPECT_NE(server_.LastRequest().target.find("dev=%25d%25s&"), std::string::npos)
      << server_.LastRequest().target;
  EXPECT_EQ(bridge_.setDeviceInfo(std::string(200, 'x').c_str()), 103);
  EXPECT_EQ(bridge_.setDeviceInfo(nullptr), 0);
  EXPECT_EQ(bridge_.setExtraInfo1(std::string(200, 'x').c_str()), 103);
  EXPECT_EQ(bridge_.setExtraInfo2(std::string(200, 'x').c_str()), 99);
  EXPECT_EQ(bridge_.setExtraInfo2("ab"), 2);
}

TEST_F(HttpInterfaceTest, LoginResultFollowsTheAnswer) {
  struct Case {
    int status;
    const char* body;
    int code;
    int result_status;
    const char* info;
    const char* interim;
    int suspicious;
  } cases[] = {
      {200, R"({"code":0,"info":"ok","data":{"interim":"i","uuid":"u","suspicious":1}})", 0, 200,
       "ok", "i", 1},
      {200, R"({"code":7,"info":"no","data":null})", 7, 200, "no", "", 0},
      {200, "<html>oops</html>", -1, 200, "", "", 0},
      {200, R"([{"code":0}])", -1, 200, "", "", 0},
      {500, R"({"code":0,"info":"ok"})", -1, 500, "", "", 0},
  };
  for (const Case& c : cases) {
    server_.Answer("/account/signin.do", c.status, c.body);
    LoginResult result = bridge_.loginAccount("u", "p", "");
    EXPECT_EQ(result.code, c.code) << c.body;
    EXPECT_EQ(result.status, c.result_status) << c.body;
    EXPECT_EQ(result.info, c.info) << c.body;
    EXPECT_EQ(result.interim, c.interim) << c.body;
    EXPECT_EQ(result.suspicious, c.suspicious) << c.body;
  }
  server_.Answer("/retrieve/cellphone.do", 200, R"({"code":104,"info":"bad"})");
  ResetResult reset = bridge_.resetPassword("u", "p", "1");
  EXPECT_EQ(reset.status, 200);
  EXPECT_EQ(reset.code, 104);
  server_.Answer("/retrieve/cellphone.do", 403, R"({"code":104})");
  reset = bridge_.resetPassword("u", "p", "1");
  EXPECT_EQ(reset.status, 403);
  EXPECT_EQ(reset.code, 0);
}

TEST_F(HttpInterfaceTest, TransferFailuresGiveTheLibcurlCode) {
  CannedAnswer slow;
  slow.body = R"({"code":0,"data":{"interim":"i","uuid":"u"}})";
  slow.delay = std::chrono::seconds(3);
  server_.Answer("/account/signin.do", slow);
  server_.Answer("/account/interim.do", slow);
  SetTransferTimeoutForTesting(std::chrono::milliseconds(200));
  LoginResult login = bridge_.loginAccount("u", "p", "");
  EXPECT_EQ(login.status, 28);
  EXPECT_EQ(login.code, -1);
  InterimInfo interim = bridge_.refreshInterim();
  EXPECT_EQ(interim.interim, "");
  SetTransferTimeoutForTesting(std::chrono::milliseconds(0));

  // A port that was just free on loopback refuses the connection.
  int closed_port;
  {
    TestHttpsServer gone;
    closed_port = gone.port();
  }
  UseHosts("https://127.0.0.1:" + std::to_string(closed_port), server_.base_url(),
           server_.base_url());
  EXPECT_EQ(bridge_.resetPassword("u", "p", "1").status, 7);

  SetHandleCreationFailsForTesting(true);
  EXPECT_EQ(bridge_.sendCaptcha("1").status, 2);
  EXPECT_EQ(bridge_.pullDnsServer("SEA").status, 2);
  EXPECT_EQ(bridge_.getNoticePopup().status, 2);
  EXPECT_EQ(bridge_.loginAccount("u", "p", "").status, 2);
}

TEST_F(HttpInterfaceTest, TokenIsCapturedAndSentBack) {
  CannedAnswer with_token;
  with_token.body = R"({"code":0})";
  with_token.headers = {{"Json-Web-Token", "ab c  d"}};
  server_.Answer("/account/signin.do", with_token);
  bridge_.loginAccount("u", "p", "");
  EXPECT_EQ(HttpInterface::TokenForTesting(), "abcd");
  EXPECT_EQ(ReadFile(dir_.path() / "jwt"), "abcd");

  bridge_.getMemberInfo();
  EXPECT_EQ(server_.LastRequest().Header("json-web-token"), "abcd");
  // The notice neither sends nor takes the token.
  CannedAnswer notice_token;
  notice_token.body = R"({"code":0})";
  notice_token.headers = {{"Json-Web-Token", "other"}};
  server_.Answer("/notice/popup.do", notice_token);
  bridge_.getNoticePopup();
  EXPECT_FALSE(server_.LastRequest().HasHeader("json-web-token"));
  EXPECT_EQ(HttpInterface::TokenForTesting(), "abcd");
  // Account requests never send it.
  bridge_.registerAccount("u", "p", "1");
  EXPECT_FALSE(server_.LastRequest().HasHeader("json-web-token"));

  CannedAnswer empty_token;
  empty_token.status = 401;
  empty_token.headers = {{"Json-Web-Token", ""}};
  server_.Answer("/member/info.do", empty_token);
  bridge_.getMemberInfo();
  EXPECT_EQ(HttpInterface::TokenForTesting(), "");
  EXPECT_EQ(ReadFile(dir_.path() / "jwt"), "");
  // libcurl drops a header line that has nothing after its colon.
  bridge_.checkUpgrade();
  EXPECT_FALSE(server_.LastRequest().HasHeader("json-web-token"));
}

TEST_F(HttpInterfaceTest, NodesKeepUtf8WhileOtherTextsAreConverted) {
  server_.Answer("/node/assign.do", 200,
                 R"({"code":0,"data":{"nodes":[{"name_cn":"东京","addr_ip":"127.0.0.2",)"
                 R"("delay":20,"loss":2.7,"icmp":["127.0.0.3","127.0.0.4"]},)"
                 R"({"name_cn":"b","loss":3,"icmp":[]}]}})");
  std::vector<NodeInfo> nodes = bridge_.assignNodes("SEA");
  EXPECT_EQ(server_.LastRequest().target, "/node/assign.do?region=SEA");
  EXPECT_EQ(server_.LastRequest().method, "GET");
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_EQ(nodes[0].name_cn, "\xE4\xB8\x9C\xE4\xBA\xAC");
  EXPECT_EQ(nodes[0].loss, 2);
  EXPECT_EQ(nodes[0].delay, 20);
  EXPECT_EQ(nodes[0].icmp, "127.0.0.3");
  EXPECT_EQ(nodes[1].loss, 0);
  EXPECT_EQ(nodes[1].delay, 10);
  EXPECT_EQ(nodes[1].icmp, "");
  bridge_.assignNodes("");
  EXPECT_EQ(server_.LastRequest().target, "/node/assign.do");

  server_.Answer("/version/update.do", 200,
                 R"({"code":0,"info":"中文","data":{"must":1,"package":"p","version":"2",)"
                 R"("details":"中文"}})");
  UpgradeInfo upgrade = bridge_.checkUpgrade();
  EXPECT_EQ(upgrade.details, "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(upgrade.info, "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(upgrade.must, 1);

  server_.Answer(
      "/nameserver/pull.do", 200,
      R"({"code":200,"data":{"dns":["127.0.0.5","127.0.0.6","127.0.0.7"],"forward":1}})");
  DnsServerInfo dns = bridge_.pullDnsServer("");
  EXPECT_EQ(server_.LastRequest().target, "/nameserver/pull.do?region=");
  EXPECT_EQ(dns.dns, "127.0.0.5,127.0.0.6");
  EXPECT_EQ(dns.forward, 1);
  EXPECT_EQ(dns.status, 200);
  server_.Answer("/nameserver/pull.do", 200, R"({"code":0,"data":{"dns":["1"],"forward":1}})");
  dns = bridge_.pullDnsServer("EA");
  EXPECT_EQ(dns.dns, "");
  EXPECT_EQ(dns.forward, 0);
  EXPECT_EQ(dns.status, 200);

  // Request texts go out as UTF-8.
  bridge_.loginAccount("\xD6\xD0", "p", "");
  EXPECT_EQ(server_.LastRequest().body,
            "{\"username\":\"\xE4\xB8\xAD\",\"password\":\"p\",\"client\":\"pc\"}");
}

TEST_F(HttpInterfaceTest, RouteSyncRecordsTheLastChangeVersion) {
  server_.Answer("/route/sync.do", 200,
                 R"({"code":0,"data":{"version":31,"increment":[)"
                 R"({"addr":"10.1.0.0","mask":"255.255.0.0","cidr":16,"id":1,"version":30},)"
                 R"({"addr":"10.2.0.0","status":0,"app_id":5,"id":2,"version":31}]}})");
  int version = -1;
  std::vector<RouteEntry> routes = bridge_.syncRouteTable(version, 12);
  EXPECT_EQ(server_.LastRequest().target, "/route/sync.do?version=12");
  ASSERT_EQ(routes.size(), 2u);
  EXPECT_EQ(routes[0].addr, "10.1.0.0");
  EXPECT_EQ(routes[0].cidr, 16);
  EXPECT_EQ(routes[0].status, 1);
  EXPECT_EQ(routes[1].status, 0);
  EXPECT_EQ(routes[1].app_id, 5);
  EXPECT_EQ(version, 31);
  EXPECT_EQ(Profile(L"route_version", L"version"), "31");
  EXPECT_EQ(Profile(L"service_hosts", L"node"), server_.base_url());

  server_.Answer("/route/sync.do", 200, R"({"code":0,"data":{"version":40,"increment":[]}})");
  EXPECT_TRUE(bridge_.syncRouteTable(version, 31).empty());
  EXPECT_EQ(version, 40);
  EXPECT_EQ(Profile(L"route_version", L"version"), "31");

  server_.Answer("/route/sync.do", 503, "busy");
  EXPECT_TRUE(bridge_.syncRouteTable(version, 40).empty());
  EXPECT_EQ(version, 40);
}

TEST_F(HttpInterfaceTest, MembershipBillingAndNotice) {
  struct MemberCase {
    const char* body;
    const char* deadline;
    int64_t days;
  } member_cases[] = {
      {R"({"data":{"deadline":0,"timestamp":1000000,"nickname":"n"}})", "0", -11},
      {R"({"data":{"deadline":1129600,"timestamp":1000000,"nickname":"n"}})", nullptr, 1},
  };
  for (const MemberCase& c : member_cases) {
    server_.Answer("/member/info.do", 200, c.body);
    MemberInfo member = bridge_.getMemberInfo();
    EXPECT_EQ(server_.LastRequest().method, "GET");
    if (c.deadline) {
      EXPECT_EQ(member.deadline, c.deadline);
    } else {
      EXPECT_EQ(member.deadline.size(), 19u) << member.deadline;
    }
    EXPECT_EQ(member.days, c.days);
    EXPECT_EQ(member.nickname, "n");
  }

  server_.Answer("/defray/goodsinfo.do", 200,
                 R"({"data":{"season":null,"yearly":{"describe":"年","payable":"30",)"
                 R"("payment":300}}})");
  std::map<std::string, GoodsItem> goods = bridge_.getGoodsInfo();
  ASSERT_EQ(goods.size(), 1u);
  EXPECT_EQ(goods["yearly"].describe, "\xC4\xEA");
  EXPECT_EQ(goods["yearly"].payable, 0);
  EXPECT_EQ(goods["yearly"].payment, 300);

  server_.Answer("/wechat/unified.do", 200,
                 R"({"data":{"qr_url":"weixin://x","trade_no":"T9","payee":"p","nickname":"n"}})");
  WechatOrder order = bridge_.createWechatOrder("monthly");
  EXPECT_EQ(order.status, 200);
  EXPECT_EQ(order.qr_url, "weixin://x");
  EXPECT_EQ(order.trade_no, "T9");
  server_.Answer("/defray/status.do", 200, R"({"data":{"status":2}})");
  EXPECT_EQ(bridge_.queryPayStatus("T9"), 2);
  server_.Answer("/defray/status.do", 500, R"({"data":{"status":2}})");
  EXPECT_EQ(bridge_.queryPayStatus("T9"), 0);

  // The notice path is not answered: 404.
  NoticeInfo notice = bridge_.getNoticePopup();
  EXPECT_EQ(notice.status, 404);
  EXPECT_EQ(notice.id, 0);
  EXPECT_EQ(notice.text, "");
  EXPECT_EQ(notice.deadline, 0);
  server_.Answer("/notice/popup.do", 200,
                 R"({"data":{"id":3,"timestamp":1700000000,"deadline":1800000000,"text":"t",)"
                 R"("title":"h","url":"u"}})");
  notice = bridge_.getNoticePopup();
  EXPECT_EQ(notice.status, 200);
  EXPECT_EQ(notice.id, 3);
  EXPECT_EQ(notice.deadline, 1800000000);
  EXPECT_EQ(notice.title, "h");

  EXPECT_EQ(ReadFile(LogEnvironment::path_)
                    .find("get client notice info failed, reason: 404, "
                          "{\"code\":404,\"info\":\"no such path\"}") != std::string::npos,
            true);
}

// Nothing is sent to a peer that cannot prove to be the configured host: a
// certificate nobody trusts, or a trusted one for another name.
TEST_F(HttpInterfaceTest, UnverifiedPeersGetNothing) {
  server_.Answer("/account/signin.do", 200, R"({"code":200,"data":{"uuid":"u1"}})");
  struct Case {
    const char* what;
    std::string ca_file;
    std::string host;
  } cases[] = {
      {"no ca_file", "", server_.base_url()},
      {"ca_file missing", "absent.pem", server_.base_url()},
      {"another name", "service.pem", "https://localhost:" + std::to_string(server_.port())},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    server_.ClearRequests();
    ca_file_ = c.ca_file;
    UseHosts(c.host, c.host, c.host);
    LoginResult login = bridge_.loginAccount("u", "secret", "");
    EXPECT_TRUE(login.status == 60 || login.status == 35) << login.status;
    EXPECT_EQ(login.uuid, "");
    EXPECT_TRUE(server_.Requests().empty());
  }
  std::string log = ReadFile(LogEnvironment::path_);
  EXPECT_NE(log.find("TLS check of https://127.0.0.1:"), std::string::npos) << log;
  EXPECT_NE(log.find("self-signed certificate"), std::string::npos) << log;
  EXPECT_NE(log.find("TLS check of https://localhost:"), std::string::npos) << log;

  // An absolute ca_file is used as it stands.
  ca_file_ = (dir_.path() / "service.pem").string();
  UseHosts(server_.base_url(), server_.base_url(), server_.base_url());
  EXPECT_EQ(bridge_.loginAccount("u", "secret", "").uuid, "u1");
}

TEST_F(HttpInterfaceTest, PublicKeyIsSavedOnlyWhenGranted) {
  std::filesystem::path key_file = dir_.path() / "pubkey.pem";
  server_.Answer("/certificate/publickey.do", 200,
                 R"({"code":200,"data":{"content":"-----BEGIN PUBLIC KEY-----\nAAA\n"}})");
  EXPECT_EQ(bridge_.getPublicKey(), "-----BEGIN PUBLIC KEY-----\nAAA\n");
  EXPECT_EQ(ReadFile(key_file), "-----BEGIN PUBLIC KEY-----\nAAA\n");
  EXPECT_EQ(std::filesystem::status(key_file).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  server_.Answer("/certificate/publickey.do", 200, R"({"code":0,"data":{"content":"other"}})");
  EXPECT_EQ(bridge_.getPublicKey(), "");
  EXPECT_EQ(ReadFile(key_file), "-----BEGIN PUBLIC KEY-----\nAAA\n");
}

TEST_F(HttpInterfaceTest, EachOperationUsesItsHost) {
  TestHttpsServer node;
  TestHttpsServer billing;
  ASSERT_TRUE(node.started() && billing.started());
  also_trusted_ = {&node, &billing};
  UseHosts(server_.base_url() + "/", node.base_url(), billing.base_url());
  bridge_.getPublicKey();
  bridge_.refreshInterim();
  bridge_.assignNodes("SEA");
  bridge_.getGoodsInfo();
  bridge_.getNoticePopup();
  bridge_.getMemberInfo();
  bridge_.queryPayStatus("1");
  auto targets = [](TestHttpsServer& server) {
    std::vector<std::string> result;
    for (const RecordedRequest& request : server.Requests())
      result.push_back(request.target);
    return result;
  };
  EXPECT_EQ(targets(server_),
            (std::vector<std::string>{"/certificate/publickey.do", "/account/interim.do"}));
  EXPECT_EQ(targets(node), (std::vector<std::string>{"/node/assign.do?region=SEA",
                                                     "/defray/goodsinfo.do", "/notice/popup.do"}));
  EXPECT_EQ(targets(billing),
            (std::vector<std::string>{"/member/info.do", "/defray/status.do?trade_no=1"}));
  EXPECT_EQ(DefaultServiceHosts().account, "https://127.0.0.1:8443");
}

TEST_F(HttpInterfaceTest, HostileAnswersGiveDefaults) {
  const std::string huge = "{\"code\":0,\"info\":\"" + std::string(10 * 1024 * 1024, 'x') + "\"";
  const std::string deep = std::string(200000, '[') + std::string(200000, ']');
  const std::string deep_data = "{\"code\":0,\"data\":" + std::string(100000, '{') + "}";
  for (const std::string& body : {huge, deep, deep_data, std::string("\0\0\0", 3)}) {
    server_.Answer("/account/signin.do", 200, body);
    LoginResult login = bridge_.loginAccount("u", "p", "");
    EXPECT_EQ(login.code, -1);
    EXPECT_EQ(login.info, "");
    server_.Answer("/member/info.do", 200, body);
    EXPECT_EQ(bridge_.getMemberInfo().days, 0);
  }
  // A complete 10 MB answer is read whole.
  server_.Answer("/account/signin.do", 200, huge + "}");
  EXPECT_EQ(bridge_.loginAccount("u", "p", "").info.size(), 10u * 1024 * 1024);
}

TEST_F(HttpInterfaceTest, ConcurrentMixedOperations) {
  server_.Answer("/member/info.do", 200,
                 R"({"data":{"deadline":1172800,"timestamp":1000000,"nickname":"m"}})");
  server_.Answer("/node/assign.do", 200, R"({"data":{"nodes":[{"addr_ip":"127.0.0.9"}]}})");
  server_.Answer("/defray/status.do", 200, R"({"data":{"status":4}})");
  CannedAnswer login;
  login.body = R"({"code":0,"data":{"uuid":"u1"}})";
  login.headers = {{"Json-Web-Token", "tok"}};
  server_.Answer("/account/signin.do", login);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 6; ++i) {
        bool ok = true;
        switch ((t + i) % 4) {
          case 0:
            ok = bridge_.getMemberInfo().days == 2;
            break;
          case 1: {
            std::vector<NodeInfo> nodes = bridge_.assignNodes("SEA");
            ok = nodes.size() == 1 && nodes[0].addr_ip == "127.0.0.9";
            break;
          }
          case 2:
            ok = bridge_.queryPayStatus("T") == 4;
            break;
          case 3:
            ok = bridge_.loginAccount("u", "p", "").uuid == "u1";
            break;
        }
        if (!ok)
          ++failures;
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(server_.Requests().size(), 48u);
  EXPECT_EQ(HttpInterface::TokenForTesting(), "tok");
}

TEST_F(HttpInterfaceTest, CurrentTimeMillisFollowsTheSystemClock) {
  auto now = [] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  };
  int64_t before = now();
  int64_t value = bridge_.currentTimeMillis();
  int64_t after = now();
  EXPECT_LE(before, value);
  EXPECT_LE(value, after);
}

}  // namespace
}  // namespace servicebridge
