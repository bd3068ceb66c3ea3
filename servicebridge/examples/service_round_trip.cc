// A full service round trip through libServiceBridge.so, as the client makes
// it: keys, SMS code, registration, sign-in, tunnel credentials, nodes, name
// servers, routes, version, goods, an order paid by the service, membership,
// notice, and a tunnel dialled to the first node with the dial library.
//
//   tern-service-demo --service URL --program-dir DIR --tern-service PATH --data-dir DIR
//
// The SMS code is read back with "tern-service admin last-code", since the
// service sends no real messages.

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "kelvonet/kelvo_net.h"
#include "servicebridge/service_bridge.h"

namespace {

std::map<std::string, std::string> ParseArgs(int argc, char** argv) {
  std::map<std::string, std::string> args;
  for (int i = 1; i + 1 < argc; i += 2) {
    args[argv[i]] = argv[i + 1];
  }
  return args;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The login window's password form: RSA PKCS#1 v1.5 with the service's key,
// then URL-safe Base64.
std::string EncryptPassword(const std::string& pem, const std::string& password) {
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(
      BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), BIO_free);
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
      PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr), EVP_PKEY_free);
  if (!key) {
    return std::string();
  }
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
      EVP_PKEY_CTX_new(key.get(), nullptr), EVP_PKEY_CTX_free);
  size_t length = 0;
  const auto* in = reinterpret_cast<const unsigned char*>(password.data());
  if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) <= 0 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0 ||
      EVP_PKEY_encrypt(ctx.get(), nullptr, &length, in, password.size()) <= 0) {
    return std::string();
  }
  std::string cipher(length, '\0');
  if (EVP_PKEY_encrypt(ctx.get(), reinterpret_cast<unsigned char*>(cipher.data()), &length, in,
                       password.size()) <= 0) {
    return std::string();
  }
  cipher.resize(length);
  std::string encoded(4 * ((cipher.size() + 2) / 3) + 1, '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                          reinterpret_cast<const unsigned char*>(cipher.data()),
                          static_cast<int>(cipher.size()));
  encoded.resize(n);
  for (char& c : encoded) {
    c = c == '+' ? '-' : c == '/' ? '_' : c;
  }
  return encoded;
}

std::string LastCode(const std::string& service_program,
                     const std::string& data_dir,
                     const std::string& number) {
  std::string command =
      "'" + service_program + "' admin last-code " + number + " --data-dir '" + data_dir + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) {
    return std::string();
  }
  char line[64] = {};
  std::string code = fgets(line, sizeof(line), pipe) ? std::string(line, 6) : std::string();
  pclose(pipe);
  return code;
}

struct DialWatch {
  std::mutex lock;
  std::condition_variable changed;
  std::string last;
  bool failed = false;
};

void OnDialEvent(KelvoVpnEvent event, unsigned long context) {
  auto* watch = reinterpret_cast<DialWatch*>(context);
  std::printf("  dial event %s (code %u, routes %u)\n", event.name, event.code, event.route_count);
  std::lock_guard<std::mutex> hold(watch->lock);
  watch->last = event.name;
  watch->failed = event.failed != 0;
  watch->changed.notify_all();
}

bool WaitForEvent(DialWatch* watch, const std::string& name) {
  std::unique_lock<std::mutex> hold(watch->lock);
  return watch->changed.wait_for(hold, std::chrono::seconds(10), [&] {
    return watch->last == name || watch->failed;
  }) && !watch->failed;
}

int Fail(const char* what) {
  std::fprintf(stderr, "tern-service-demo: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> args = ParseArgs(argc, argv);
  const std::string service = args["--service"];
  const std::string program_dir = args["--program-dir"];
  if (service.empty() || program_dir.empty() || args["--tern-service"].empty()) {
    return Fail("usage: --service URL --program-dir DIR --tern-service PATH --data-dir DIR");
  }
  std::filesystem::create_directories(program_dir);
  // tern-service was started with --export-cert <program dir>/tern-service.pem.
  std::ofstream(program_dir + "/config.ini")
      << "[service_hosts]\naccount=" << service << "\nnode=" << service << "\nbilling=" << service
      << "\nca_file=tern-service.pem\n";

  CServiceBridgeVirtual* bridge = GetInterfaceLibraryInfo();
  bridge->initialize(program_dir);
  bridge->setDeviceInfo("Linux-demo");
  const std::string number = "13900000042";
  const std::string password = "demo-pass1";

  std::printf("== public key\n");
  if (bridge->getPublicKey().empty()) {
    return Fail("no public key");
  }
  std::string encrypted = EncryptPassword(ReadFile(program_dir + "/pubkey.pem"), password);
  std::printf("  pubkey.pem written, password encrypted (%zu characters)\n", encrypted.size());

  std::printf("== SMS code and registration\n");
  CaptchaResult captcha = bridge->sendCaptcha(number);
  std::printf("  sendCaptcha: status %d, %s\n", captcha.status, captcha.info.c_str());
  std::string code = LastCode(args["--tern-service"], args["--data-dir"], number);
  RegisterResult reg = bridge->registerAccount(number, encrypted, code);
  std::printf("  registerAccount with code %s: code %d %s\n", code.c_str(), reg.code,
              reg.info.c_str());

  std::printf("== sign in\n");
  LoginResult login = bridge->loginAccount(number, encrypted, "");
  std::printf("  loginAccount: code %d, uuid %s\n", login.code, login.uuid.c_str());
  if (login.code != 200) {
    return Fail("sign-in failed");
  }
  InterimInfo interim = bridge->refreshInterim();
  std::printf("  refreshInterim: uuid %s, interim %s\n", interim.uuid.c_str(),
              interim.interim.c_str());

  std::printf("== nodes, name servers, routes, version\n");
  std::vector<NodeInfo> nodes = bridge->assignNodes("SEA");
  for (const NodeInfo& node : nodes) {
    std::printf("  node %-12s %s (icmp %s)\n", node.addr_ip.c_str(), node.name_cn.c_str(),
                node.icmp.c_str());
  }
  DnsServerInfo dns = bridge->pullDnsServer("SEA");
  std::printf("  pullDnsServer: %s (forward %d)\n", dns.dns.c_str(), dns.forward);
  int version = 0;
  std::vector<RouteEntry> routes = bridge->syncRouteTable(version, 0);
  std::printf("  syncRouteTable from 0: %zu routes, now version %d\n", routes.size(), version);
  UpgradeInfo upgrade = bridge->checkUpgrade();
  std::printf("  checkUpgrade: version %s, must %d\n", upgrade.version.c_str(), upgrade.must);

  std::printf("== goods, order, payment, membership\n");
  for (const auto& [name, item] : bridge->getGoodsInfo()) {
    std::printf("  goods %-8s payable %d\n", name.c_str(), item.payable);
  }
  WechatOrder order = bridge->createWechatOrder("monthly");
  std::printf("  createWechatOrder: trade_no %s, qr_url %s\n", order.trade_no.c_str(),
              order.qr_url.c_str());
  int paid = 0;
  for (int i = 0; i < 20 && paid != 1; ++i) {
    paid = bridge->queryPayStatus(order.trade_no);
    if (paid != 1) {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
  }
  std::printf("  queryPayStatus: %d\n", paid);
  MemberInfo member = bridge->getMemberInfo();
  std::printf("  getMemberInfo: deadline %s, %lld days\n", member.deadline.c_str(),
              static_cast<long long>(member.days));
  NoticeInfo notice = bridge->getNoticePopup();
  std::printf("  getNoticePopup: %d %s\n", notice.id, notice.title.c_str());

  std::printf("== tunnel to the first node\n");
  if (nodes.empty()) {
    return Fail("no nodes");
  }
  std::string route_text;
  for (size_t i = 0; i < routes.size() && i < 50; ++i) {
    route_text += routes[i].addr + " " + routes[i].mask + "\n";
  }
  DialWatch watch;
  KelvoNet_createInstance();
  KelvoNet_Init();
  CreateDial(2, nodes[0].addr_ip.c_str(), interim.uuid.c_str(), interim.interim.c_str(), route_text,
             &OnDialEvent, reinterpret_cast<unsigned long>(&watch));
  bool up = WaitForEvent(&watch, "ADDROUTED");
  if (up) {
    StopDial();
    WaitForEvent(&watch, "ACTIVEDISCONNECTED");
  }
  KelvoNet_DeInit();
  KelvoNet_releaseInstance();
  if (!up || paid != 1 || member.days <= 0) {
    return Fail("round trip incomplete");
  }
  std::printf("\ntern-service-demo: round trip complete\n");
  return 0;
}
