#include "kelvonet/kelvo_net.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <thread>
#include <vector>

#include "kelvonet/dial_protocol.h"
#include "machine/store.h"

namespace {

using namespace std::chrono_literals;

// Collects events from the dial thread.
class Recorder {
 public:
  static void Callback(KelvoVpnEvent event, unsigned long context) {
    auto* self = reinterpret_cast<Recorder*>(context);
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->events_.push_back(event);
    self->cv_.notify_all();
  }
  unsigned long context() { return reinterpret_cast<unsigned long>(this); }

  // Waits until |count| events have arrived.
  std::vector<KelvoVpnEvent> WaitFor(size_t count, std::chrono::seconds timeout = 20s) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait_for(lock, timeout, [&] { return events_.size() >= count; });
    return events_;
  }
  std::vector<std::string> Names() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> names;
    for (const KelvoVpnEvent& e : events_)
      names.push_back(e.name);
    return names;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<KelvoVpnEvent> events_;
};

// A key and a self-signed certificate for 127.0.0.1, PEM.
struct TestIdentity {
  std::string key_pem;
  std::string certificate_pem;
};

TestIdentity MakeIdentity() {
  TestIdentity made;
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* certificate = X509_new();
  X509_set_version(certificate, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
  X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate), 86400);
  X509_set_pubkey(certificate, key);
  X509_NAME* name = X509_get_subject_name(certificate);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("relay"), -1, -1, 0);
  X509_set_issuer_name(certificate, name);
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* names =
      X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "IP:127.0.0.1");
  X509_add_ext(certificate, names, -1);
  X509_EXTENSION_free(names);
  X509_sign(certificate, key, EVP_sha256());
  auto pem = [](auto write) {
    BIO* bio = BIO_new(BIO_s_mem());
    write(bio);
    char* data = nullptr;
    long size = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<size_t>(size));
    BIO_free(bio);
    return text;
  };
  made.key_pem = pem(
      [&](BIO* bio) { PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr); });
  made.certificate_pem = pem([&](BIO* bio) { PEM_write_bio_X509(bio, certificate); });
  X509_free(certificate);
  EVP_PKEY_free(key);
  return made;
}

// The identity the dialler trusts (through $KELVONET_CA_FILE), and one it
// does not.
const TestIdentity& Trusted() {
  static const TestIdentity* identity = new TestIdentity(MakeIdentity());
  return *identity;
}
const TestIdentity& Stranger() {
  static const TestIdentity* identity = new TestIdentity(MakeIdentity());
  return *identity;
}

// A relay stand-in on a free loopback port that runs |script| on each of
// its first |connections| connections. The relay ends TLS itself and hands the script the plain
// text through a socket pair, so scripts read and write lines as on the wire.
class FakeRelay {
 public:
  using Script = std::function<void(int fd, FakeRelay* relay)>;
  enum class Tls { kTrusted, kStranger, kNone };

  explicit FakeRelay(Script script, Tls tls = Tls::kTrusted, int connections = 1) {
    listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(sa);
    bind(listen_fd_, reinterpret_cast<sockaddr*>(&sa), sizeof(sa));
    listen(listen_fd_, 4);
    getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&sa), &len);
    port_ = ntohs(sa.sin_port);
    thread_ = std::thread([this, script, tls, connections] {
      for (int i = 0; i < connections; ++i) {
        pollfd p{listen_fd_, POLLIN, 0};
        if (poll(&p, 1, 20000) <= 0)
          return;
        int fd = accept(listen_fd_, nullptr, nullptr);
        if (fd < 0)
          return;
        if (tls == Tls::kNone) {
          script(fd, this);
          close(fd);
          continue;
        }
        int pair[2];
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair);
        std::thread pump([fd, pair, tls] { Pump(fd, pair[1], tls); });
        script(pair[0], this);
        close(pair[0]);
        pump.join();
        close(fd);
      }
    });
  }
  ~FakeRelay() {
    thread_.join();
    close(listen_fd_);
  }
  int port() const { return port_; }
  std::string server() const { return "127.0.0.1:" + std::to_string(port_); }

  // Reads the dial request; false when it is not one.
  static bool ReadRequest(int fd, kelvonet::DialRequest* request, std::string* rest) {
    std::string buffer;
    size_t consumed = 0;
    char chunk[4096];
    while (true) {
      kelvonet::ParseStatus s = kelvonet::ParseDialRequest(buffer, request, &consumed);
      if (s == kelvonet::ParseStatus::kOk)
        break;
      if (s == kelvonet::ParseStatus::kMalformed)
        return false;
      ssize_t n = recv(fd, chunk, sizeof(chunk), 0);
      if (n <= 0)
        return false;
      buffer.append(chunk, n);
    }
    *rest = buffer.substr(consumed);
    return true;
  }
  static std::string ReadLine(int fd, std::string* buffer, int timeout_ms = 10000) {
    while (buffer->find('\n') == std::string::npos) {
      pollfd p{fd, POLLIN, 0};
      char chunk[512];
      ssize_t n = 0;
      if (poll(&p, 1, timeout_ms) <= 0 || (n = recv(fd, chunk, sizeof(chunk), 0)) <= 0) {
        return "<closed>";
      }
      buffer->append(chunk, n);
    }
    std::string line = buffer->substr(0, buffer->find('\n'));
    buffer->erase(0, line.size() + 1);
    return line;
  }
  static void Send(int fd, const std::string& text) {
    send(fd, text.data(), text.size(), MSG_NOSIGNAL);
  }

  // Ends TLS on |fd| with the chosen identity and copies plain text
  // between it and |plain| until either side closes.
  static void Pump(int fd, int plain, Tls tls) {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    const TestIdentity& identity = tls == Tls::kTrusted ? Trusted() : Stranger();
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    BIO* bio = BIO_new_mem_buf(identity.certificate_pem.data(),
                               static_cast<int>(identity.certificate_pem.size()));
    X509* certificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    bio = BIO_new_mem_buf(identity.key_pem.data(), static_cast<int>(identity.key_pem.size()));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    SSL_CTX_use_certificate(context, certificate);
    SSL_CTX_use_PrivateKey(context, key);
    X509_free(certificate);
    EVP_PKEY_free(key);
    SSL* ssl = SSL_new(context);
    SSL_set_fd(ssl, fd);
    // Another test interrupts every thread with signals; this pump rides
    // them out.
    int accepted;
    while ((accepted = SSL_accept(ssl)) != 1 &&
           SSL_get_error(ssl, accepted) == SSL_ERROR_WANT_READ) {
    }
    if (accepted == 1) {
      char chunk[4096];
      while (true) {
        pollfd p[2] = {{fd, POLLIN, 0}, {plain, POLLIN, 0}};
        if (SSL_pending(ssl) == 0) {
          int ready = poll(p, 2, 30000);
          if (ready < 0 && errno == EINTR)
            continue;
          if (ready <= 0)
            break;
        }
        if (SSL_pending(ssl) > 0 || p[0].revents) {
          int n = SSL_read(ssl, chunk, sizeof(chunk));
          if (n <= 0 && SSL_get_error(ssl, n) == SSL_ERROR_WANT_READ)
            continue;
          if (n <= 0 || send(plain, chunk, n, MSG_NOSIGNAL) != n)
            break;
        }
        if (p[1].revents) {
          ssize_t n = recv(plain, chunk, sizeof(chunk), 0);
          if (n < 0 && errno == EINTR)
            continue;
          if (n <= 0 || SSL_write(ssl, chunk, static_cast<int>(n)) != n)
            break;
        }
      }
    }
    SSL_free(ssl);
    SSL_CTX_free(context);
    shutdown(fd, SHUT_RDWR);
    close(plain);
  }

  // What the script saw, for the test to check after the fact.
  std::mutex mutex;
  kelvonet::DialRequest request;
  std::vector<std::string> lines;

 private:
  int listen_fd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

constexpr char kRoutes[] =
    "43.100.1.0 255.255.255.0 43.100.1.0/24\n"
    "not a route\n"
    "45.6.0.0 255.255.0.0 45.6.0.0/16\n";

class KelvoNetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/kelvo-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    setenv("TERN_MACHINE_ROOT", root_.c_str(), 1);
    std::ofstream(root_ + "/relay.pem") << Trusted().certificate_pem;
    setenv("KELVONET_CA_FILE", (root_ + "/relay.pem").c_str(), 1);
    ASSERT_TRUE(KelvoNet_createInstance());
    ASSERT_TRUE(KelvoNet_Init());
  }
  void TearDown() override {
    KelvoNet_DeInit();
    KelvoNet_releaseInstance();
    unsetenv("KELVONET_RELAY_PORT");
    unsetenv("KELVONET_CA_FILE");
    std::filesystem::remove_all(root_);
  }

  std::vector<machine::RouteRecord> Routes() {
    std::unique_ptr<machine::Store> store;
    std::vector<machine::RouteRecord> routes;
    EXPECT_EQ(machine::Store::Open(&store), machine::Status::kOk);
    EXPECT_EQ(store->ListRoutes(&routes), machine::Status::kOk);
    return routes;
  }

  // Accepts, answers PINGs, and records every line until the dialler leaves.
  static void AcceptAndServe(int fd, FakeRelay* relay) {
    std::string rest;
    {
      std::lock_guard<std::mutex> lock(relay->mutex);
      if (!FakeRelay::ReadRequest(fd, &relay->request, &rest))
        return;
    }
    Serve(fd, relay, std::move(rest));
  }
  // The part after the request; |rest| is what followed it.
  static void Serve(int fd, FakeRelay* relay, std::string rest) {
    FakeRelay::Send(fd, kelvonet::EncodeAccept("7", 1));
    while (true) {
      std::string line = FakeRelay::ReadLine(fd, &rest);
      {
        std::lock_guard<std::mutex> lock(relay->mutex);
        relay->lines.push_back(line);
      }
      if (line == "PING")
        FakeRelay::Send(fd, "PONG\n");
      if (line == "BYE" || line == "<closed>")
        return;
    }
  }

  std::string root_;
  Recorder recorder_;
};

TEST_F(KelvoNetTest, DialRecordsRoutesKeepsAliveAndHangsUp) {
  FakeRelay relay(AcceptAndServe);
  // Without a port in the server text the relay port comes from the
  // environment.
  setenv("KELVONET_RELAY_PORT", std::to_string(relay.port()).c_str(), 1);
  ASSERT_EQ(CreateDial(3, "127.0.0.1", "uuid-1", "interim-1", kRoutes, Recorder::Callback,
                       recorder_.context()),
            0);
  std::vector<KelvoVpnEvent> events = recorder_.WaitFor(2);
  ASSERT_EQ(recorder_.Names(), (std::vector<std::string>{"CONNECTED", "ADDROUTED"}));
  EXPECT_EQ(events[1].route_count, 2u);
  EXPECT_STREQ(events[1].session, "7");
  EXPECT_EQ(events[1].connected, 1);
  EXPECT_EQ(events[1].protocol, 3u);
  EXPECT_EQ(events[1].notify, 1);
  EXPECT_EQ(events[1].failed, 0);
  EXPECT_GT(events[1].sequence, events[0].sequence);

  std::vector<machine::RouteRecord> routes = Routes();
  ASSERT_EQ(routes.size(), 2u);
  EXPECT_EQ(routes[0].destination, "43.100.1.0");
  EXPECT_EQ(routes[0].mask, "255.255.255.0");
  EXPECT_EQ(routes[0].gateway, kKelvoTunnelGateway);
  EXPECT_EQ(routes[1].destination, "45.6.0.0");

  // A keep-alive goes out within its one-second period.
  std::this_thread::sleep_for(1500ms);
  StopDial();
  events = recorder_.WaitFor(3);
  ASSERT_EQ(recorder_.Names(),
            (std::vector<std::string>{"CONNECTED", "ADDROUTED", "ACTIVEDISCONNECTED"}));
  EXPECT_EQ(events[2].connected, 0);
  EXPECT_EQ(events[2].failed, 0);
  EXPECT_TRUE(Routes().empty());
  KelvoNet_DeInit();  // joins the dial thread, so the relay has seen everything
  std::lock_guard<std::mutex> lock(relay.mutex);
  EXPECT_EQ(relay.request.protocol, 3);
  EXPECT_EQ(relay.request.uuid, "uuid-1");
  EXPECT_EQ(relay.request.interim, "interim-1");
  EXPECT_EQ(relay.request.routes, kRoutes);
  ASSERT_GE(relay.lines.size(), 2u);
  EXPECT_EQ(relay.lines.front(), "PING");
  EXPECT_EQ(relay.lines.back(), "BYE");
}

// A relay that reads the dial request and answers |text|.
FakeRelay::Script AnswerWith(std::string text) {
  return [text](int fd, FakeRelay* relay) {
    std::string rest;
    FakeRelay::ReadRequest(fd, &relay->request, &rest);
    FakeRelay::Send(fd, text);
  };
}

// Protocol -1 tries the protocols in order and keeps the first one the relay
// does not refuse as a protocol; any other refusal ends the dial.
TEST_F(KelvoNetTest, ProtocolMinusOneChoosesTheFirstOfferedProtocol) {
  struct Case {
    const char* name;
    int first_offered;       // protocols below it are refused with 720
    uint32_t other_refusal;  // refused with this code instead, when not 0
    std::vector<int> asked;
    std::vector<std::string> events;
  } cases[] = {
      {"third offered", 2, 0, {0, 1, 2}, {"CONNECTED", "ADDROUTED"}},
      {"first offered", 0, 0, {0}, {"CONNECTED", "ADDROUTED"}},
      {"none offered", 5, 0, {0, 1, 2, 3, 4}, {"DIALFAILED"}},
      {"credentials refused", 5, 691, {0}, {"DIALFAILED"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Recorder recorder;
    std::vector<int> asked;
    FakeRelay relay(
        [&](int fd, FakeRelay* r) {
          kelvonet::DialRequest request;
          std::string rest;
          if (!FakeRelay::ReadRequest(fd, &request, &rest))
            return;
          {
            std::lock_guard<std::mutex> lock(r->mutex);
            asked.push_back(request.protocol);
          }
          if (c.other_refusal)
            return FakeRelay::Send(fd, kelvonet::EncodeRefusal(c.other_refusal, "no"));
          if (request.protocol < c.first_offered)
            return FakeRelay::Send(fd, kelvonet::EncodeRefusal(720, "protocol not offered"));
          Serve(fd, r, rest);
        },
        FakeRelay::Tls::kTrusted, static_cast<int>(c.asked.size()));
    ASSERT_EQ(CreateDial(-1, relay.server().c_str(), "u", "i", kRoutes, Recorder::Callback,
                         recorder.context()),
              0);
    std::vector<KelvoVpnEvent> events = recorder.WaitFor(c.events.size());
    EXPECT_EQ(recorder.Names(), c.events);
    if (c.events.back() == "ADDROUTED") {
      EXPECT_EQ(events.back().protocol, static_cast<uint32_t>(c.first_offered));
    } else {
      EXPECT_EQ(events.back().code, c.other_refusal ? c.other_refusal : 720u);
    }
    StopDial();
    KelvoNet_DeInit();
    ASSERT_TRUE(KelvoNet_Init());
    std::lock_guard<std::mutex> lock(relay.mutex);
    EXPECT_EQ(asked, c.asked);
  }
}

TEST_F(KelvoNetTest, MutedEventsLeaveTheCallerWithoutNews) {
  FakeRelay relay(AcceptAndServe);
  SetEventsMutedForTesting(true);
  ASSERT_EQ(CreateDial(2, relay.server().c_str(), "u", "i", kRoutes, Recorder::Callback,
                       recorder_.context()),
            0);
  // The session is up (routes recorded) but nobody hears of it.
  for (int i = 0; i < 100 && Routes().empty(); ++i)
    std::this_thread::sleep_for(20ms);
  EXPECT_EQ(Routes().size(), 2u);
  EXPECT_TRUE(recorder_.WaitFor(1, 1s).empty());
  SetEventsMutedForTesting(false);
  KelvoNet_DeInit();
}

TEST_F(KelvoNetTest, EveryFailureIsReportedWithItsCode) {
  struct Case {
    const char* name;
    FakeRelay::Script script;  // null: nothing listens
    const char* uuid;
    uint32_t code;
  } cases[] = {
      {"unreachable", nullptr, "u", kelvonet::kCodeNodeUnreachable},
      {"credentials", AnswerWith(kelvonet::EncodeRefusal(691, "no")), "u", 691},
      {"protocol", AnswerWith(kelvonet::EncodeRefusal(720, "no")), "u", 720},
      {"too frequent", AnswerWith(kelvonet::EncodeRefusal(32, "dialling too frequently")), "u", 32},
      {"garbage answer", AnswerWith("HELLO\n"), "u", kelvonet::kCodeHandshakeFailed},
      {"closed without answer", [](int, FakeRelay*) {}, "u", kelvonet::kCodeHandshakeFailed},
      // Values out of range are refused before anything is recorded.
      {"keep-alive of 68 years", AnswerWith("OK s 2147483647\n"), "u",
       kelvonet::kCodeHandshakeFailed},
      {"refusal without a code", AnswerWith("ERR 0 fine\n"), "u", kelvonet::kCodeHandshakeFailed},
      {"empty uuid", nullptr, "", kelvonet::kCodeInvalidParameter},
  };
  for (const Case& c : cases) {
    Recorder recorder;
    std::string server;
    std::unique_ptr<FakeRelay> relay;
    if (c.script) {
      relay = std::make_unique<FakeRelay>(c.script);
      server = relay->server();
    } else {
      // A port that was free a moment ago: nothing accepts there.
      FakeRelay closed([](int, FakeRelay*) {});
      server = closed.server();
      int fd = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in sa{};
      sa.sin_family = AF_INET;
      sa.sin_port = htons(static_cast<uint16_t>(closed.port()));
      sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa));  // lets |closed| finish
      close(fd);
    }
    CreateDial(0, server.c_str(), c.uuid, "i", kRoutes, Recorder::Callback, recorder.context());
    std::vector<KelvoVpnEvent> events = recorder.WaitFor(1);
    ASSERT_EQ(events.size(), 1u) << c.name;
    EXPECT_STREQ(events[0].name, "DIALFAILED") << c.name;
    EXPECT_EQ(events[0].failed, 1) << c.name;
    EXPECT_EQ(events[0].notify, 1) << c.name;
    EXPECT_EQ(events[0].code, c.code) << c.name;
    KelvoNet_DeInit();
    KelvoNet_Init();
    EXPECT_EQ(recorder.Names().size(), 1u) << c.name;
    EXPECT_TRUE(Routes().empty()) << c.name;
  }
}

// A relay that cannot prove its name gets no credentials: the dial fails
// before the request is sent.
TEST_F(KelvoNetTest, OnlyATrustedRelayHearsTheCredentials) {
  struct Case {
    const char* name;
    FakeRelay::Tls tls;
    const char* detail;
  } cases[] = {
      {"unknown certificate", FakeRelay::Tls::kStranger, "relay not trusted"},
      {"plain text", FakeRelay::Tls::kNone, "TLS handshake failed"},
  };
  for (const Case& c : cases) {
    Recorder recorder;
    std::string heard;
    {
      FakeRelay relay(
          [&heard](int fd, FakeRelay*) {
            char chunk[4096];
            pollfd p{fd, POLLIN, 0};
            ssize_t n;
            while (poll(&p, 1, 5000) > 0 && (n = recv(fd, chunk, sizeof(chunk), 0)) > 0)
              heard.append(chunk, static_cast<size_t>(n));
          },
          c.tls);
      CreateDial(0, relay.server().c_str(), "uuid-secret", "interim-secret", kRoutes,
                 Recorder::Callback, recorder.context());
      std::vector<KelvoVpnEvent> events = recorder.WaitFor(1);
      ASSERT_EQ(events.size(), 1u) << c.name;
      EXPECT_STREQ(events[0].name, "DIALFAILED") << c.name;
      EXPECT_EQ(events[0].code, kelvonet::kCodeHandshakeFailed) << c.name;
      EXPECT_STREQ(events[0].detail, c.detail) << c.name;
      KelvoNet_DeInit();
      KelvoNet_Init();
    }
    EXPECT_EQ(heard.find("secret"), std::string::npos) << c.name;
    EXPECT_EQ(heard.find("KELVO"), std::string::npos) << c.name;
  }
}

TEST_F(KelvoNetTest, ALostSessionIsReportedAsPassiveDisconnection) {
  struct Case {
    const char* name;
    const char* relay_says;  // after accepting; null: just close
    uint32_t code;
    const char* detail;
  } cases[] = {
      {"closed", nullptr, kelvonet::kCodeSessionLost, "connection lost"},
      {"ended", "BYE dropped by operator\n", kelvonet::kCodeEndedByRelay, "dropped by operator"},
  };
  for (const Case& c : cases) {
    Recorder recorder;
    FakeRelay relay([&c](int fd, FakeRelay* r) {
      std::string rest;
      FakeRelay::ReadRequest(fd, &r->request, &rest);
      FakeRelay::Send(fd, kelvonet::EncodeAccept("9", 30));
      // Wait until the dialler has its routes before ending the session.
      std::this_thread::sleep_for(300ms);
      if (c.relay_says)
        FakeRelay::Send(fd, c.relay_says);
    });
    CreateDial(1, relay.server().c_str(), "u", "i", kRoutes, Recorder::Callback,
               recorder.context());
    std::vector<KelvoVpnEvent> events = recorder.WaitFor(3);
    ASSERT_EQ(recorder.Names(),
              (std::vector<std::string>{"CONNECTED", "ADDROUTED", "PASSIVEDISCONNECTED"}))
        << c.name;
    EXPECT_EQ(events[2].failed, 0) << c.name;
    EXPECT_EQ(events[2].code, c.code) << c.name;
    EXPECT_STREQ(events[2].detail, c.detail) << c.name;
    EXPECT_TRUE(Routes().empty()) << c.name;
  }
}

void IgnoreSignal(int) {}

TEST_F(KelvoNetTest, SignalsDuringTheHandshakeDoNotFailTheDial) {
  struct sigaction action {};
  action.sa_handler = IgnoreSignal;  // no SA_RESTART: waits see EINTR
  struct sigaction previous {};
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
  FakeRelay relay([](int fd, FakeRelay* r) {
    std::string rest;
    FakeRelay::ReadRequest(fd, &r->request, &rest);
    // The dialler now waits for the answer; interrupt every other thread.
    for (int round = 0; round < 5; ++round) {
      for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        pid_t tid = std::stoi(task.path().filename().string());
        if (tid != gettid())
          tgkill(getpid(), tid, SIGUSR1);
      }
      std::this_thread::sleep_for(50ms);
    }
    Serve(fd, r, std::move(rest));
  });
  CreateDial(0, relay.server().c_str(), "u", "i", kRoutes, Recorder::Callback, recorder_.context());
  recorder_.WaitFor(2);
  EXPECT_EQ(recorder_.Names(), (std::vector<std::string>{"CONNECTED", "ADDROUTED"}));
  KelvoNet_DeInit();
  sigaction(SIGUSR1, &previous, nullptr);
}

// Makes eventfd fail as it does when the process is out of descriptors,
// while sockets still work.
bool RefuseEventFds() {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_eventfd2, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EMFILE),
  };
  sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

TEST_F(KelvoNetTest, ADialWithoutAStopEventFailsCleanly) {
  // In a child process, so the filter stays there; a hang ends at the alarm.
  EXPECT_EXIT(
      {
        alarm(20);
        if (!RefuseEventFds())
          _exit(2);
        FakeRelay relay(AcceptAndServe);
        Recorder recorder;
        int code = CreateDial(0, relay.server().c_str(), "u", "i", kRoutes, Recorder::Callback,
                              recorder.context());
        std::vector<KelvoVpnEvent> events = recorder.WaitFor(1);
        if (code != static_cast<int>(kelvonet::kCodeOutOfResources) || events.size() != 1 ||
            events[0].code != kelvonet::kCodeOutOfResources) {
          fprintf(stderr, "returned %d, first event %s\n", code,
                  events.empty() ? "none" : events[0].name);
          _exit(3);
        }
        KelvoNet_DeInit();
        KelvoNet_releaseInstance();
        fprintf(stderr, "failed cleanly\n");
        // Lets the relay's accept wait end.
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<uint16_t>(relay.port()));
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa));
        close(fd);
        _exit(0);
      },
      ::testing::ExitedWithCode(0), "failed cleanly");
}

TEST_F(KelvoNetTest, ANewDialHangsUpTheOldOneAndDeInitRefusesDials) {
  Recorder first, second;
  FakeRelay relay_a(AcceptAndServe);
  FakeRelay relay_b(AcceptAndServe);
  CreateDial(0, relay_a.server().c_str(), "u", "i", kRoutes, Recorder::Callback, first.context());
  ASSERT_EQ(first.WaitFor(2).size(), 2u);
  CreateDial(0, relay_b.server().c_str(), "u", "i", kRoutes, Recorder::Callback, second.context());
  EXPECT_EQ(first.WaitFor(3).back().name, std::string("ACTIVEDISCONNECTED"));
  ASSERT_EQ(second.WaitFor(2).size(), 2u);
  EXPECT_EQ(Routes().size(), 2u);

  // DeInit hangs up without events; dials are refused until Init.
  KelvoNet_DeInit();
  EXPECT_EQ(second.Names().size(), 2u);
  EXPECT_TRUE(Routes().empty());
  Recorder third;
  EXPECT_EQ(CreateDial(0, relay_b.server().c_str(), "u", "i", kRoutes, Recorder::Callback,
                       third.context()),
            static_cast<int>(kelvonet::kCodeNotInitialised));
  std::vector<KelvoVpnEvent> events = third.WaitFor(1);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].failed, 1);
  EXPECT_EQ(events[0].code, kelvonet::kCodeNotInitialised);
  // StopDial with nothing open reports nothing.
  StopDial();
  KelvoNet_Init();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(third.Names().size(), 1u);
}

TEST_F(KelvoNetTest, TapAdapterAndCertificate) {
  EXPECT_FALSE(remove_tap_driver());
  EXPECT_EQ(install_tap_driver(), 0);
  EXPECT_EQ(install_tap_driver(), 1);
  std::unique_ptr<machine::Store> store;
  ASSERT_EQ(machine::Store::Open(&store), machine::Status::kOk);
  std::vector<machine::AdapterRecord> adapters;
  ASSERT_EQ(store->ListAdapters(&adapters), machine::Status::kOk);
  ASSERT_EQ(adapters.size(), 1u);
  EXPECT_EQ(adapters[0].name, kKelvoTapAdapterName);
  EXPECT_TRUE(remove_tap_driver());
  EXPECT_FALSE(remove_tap_driver());

  EXPECT_TRUE(install_cert());
  std::string certificate;
  ASSERT_EQ(store->GetSetting("kelvonet.relay_certificate", &certificate), machine::Status::kOk);
  EXPECT_NE(certificate.find("CN="), std::string::npos);

  // A machine root that cannot be created fails cleanly.
  setenv("TERN_MACHINE_ROOT", "/proc/no-such-root", 1);
  EXPECT_EQ(install_tap_driver(), -1);
  EXPECT_FALSE(install_cert());
  setenv("TERN_MACHINE_ROOT", root_.c_str(), 1);
}

}  // namespace
