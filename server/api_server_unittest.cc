// The HTTPS paths of a real tern-service, through libcurl.
#include "server/api_server.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "server/testing/service_test_fixture.h"
#include "server/testing/tls_connection.h"

namespace tern {
namespace {

constexpr char kNumber[] = "13800000001";
constexpr char kPassword[] = "abc12345";

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

using ApiServerTest = ServiceTest;

TEST_F(ApiServerTest, RegisterSignInSmsSignInAndReset) {
  HttpAnswer registered = Register(kNumber, kPassword);
  ASSERT_EQ(registered.status, 200);
  EXPECT_EQ(registered.code, 200) << registered.info;
  EXPECT_TRUE(registered.has_token);
  rapidjson::Document reg = Parse(registered);
  std::string uuid = reg["data"]["uuid"].GetString();
  EXPECT_FALSE(uuid.empty());
  EXPECT_FALSE(std::string(reg["data"]["interim"].GetString()).empty());

  EXPECT_EQ(Register(kNumber, kPassword).code, kApiAccountExists);

  HttpAnswer signed_in = SignIn(kNumber, kPassword);
  EXPECT_EQ(signed_in.code, 200);
  EXPECT_TRUE(signed_in.has_token);
  rapidjson::Document in = Parse(signed_in);
  EXPECT_EQ(std::string(in["data"]["uuid"].GetString()), uuid);
  EXPECT_EQ(in["data"]["suspicious"].GetInt(), 0);
  EXPECT_NE(std::string(in["data"]["interim"].GetString()),
            std::string(reg["data"]["interim"].GetString()));

  EXPECT_EQ(SignIn(kNumber, "wrongpass1").code, kApiWrongPassword);
  EXPECT_EQ(SignIn("13900000000", kPassword).code, kApiUnknownAccount);
  EXPECT_FALSE(SignIn("13900000000", kPassword).has_token);

  // SMS sign-in, the body the client sends with an empty password.
  std::string code = SmsCode(kNumber);
  HttpAnswer shortcut = client_->Post("/account/shortcut.do?chan=official&dev=x&mac=",
                                      "{\"username\":\"" + std::string(kNumber) +
                                          "\",\"captcha\":\"" + code + "\",\"client\":\"pc\"}");
  EXPECT_EQ(shortcut.code, 200) << shortcut.info;
  EXPECT_EQ(std::string(Parse(shortcut)["data"]["uuid"].GetString()), uuid);
  // A code is good for one use only.
  EXPECT_EQ(
      client_
          ->Post("/account/shortcut.do", "{\"username\":\"" + std::string(kNumber) +
                                             "\",\"captcha\":\"" + code + "\",\"client\":\"pc\"}")
          .code,
      kApiBadSmsCode);

  // Reset: the old password and every older token stop working.
  std::string old_token = signed_in.token;
  EXPECT_EQ(client_->Post("/account/interim.do", "", old_token, "").code, 200);
  code = SmsCode(kNumber);
  HttpAnswer reset = client_->Post("/retrieve/cellphone.do?chan=official&dev=x&mac=",
                                   "{\"username\":\"" + std::string(kNumber) +
                                       "\",\"password\":" + JsonQuote(Encrypt("new-pass9")) +
                                       ",\"captcha\":\"" + code + "\",\"client\":\"pc\"}");
  EXPECT_EQ(reset.code, 200) << reset.info;
  EXPECT_EQ(SignIn(kNumber, kPassword).code, kApiWrongPassword);
  EXPECT_EQ(SignIn(kNumber, "new-pass9").code, 200);
  EXPECT_EQ(client_->Post("/account/interim.do", "", old_token, "").code, kApiTokenInvalid);
}

TEST_F(ApiServerTest, RegistrationRefusals) {
  const std::string good = Encrypt(kPassword);
  struct Case {
    const char* name;
    std::string number;
    std::string password;  // already encrypted
    bool right_code;
    int expected;
  } cases[] = {
      {"short number", "1380000000", good, true, kApiBadNumber},
      {"letter in number", "1380000000a", good, true, kApiBadNumber},
      {"7 characters", kNumber, Encrypt("abc1234"), true, kApiBadPasswordFormat},
      {"17 characters", kNumber, Encrypt("abcdefgh123456789"), true, kApiBadPasswordFormat},
      {"digits only", kNumber, Encrypt("12345678"), true, kApiBadPasswordFormat},
      {"not encrypted", kNumber, "abc12345", true, kApiPasswordUnreadable},
      {"empty password", kNumber, "", true, kApiPasswordUnreadable},
      {"wrong SMS code", kNumber, good, false, kApiBadSmsCode},
  };
  // One code for the number: refusals before the code check leave it usable.
  const std::string sms = SmsCode(kNumber);
  for (const Case& c : cases) {
    std::string code = c.right_code ? sms : (sms == "111111" ? "222222" : "111111");
    HttpAnswer answer =
        client_->Post("/account/signup.do", "{\"username\":\"" + c.number +
                                                "\",\"password\":" + JsonQuote(c.password) +
                                                ",\"client\":\"pc\",\"captcha\":\"" + code + "\"}");
    EXPECT_EQ(answer.status, 200) << c.name;
    EXPECT_EQ(answer.code, c.expected) << c.name << ": " << answer.info;
    EXPECT_FALSE(answer.has_token) << c.name;
  }
  // None of them created the account, and the code still works once.
  EXPECT_EQ(SignIn(kNumber, kPassword).code, kApiUnknownAccount);
  HttpAnswer ok =
      client_->Post("/account/signup.do", "{\"username\":\"" + std::string(kNumber) +
                                              "\",\"password\":" + JsonQuote(good) +
                                              ",\"client\":\"pc\",\"captcha\":\"" + sms + "\"}");
  EXPECT_EQ(ok.code, 200) << ok.info;
}

TEST_F(ApiServerTest, RepeatedFailuresLeaveOnlySmsSignIn) {
  ASSERT_EQ(Register(kNumber, kPassword).code, 200);
  int last = 0;
  for (int i = 0; i < 5; ++i)
    last = SignIn(kNumber, "wrongpass1").code;
  EXPECT_EQ(last, kApiSuspicious);
  HttpAnswer blocked = SignIn(kNumber, kPassword);
  EXPECT_EQ(blocked.code, kApiSuspicious);
  EXPECT_EQ(Parse(blocked)["data"]["suspicious"].GetInt(), 1);
  EXPECT_FALSE(blocked.has_token);

  std::string code = SmsCode(kNumber);
  EXPECT_EQ(
      client_
          ->Post("/account/shortcut.do", "{\"username\":\"" + std::string(kNumber) +
                                             "\",\"captcha\":\"" + code + "\",\"client\":\"pc\"}")
          .code,
      200);
  EXPECT_EQ(SignIn(kNumber, kPassword).code, 200);
}

TEST_F(ApiServerTest, SmsCodesAreRateLimitedAndNeedANumber) {
  service_->Stop();
  StartService({});
  EXPECT_EQ(client_->Post("/captcha/phone.do", "{\"username\":\"13800000002\"}").code, 200);
  HttpAnswer again = client_->Post("/captcha/phone.do", "{\"username\":\"13800000002\"}");
  EXPECT_EQ(again.code, kApiSmsTooFrequent);
  EXPECT_FALSE(again.info.empty());
  EXPECT_EQ(client_->Post("/captcha/phone.do", "{\"username\":\"12345\"}").code, kApiBadNumber);
  // Another number is not held back by the first one's limit.
  EXPECT_EQ(client_->Post("/captcha/phone.do", "{\"username\":\"13800000003\"}").code, 200);
}

TEST_F(ApiServerTest, TokensAreCheckedOnEveryPathThatNeedsOne) {
  HttpAnswer registered = Register(kNumber, kPassword);
  std::string token = registered.token;
  std::string forged = token;
  forged[forged.size() - 3] = forged[forged.size() - 3] == 'A' ? 'B' : 'A';
  const std::string payload_swap =
      token.substr(0, token.find('.') + 1) + "eyJzdWIiOiIxIn0" + token.substr(token.rfind('.'));
  struct Case {
    std::string token;
    int code;
  } cases[] = {{"", kApiTokenMissing},
               {"garbage", kApiTokenInvalid},
               {forged, kApiTokenInvalid},
               {payload_swap, kApiTokenInvalid},
               {"eyJhbGciOiJub25lIn0.eyJ1aWQiOjF9.", kApiTokenInvalid}};
  const char* paths[] = {"/node/assign.do?region=SEA", "/route/sync.do?version=0",
                         "/nameserver/pull.do?region=", "/member/info.do"};
  for (const Case& c : cases) {
    for (const char* path : paths) {
      HttpAnswer answer = client_->Get(path, c.token);
      EXPECT_EQ(answer.status, 401) << path << " " << c.token;
      EXPECT_EQ(answer.code, c.code) << path << " " << c.token;
      EXPECT_FALSE(answer.has_token);
    }
    EXPECT_EQ(client_->Post("/account/interim.do", "", c.token, "").code, c.code);
    EXPECT_EQ(client_->Post("/wechat/unified.do?goods=monthly", "", c.token, "").code, c.code);
  }
  // A token early in its life is accepted and not replaced.
  HttpAnswer interim = client_->Post("/account/interim.do", "", token, "");
  ASSERT_EQ(interim.code, 200);
  EXPECT_FALSE(interim.has_token);
  rapidjson::Document doc = Parse(interim);
  EXPECT_EQ(std::string(doc["data"]["uuid"].GetString()),
            std::string(Parse(registered)["data"]["uuid"].GetString()));
  EXPECT_EQ(client_->Get("/member/info.do", token).code, 200);
}

TEST_F(ApiServerTest, TokensAreReissuedOnlyNearExpiry) {
  service_->Stop();
  StartService({"--token-lifetime", "4", "--sms-interval", "0"});
  std::string token = Register(kNumber, kPassword).token;
  HttpAnswer early = client_->Get("/member/info.do", token);
  EXPECT_EQ(early.code, 200);
  EXPECT_FALSE(early.has_token);
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  HttpAnswer late = client_->Get("/member/info.do", token);
  EXPECT_EQ(late.code, 200);
  ASSERT_TRUE(late.has_token);
  EXPECT_NE(late.token, token);
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  EXPECT_EQ(client_->Get("/member/info.do", token).code, kApiTokenExpired);
  EXPECT_EQ(client_->Get("/member/info.do", late.token).code, 200);
}

TEST_F(ApiServerTest, ExpiredTokensAreRefused) {
  service_->Stop();
  StartService({"--token-lifetime", "1", "--sms-interval", "0"});
  std::string token = Register(kNumber, kPassword).token;
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  HttpAnswer answer = client_->Get("/member/info.do", token);
  EXPECT_EQ(answer.status, 401);
  EXPECT_EQ(answer.code, kApiTokenExpired);
}

TEST_F(ApiServerTest, NodesNameServersAndRegions) {
  std::string token = Register(kNumber, kPassword).token;
  struct Case {
    const char* region;
    bool forward;
  } cases[] = {{"", false},  {"AUTO", false}, {"SEA", true},
               {"EA", true}, {"NA", true},    {"EUR", true}};
  std::set<std::string> addresses;
  for (const Case& c : cases) {
    HttpAnswer nodes = client_->Get(std::string("/node/assign.do?region=") + c.region, token);
    ASSERT_EQ(nodes.code, 200) << c.region;
    rapidjson::Document doc = Parse(nodes);
    const auto& list = doc["data"]["nodes"];
    ASSERT_TRUE(list.IsArray() && list.Size() > 0) << c.region;
    for (const auto& n : list.GetArray()) {
      std::string addr = n["addr_ip"].GetString();
      EXPECT_EQ(addr.rfind("127.0.0.", 0), 0u) << addr;
      EXPECT_TRUE(n["name_cn"].IsString() && n["delay"].IsInt() && n["loss"].IsDouble());
      ASSERT_TRUE(n["icmp"].IsArray() && n["icmp"].Size() == 1);
      addresses.insert(addr);
    }
    HttpAnswer direct =
        client_->Get(std::string("/node/assign.do?region=") + c.region + "&direct=1", token);
    EXPECT_EQ(Parse(direct)["data"]["nodes"].Size() > 0, c.forward) << c.region;

    HttpAnswer dns = client_->Get(std::string("/nameserver/pull.do?region=") + c.region, token);
    rapidjson::Document d = Parse(dns);
    ASSERT_EQ(dns.code, 200);
    EXPECT_EQ(d["data"]["dns"].Size(), 2u);
    EXPECT_EQ(d["data"]["forward"].GetInt(), c.forward ? 1 : 0) << c.region;
  }
  EXPECT_GE(addresses.size(), 9u);
  EXPECT_EQ(client_->Get("/node/assign.do?region=MARS", token).code, kApiUnknownRegion);
  EXPECT_EQ(client_->Get("/nameserver/pull.do?region=sea", token).code, kApiUnknownRegion);
}

TEST_F(ApiServerTest, RouteIncrementsByVersion) {
  std::string token = Register(kNumber, kPassword).token;
  auto sync = [&](const std::string& version) {
    return Parse(client_->Get("/route/sync.do?version=" + version, token));
  };
  rapidjson::Document all = sync("0");
  const auto& inc = all["data"]["increment"];
  ASSERT_TRUE(inc.IsArray());
  EXPECT_GE(inc.Size(), 300u);
  EXPECT_EQ(all["data"]["version"].GetInt(), 2);
  EXPECT_EQ(inc[inc.Size() - 1]["version"].GetInt(), 2);
  EXPECT_FALSE(inc[0].HasMember("version"));
  int inactive = 0;
  for (const auto& r : inc.GetArray()) {
    EXPECT_TRUE(r["addr"].IsString() && r["mask"].IsString() && r["status"].IsInt() &&
                r["app_id"].IsInt() && r["id"].IsInt() && r["cidr"].IsInt());
    inactive += r["status"].GetInt() == 0;
  }
  EXPECT_GT(inactive, 0);

  rapidjson::Document from1 = sync("1");
  EXPECT_LT(from1["data"]["increment"].Size(), inc.Size());
  for (const auto& r : from1["data"]["increment"].GetArray()) {
    EXPECT_TRUE(r["status"].GetInt() == 0 ||
                std::string(r["addr"].GetString()).rfind("45.", 0) == 0);
  }
  rapidjson::Document from2 = sync("2");
  EXPECT_EQ(from2["data"]["increment"].Size(), 0u);
  EXPECT_EQ(from2["data"]["version"].GetInt(), 2);

  // An increment published while the server runs: an add, a change, a
  // deactivation.
  std::string file = dir_.path() + "/routes.txt";
  std::ofstream(file) << "# test increment\nadd 10.9.8.77/24 9\nchange 3 10.1.1.0/16 4\n"
                         "deactivate 5\n";
  ProcessResult published = service_->Admin({"publish-routes", file});
  ASSERT_EQ(published.exit_code, 0) << published.out;
  rapidjson::Document from2b = sync("2");
  const auto& changes = from2b["data"]["increment"];
  ASSERT_EQ(changes.Size(), 3u);
  EXPECT_EQ(from2b["data"]["version"].GetInt(), 3);
  EXPECT_EQ(changes[2]["version"].GetInt(), 3);
  std::map<int, const rapidjson::Value*> by_id;
  for (const auto& r : changes.GetArray())
    by_id[r["id"].GetInt()] = &r;
  ASSERT_TRUE(by_id.count(3) && by_id.count(5));
  EXPECT_EQ(std::string((*by_id[3])["addr"].GetString()), "10.1.0.0");
  EXPECT_EQ(std::string((*by_id[3])["mask"].GetString()), "255.255.0.0");
  EXPECT_EQ((*by_id[3])["cidr"].GetInt(), 16);
  EXPECT_EQ((*by_id[5])["status"].GetInt(), 0);

  // A bad increment changes nothing.
  std::ofstream(file) << "add 10.9.9.0/24 1\ndeactivate 999999\n";
  EXPECT_EQ(service_->Admin({"publish-routes", file}).exit_code, 1);
  EXPECT_EQ(sync("3")["data"]["increment"].Size(), 0u);

  for (const char* bad : {"", "abc", "-1", "1.5"}) {
    HttpAnswer answer = client_->Get(std::string("/route/sync.do?version=") + bad, token);
    EXPECT_EQ(answer.status, 400) << bad;
    EXPECT_EQ(answer.code, kApiBadRequest) << bad;
  }
}

TEST_F(ApiServerTest, VersionAndUpdatePackage) {
  service_->Stop();
  std::string package = dir_.path() + "/TernSetup_1.2.0.exe";
  std::string bytes(300000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(i * 7 % 251);
  std::ofstream(package, std::ios::binary) << bytes;
  StartService({"--package", package, "--sms-interval", "0"});

  rapidjson::Document seed = Parse(client_->Get("/version/update.do"));
  EXPECT_EQ(std::string(seed["data"]["version"].GetString()), "1.1.4");
  EXPECT_EQ(seed["data"]["must"].GetInt(), 0);

  ASSERT_EQ(service_->Admin({"publish-version", "1.2.0", "--must", "--details", "修复若干问题"})
                .exit_code,
            0);
  HttpAnswer answer = client_->Get("/version/update.do");
  rapidjson::Document doc = Parse(answer);
  EXPECT_EQ(std::string(doc["data"]["version"].GetString()), "1.2.0");
  EXPECT_EQ(doc["data"]["must"].GetInt(), 1);
  EXPECT_EQ(std::string(doc["data"]["details"].GetString()), "修复若干问题");
  std::string url = doc["data"]["package"].GetString();
  ASSERT_EQ(url, service_->base_url() + "/package/TernSetup_1.2.0.exe");
  EXPECT_LT(url.size(), 100u);  // the updater reads at most 99 characters
  HttpAnswer download = client_->Get(url.substr(service_->base_url().size()));
  EXPECT_EQ(download.status, 200);
  EXPECT_TRUE(download.body == bytes);
  EXPECT_EQ(client_->Get("/package/other.exe").status, 404);
}

TEST_F(ApiServerTest, ThePackageAddressComesFromThePublicUrlOnly) {
  service_->Stop();
  std::string package = dir_.path() + "/Installer.exe";
  std::ofstream(package, std::ios::binary) << "MZ";
  StartService({"--package", package, "--public-url", "https://updates.example:9443/"});
  TlsConnection c("127.0.0.1", service_->https_port(), service_->certificate_path());
  ASSERT_TRUE(
      c.Send("GET /version/update.do HTTP/1.1\r\nHost: evil.example\r\nConnection: close\r\n\r\n"));
  std::string answer = c.ReadAll();
  EXPECT_NE(answer.find("\"package\":\"https://updates.example:9443/package/Installer.exe\""),
            std::string::npos)
      << answer;
  EXPECT_EQ(answer.find("evil"), std::string::npos);
}

// A chunked body has no length to check in advance: it is refused before a
// byte of it is read, and the connection ends.
TEST_F(ApiServerTest, ChunkedBodiesAreRefusedUnread) {
  struct Source {
    size_t left = 200u * 1024 * 1024;
    static size_t Read(char* buffer, size_t size, size_t count, void* self) {
      auto* source = static_cast<Source*>(self);
      size_t n = std::min(size * count, source->left);
      memset(buffer, '{', n);
      source->left -= n;
      return n;
    }
  } source;
  std::string body;
  CURL* curl = curl_easy_init();
  ASSERT_NE(curl, nullptr);
  curl_slist* headers = curl_slist_append(nullptr, "Transfer-Encoding: chunked");
  std::string url = service_->base_url() + "/account/signin.do";
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_CAINFO, service_->certificate_path().c_str());
  curl_easy_setopt(curl, CURLOPT_POST, 1L);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, &Source::Read);
  curl_easy_setopt(curl, CURLOPT_READDATA, &source);
  curl_easy_setopt(
      curl, CURLOPT_WRITEFUNCTION, +[](char* d, size_t s, size_t n, void* out) {
        static_cast<std::string*>(out)->append(d, s * n);
        return s * n;
      });
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
  curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  EXPECT_EQ(status, 411);
  EXPECT_NE(body.find("\"code\":413"), std::string::npos) << body;
  EXPECT_GT(source.left, 100u * 1024 * 1024) << "most of the body was taken";

  std::ifstream status_file("/proc/" + std::to_string(service_->pid()) + "/status");
  long rss_kb = 0;
  for (std::string line; std::getline(status_file, line);) {
    if (line.rfind("VmHWM:", 0) == 0)
      rss_kb = std::stol(line.substr(6));
  }
  EXPECT_GT(rss_kb, 0);
  EXPECT_LT(rss_kb, 100 * 1024);
  EXPECT_EQ(client_->Get("/version/update.do").code, 200);
}

TEST_F(ApiServerTest, SlowAndGreedyClientsAreCutOff) {
  service_->Stop();
  StartService({"--header-timeout", "1", "--max-per-address", "3"});
  // Three connections that finish TLS and then send nothing fill this
  // address's share; a fourth is turned away at once.
  std::vector<std::unique_ptr<TlsConnection>> quiet;
  for (int i = 0; i < 3; ++i) {
    quiet.push_back(std::make_unique<TlsConnection>("127.0.0.1", service_->https_port(),
                                                    service_->certificate_path()));
    ASSERT_TRUE(quiet.back()->ok());
  }
  {
    TlsConnection refused("127.0.0.1", service_->https_port(), service_->certificate_path());
    EXPECT_FALSE(refused.ok());
  }
  // Each is ended at the headers' deadline.
  auto start = std::chrono::steady_clock::now();
  for (auto& c : quiet)
    EXPECT_EQ(c->ReadLine(5000), "<closed>");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  quiet.clear();
  // One that never starts its TLS handshake is ended at the same deadline.
  int idle = ConnectTcp("127.0.0.1", service_->https_port());
  ASSERT_GE(idle, 0);
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadPlainLine(idle, 5000), "<closed>");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  close(idle);

  // Headers that trickle in are cut at their deadline too, however lively.
  TlsConnection slow("127.0.0.1", service_->https_port(), service_->certificate_path());
  ASSERT_TRUE(slow.ok());
  ASSERT_TRUE(slow.Send("GET /version/update.do HTTP/1.1\r\n"));
  std::string line = "<timeout>";
  for (int i = 0; i < 10 && line == "<timeout>"; ++i) {
    slow.Send("X-Slow: " + std::to_string(i) + "\r\n");
    line = slow.ReadLine(400);
  }
  EXPECT_EQ(line, "<closed>");
  EXPECT_EQ(client_->Get("/version/update.do").code, 200);
}

TEST_F(ApiServerTest, SecretsStayOutOfTheLogAndTheStoreIsPrivate) {
  std::string code = SmsCode(kNumber);
  ASSERT_EQ(code.size(), 6u);
  HttpAnswer reg = Register("13800000005", kPassword);
  ASSERT_EQ(reg.code, 200);
  service_->Stop();
  std::ifstream log_file(dir_.path() + "/tern-service.log");
  std::stringstream log;
  log << log_file.rdbuf();
  EXPECT_NE(log.str().find("SMS code sent to " + std::string(kNumber)), std::string::npos);
  EXPECT_EQ(log.str().find(code), std::string::npos);
  EXPECT_EQ(log.str().find(reg.token), std::string::npos);
  struct stat st;
  ASSERT_EQ(stat((dir_.path() + "/tern-service.db").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ApiServerTest, GoodsOrdersAndPayment) {
  std::string token = Register(kNumber, kPassword).token;
  std::string other = Register("13800000009", kPassword).token;

  rapidjson::Document goods = Parse(client_->Get("/defray/goodsinfo.do", token));
  for (const char* plan : {"monthly", "season", "yearly"}) {
    const auto& g = goods["data"][plan];
    ASSERT_TRUE(g.IsObject()) << plan;
    EXPECT_TRUE(g["describe"].IsString() && g["favorable"].IsInt() && g["handsel"].IsInt());
    EXPECT_GT(g["payment"].GetInt(), 0);
    EXPECT_GE(g["payable"].GetInt(), g["payment"].GetInt());
  }

  rapidjson::Document before = Parse(client_->Get("/member/info.do", token));
  EXPECT_EQ(before["data"]["deadline"].GetInt64(), 0);
  EXPECT_EQ(std::string(before["data"]["nickname"].GetString()), kNumber);
  EXPECT_NEAR(static_cast<double>(before["data"]["timestamp"].GetInt64()),
              static_cast<double>(Now()), 5);

  HttpAnswer order = client_->Post("/wechat/unified.do?goods=monthly", "", token, "");
  ASSERT_EQ(order.code, 200) << order.body;
  rapidjson::Document o = Parse(order);
  std::string trade_no = o["data"]["trade_no"].GetString();
  EXPECT_FALSE(std::string(o["data"]["qr_url"].GetString()).empty());
  EXPECT_FALSE(std::string(o["data"]["payee"].GetString()).empty());
  auto status = [&](const std::string& t, const std::string& who) {
    HttpAnswer a = client_->Post("/defray/status.do?trade_no=" + t, "", who, "");
    return a.code == 200 ? Parse(a)["data"]["status"].GetInt() : -a.code;
  };
  EXPECT_EQ(status(trade_no, token), 0);
  EXPECT_EQ(status(trade_no, other), -kApiUnknownOrder);
  EXPECT_EQ(status("TN000", token), -kApiUnknownOrder);
  EXPECT_EQ(client_->Post("/wechat/unified.do?goods=weekly", "", token, "").code, kApiUnknownGoods);

  ASSERT_EQ(service_->Admin({"pay", trade_no}).exit_code, 0);
  EXPECT_EQ(status(trade_no, token), 1);
  int64_t deadline = Parse(client_->Get("/member/info.do", token))["data"]["deadline"].GetInt64();
  EXPECT_NEAR(static_cast<double>(deadline), static_cast<double>(Now() + 30 * 86400), 10);
  // Paying twice does not extend twice; a second order extends from the end.
  ASSERT_EQ(service_->Admin({"pay", trade_no}).exit_code, 0);
  EXPECT_EQ(Parse(client_->Get("/member/info.do", token))["data"]["deadline"].GetInt64(), deadline);
  std::string season =
      Parse(client_->Post("/wechat/unified.do?goods=season", "", token, ""))["data"]["trade_no"]
          .GetString();
  ASSERT_EQ(service_->Admin({"pay", season}).exit_code, 0);
  EXPECT_EQ(Parse(client_->Get("/member/info.do", token))["data"]["deadline"].GetInt64(),
            deadline + (90 + 7) * 86400);
  EXPECT_EQ(service_->Admin({"pay", "TN-unknown"}).exit_code, 1);
}

TEST_F(ApiServerTest, OrdersPayThemselvesWithPayAfter) {
  service_->Stop();
  StartService({"--pay-after", "1", "--sms-interval", "0"});
  std::string token = Register(kNumber, kPassword).token;
  std::string trade_no =
      Parse(client_->Post("/wechat/unified.do?goods=yearly", "", token, ""))["data"]["trade_no"]
          .GetString();
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  HttpAnswer a = client_->Post("/defray/status.do?trade_no=" + trade_no, "", token, "");
  EXPECT_EQ(Parse(a)["data"]["status"].GetInt(), 1);
  EXPECT_GT(Parse(client_->Get("/member/info.do", token))["data"]["deadline"].GetInt64(),
            Now() + 390 * 86400);
}

TEST_F(ApiServerTest, Notices) {
  rapidjson::Document seed = Parse(client_->Get("/notice/popup.do"));
  ASSERT_TRUE(seed["data"].IsObject());
  int seed_id = seed["data"]["id"].GetInt();
  EXPECT_FALSE(std::string(seed["data"]["title"].GetString()).empty());
  ASSERT_EQ(
      service_->Admin({"publish-notice", "维护通知", "今晚服务器维护", "--days", "2"}).exit_code,
      0);
  HttpAnswer answer = client_->Get("/notice/popup.do");
  EXPECT_FALSE(answer.has_token);
  rapidjson::Document doc = Parse(answer);
  EXPECT_GT(doc["data"]["id"].GetInt(), seed_id);
  EXPECT_EQ(std::string(doc["data"]["title"].GetString()), "维护通知");
  EXPECT_EQ(std::string(doc["data"]["text"].GetString()), "今晚服务器维护");
  EXPECT_EQ(doc["data"]["deadline"].GetInt64() - doc["data"]["timestamp"].GetInt64(), 2 * 86400);
}

TEST_F(ApiServerTest, BadRequestsGetAClearAnswer) {
  struct Case {
    const char* method;
    const char* path;
    std::string body;
    long status;
    int code;
  } cases[] = {
      {"POST", "/account/signin.do", "{not json", 400, kApiBadRequest},
      {"POST", "/account/signin.do", "[1,2]", 400, kApiBadRequest},
      {"POST", "/account/signin.do", "", 400, kApiBadRequest},
      {"POST", "/account/signin.do", "{\"username\":\"13800000001\"}", 400, kApiBadRequest},
      {"POST", "/account/signin.do", "{\"username\":13800000001,\"password\":\"x\"}", 400,
       kApiBadRequest},
      {"POST", "/account/signup.do", "{\"username\":\"13800000001\",\"password\":null}", 400,
       kApiBadRequest},
      {"POST", "/account/shortcut.do", "{\"username\":\"13800000001\",\"password\":\"p\"}", 400,
       kApiBadRequest},
      {"POST", "/captcha/phone.do", "{\"username\":[]}", 400, kApiBadRequest},
      {"POST", "/captcha/phone.do", std::string(200 * 1024, 'x'), 413, kApiTooLarge},
      {"GET", "/account/signin.do", "", 405, kApiMethodNotAllowed},
      {"DELETE", "/member/info.do", "", 405, kApiMethodNotAllowed},
      {"GET", "/no/such/path.do", "", 404, kApiNotFound},
      {"POST", "/", "", 404, kApiNotFound},
  };
  for (const Case& c : cases) {
    HttpAnswer answer = client_->Request(c.method, c.path, c.body, "", "application/json");
    EXPECT_EQ(answer.status, c.status) << c.method << " " << c.path << " " << c.body.substr(0, 40);
    EXPECT_TRUE(answer.envelope) << answer.body;
    EXPECT_EQ(answer.code, c.code) << c.path << " " << c.body.substr(0, 40);
    EXPECT_FALSE(answer.info.empty());
  }
  // Still serving.
  EXPECT_EQ(client_->Get("/certificate/publickey.do").status, 200);
}

TEST_F(ApiServerTest, FiftyConcurrentClientsKeepTheDataConsistent) {
  constexpr int kClients = 50;
  // Codes first (the rate limit is per number, so all can go at once).
  std::vector<std::string> numbers, codes(kClients);
  for (int i = 0; i < kClients; ++i)
    numbers.push_back("1370000" + std::to_string(1000 + i));
  std::vector<std::thread> threads;
  for (int i = 0; i < kClients; ++i) {
    threads.emplace_back(
        [&, i] { client_->Post("/captcha/phone.do", "{\"username\":\"" + numbers[i] + "\"}"); });
  }
  for (auto& t : threads)
    t.join();
  threads.clear();
  for (int i = 0; i < kClients; ++i) {
    ProcessResult r = service_->Admin({"last-code", numbers[i]});
    ASSERT_EQ(r.exit_code, 0) << numbers[i];
    codes[i] = r.out.substr(0, 6);
  }
  const std::string encrypted = Encrypt(kPassword);
  std::vector<std::string> uuids(kClients), trade_nos(kClients);
  std::vector<int> failures(kClients, 0);
  for (int i = 0; i < kClients; ++i) {
    threads.emplace_back([&, i] {
      HttpsClient client(service_->base_url());
      HttpAnswer reg =
          client.Post("/account/signup.do",
                      "{\"username\":\"" + numbers[i] + "\",\"password\":" + JsonQuote(encrypted) +
                          ",\"client\":\"pc\",\"captcha\":\"" + codes[i] + "\"}");
      HttpAnswer in =
          client.Post("/account/signin.do", "{\"username\":\"" + numbers[i] +
                                                "\",\"password\":" + JsonQuote(encrypted) + "}");
      HttpAnswer order = client.Post("/wechat/unified.do?goods=monthly", "", in.token, "");
      // Like the client, keep the token held until an answer brings a new one.
      HttpAnswer member = client.Get("/member/info.do", order.has_token ? order.token : in.token);
      failures[i] =
          (reg.code != 200) + (in.code != 200) + (order.code != 200) + (member.code != 200);
      if (failures[i]) {
        ADD_FAILURE() << numbers[i] << ": " << reg.body << " " << in.body << " " << order.body
                      << " " << member.body;
      }
      if (reg.code == 200 && in.code == 200 && order.code == 200) {
        std::string a = Parse(reg)["data"]["uuid"].GetString();
        std::string b = Parse(in)["data"]["uuid"].GetString();
        uuids[i] = a == b ? a : "";
        trade_nos[i] = Parse(order)["data"]["trade_no"].GetString();
      }
    });
  }
  for (auto& t : threads)
    t.join();
  std::set<std::string> distinct_uuids, distinct_orders;
  for (int i = 0; i < kClients; ++i) {
    EXPECT_EQ(failures[i], 0) << numbers[i];
    EXPECT_FALSE(uuids[i].empty()) << numbers[i];
    distinct_uuids.insert(uuids[i]);
    distinct_orders.insert(trade_nos[i]);
  }
  EXPECT_EQ(distinct_uuids.size(), static_cast<size_t>(kClients));
  EXPECT_EQ(distinct_orders.size(), static_cast<size_t>(kClients));
  ProcessResult accounts = service_->Admin({"list-accounts"});
  EXPECT_EQ(std::count(accounts.out.begin(), accounts.out.end(), '\n'), kClients);
  ProcessResult orders = service_->Admin({"list-orders"});
  EXPECT_EQ(std::count(orders.out.begin(), orders.out.end(), '\n'), kClients);
}

TEST_F(ApiServerTest, ARestartKeepsAccountsOrdersAndKeys) {
  HttpAnswer reg = Register(kNumber, kPassword);
  std::string uuid = Parse(reg)["data"]["uuid"].GetString();
  std::string paid = Parse(client_->Post("/wechat/unified.do?goods=monthly", "", reg.token,
                                         ""))["data"]["trade_no"]
                         .GetString();
  std::string pending =
      Parse(client_->Post("/wechat/unified.do?goods=season", "", reg.token, ""))["data"]["trade_no"]
          .GetString();
  ASSERT_EQ(service_->Admin({"pay", paid}).exit_code, 0);
  int64_t deadline =
      Parse(client_->Get("/member/info.do", reg.token))["data"]["deadline"].GetInt64();
  std::string key = public_key_;

  ASSERT_TRUE(service_->Stop());
  StartService({"--sms-interval", "0"});
  EXPECT_EQ(public_key_, key);
  // Tokens signed before the restart still hold.
  EXPECT_EQ(client_->Get("/member/info.do", reg.token).code, 200);
  HttpAnswer in = SignIn(kNumber, kPassword);
  ASSERT_EQ(in.code, 200);
  EXPECT_EQ(std::string(Parse(in)["data"]["uuid"].GetString()), uuid);
  EXPECT_EQ(Parse(client_->Get("/member/info.do", in.token))["data"]["deadline"].GetInt64(),
            deadline);
  auto status = [&](const std::string& t) {
    return Parse(
               client_->Post("/defray/status.do?trade_no=" + t, "", in.token, ""))["data"]["status"]
        .GetInt();
  };
  EXPECT_EQ(status(paid), 1);
  EXPECT_EQ(status(pending), 0);
  // Secrets stay private to the service's user.
  struct stat st;
  ASSERT_EQ(stat((dir_.path() + "/rsa_key.pem").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 077, 0u);
}

}  // namespace
}  // namespace tern
