#include "kelvonet/kelvo_net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "kelvonet/dial_protocol.h"
#include "machine/store.h"

namespace kelvonet {
namespace {

constexpr int kConnectTimeoutMs = 10000;
constexpr int kReplyTimeoutMs = 15000;
constexpr char kCertificateSetting[] = "kelvonet.relay_certificate";
constexpr char kRelayRootCertificate[] =
    "CN=Kelvo Relay Root CA, O=Kelvo Networks; SHA-256 "
    "5B:0E:71:2A:93:C4:D8:16:AF:62:0B:7E:95:13:C8:4D:E2:37:90:1F:6A:B4:28:DC:53:E1:0F:84:7A:C6:"
    "29:B3";

using Clock = std::chrono::steady_clock;

void CopyText(char* target, size_t size, std::string_view text) {
  size_t n = std::min(size - 1, text.size());
  memcpy(target, text.data(), n);
  target[n] = '\0';
}

int RelayPortFromEnvironment() {
  const char* text = getenv("KELVONET_RELAY_PORT");
  if (text && *text) {
    char* end = nullptr;
    long port = strtol(text, &end, 10);
    if (*end == '\0' && port > 0 && port < 65536)
      return static_cast<int>(port);
  }
  return kDefaultRelayPort;
}

// Lower-case ASCII, for the case-insensitive names of an INI file.
std::string Lower(std::string text) {
  for (char& c : text)
    c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Trimmed(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos)
    return std::string();
  size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

std::string ProgramDirectory() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0)
    return ".";
  std::string full(path, static_cast<size_t>(n));
  size_t slash = full.rfind('/');
  return slash == std::string::npos ? std::string(".") : full.substr(0, slash);
}

// The certificate file trusted besides the system's store: $KELVONET_CA_FILE,
// else "ca_file" of section [service_hosts] in the program directory's
// config.ini (relative to that directory); "" when neither names one.
std::string TrustedCertificateFile() {
  const char* env = getenv("KELVONET_CA_FILE");
  if (env && *env)
    return env;
  std::string directory = ProgramDirectory();
  std::ifstream config(directory + "/config.ini");
  std::string line;
  bool in_section = false;
  while (std::getline(config, line)) {
    line = Trimmed(line);
    if (!line.empty() && line.front() == '[') {
      in_section = Lower(line) == "[service_hosts]";
      continue;
    }
    size_t equals = line.find('=');
    if (!in_section || equals == std::string::npos ||
        Lower(Trimmed(line.substr(0, equals))) != "ca_file")
      continue;
    std::string file = Trimmed(line.substr(equals + 1));
    if (file.empty())
      return file;
    return file.front() == '/' ? file : directory + "/" + file;
  }
  return std::string();
}

bool IsToken(const char* text) {
  if (!text || !*text || strlen(text) > kMaxTokenBytes)
    return false;
  for (const char* p = text; *p; ++p) {
    if (static_cast<unsigned char>(*p) <= 0x20)
      return false;
  }
  return true;
}

std::atomic<int> g_muted_for_testing{-1};  // -1: not set, read the environment

bool MutedForTesting() {
  int muted = g_muted_for_testing.load();
  if (muted < 0) {
    const char* text = getenv("KELVONET_MUTE_EVENTS_FOR_TESTING");
    muted = text && strcmp(text, "1") == 0 ? 1 : 0;
    g_muted_for_testing.store(muted);
  }
  return muted == 1;
}

// One dial and, when it succeeds, its session; runs on a thread of its own.
class DialSession {
 public:
  struct Params {
    int protocol = 0;
    std::string server;
    std::string uuid;
    std::string interim;
    std::string routes;
    KelvoEventCallback callback = nullptr;
    unsigned long context = 0;
  };

  DialSession(Params params, std::atomic<uint32_t>* sequence)
      : params_(std::move(params)), sequence_(sequence) {
    stop_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  }
  ~DialSession() {
    Join();
    if (stop_fd_ >= 0)
      close(stop_fd_);
    if (ssl_)
      SSL_free(ssl_);
    SSL_CTX_free(tls_);
  }

  // False when the stop event could not be made (descriptors exhausted): such
  // a session could never be stopped, so it must not dial.
  bool can_stop() const { return stop_fd_ >= 0; }

  void Start() {
    thread_ = std::thread([this] { Run(); });
  }
  // Reports a failure found before dialling, from the session's own thread
  // like every other event.
  void StartFailed(uint32_t code, std::string detail) {
    thread_ = std::thread([this, code, detail] {
      Fail(code, detail);
      finished_ = true;
    });
  }
  // |report|: whether the hang-up is reported as "ACTIVEDISCONNECTED".
  void RequestStop(bool report) {
    if (!report)
      silent_ = true;
    stop_requested_ = true;
    uint64_t one = 1;
    (void)!write(stop_fd_, &one, sizeof(one));
  }
  void Join() {
    if (thread_.joinable())
      thread_.join();
  }
  bool finished() const { return finished_; }

 private:
  enum class Wait { kReady, kStopped, kTimeout, kError };

  void Emit(const char* name,
            bool failed,
            uint32_t code,
            std::string_view detail,
            bool connected,
            uint32_t route_count = 0) {
    if (silent_ || !params_.callback || MutedForTesting())
      return;
    KelvoVpnEvent event;
    memset(&event, 0, sizeof(event));
    event.sequence = ++*sequence_;
    event.protocol = static_cast<uint32_t>(params_.protocol);
    event.notify = 1;
    event.connected = connected ? 1 : 0;
    event.failed = failed ? 1 : 0;
    CopyText(event.name, sizeof(event.name), name);
    CopyText(event.server, sizeof(event.server), params_.server);
    CopyText(event.session, sizeof(event.session), session_id_);
    CopyText(event.detail, sizeof(event.detail), detail);
    event.code = code;
    event.route_count = route_count;
    params_.callback(event, params_.context);
  }

  void Fail(uint32_t code, std::string_view detail) {
    Emit("DIALFAILED", true, code, detail, false);
  }

  // Waits for |events| on the socket, for the stop event, or the time-out.
  // A signal does not end the wait early.
  Wait WaitFor(short events, int timeout_ms) {
    pollfd fds[2] = {{fd_, events, 0}, {stop_fd_, POLLIN, 0}};
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    int ready;
    while ((ready = poll(fds, 2, timeout_ms)) < 0 && errno == EINTR) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      timeout_ms = static_cast<int>(std::max<int64_t>(left, 0));
    }
    if (ready < 0)
      return Wait::kError;
    if (fds[1].revents)
      return Wait::kStopped;
    if (ready == 0)
      return Wait::kTimeout;
    return Wait::kReady;
  }

  Wait Connect(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
      return Wait::kError;
    }
    Wait result = Wait::kError;
    for (addrinfo* ai = found; ai && result == Wait::kError; ai = ai->ai_next) {
      fd_ = socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      if (fd_ < 0)
        continue;
      if (connect(fd_, ai->ai_addr, ai->ai_addrlen) == 0) {
        result = Wait::kReady;
        break;
      }
      if (errno == EINPROGRESS) {
        result = WaitFor(POLLOUT, kConnectTimeoutMs);
        int error = 0;
        socklen_t len = sizeof(error);
        if (result == Wait::kReady &&
            (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0)) {
          result = Wait::kError;
        }
        if (result == Wait::kTimeout)
          result = Wait::kError;
      }
      if (result != Wait::kReady && result != Wait::kStopped) {
        close(fd_);
        fd_ = -1;
      }
    }
    freeaddrinfo(found);
    return result;
  }

  // Waits for what the TLS layer asks for after |result| of an SSL call;
  // kError when the call failed for good.
  Wait WaitForTls(int result, int timeout_ms) {
    switch (SSL_get_error(ssl_, result)) {
      case SSL_ERROR_WANT_READ:
        return WaitFor(POLLIN, timeout_ms);
      case SSL_ERROR_WANT_WRITE:
        return WaitFor(POLLOUT, timeout_ms);
      default:
        return Wait::kError;
    }
  }

  // Ends the connection of an attempt the relay refused, so that the next
  // attempt starts afresh.
  void CloseConnection() {
    if (ssl_)
      SSL_free(ssl_);
    ssl_ = nullptr;
    SSL_CTX_free(tls_);
    tls_ = nullptr;
    if (fd_ >= 0)
      close(fd_);
    fd_ = -1;
    buffer_.clear();
  }

  // The relay must prove to be |host| with a certificate that chains to the
  // system's store or to the configured file; nothing is sent before that.
  Wait StartTls(const std::string& host, std::string* failure) {
    tls_ = SSL_CTX_new(TLS_client_method());
    if (!tls_ || SSL_CTX_set_min_proto_version(tls_, TLS1_2_VERSION) != 1) {
      *failure = "no TLS context";
      return Wait::kError;
    }
    SSL_CTX_set_default_verify_paths(tls_);
    std::string trusted = TrustedCertificateFile();
    if (!trusted.empty() && SSL_CTX_load_verify_locations(tls_, trusted.c_str(), nullptr) != 1) {
      ERR_clear_error();
      *failure = "cannot read the trusted certificate file " + trusted;
      return Wait::kError;
    }
    SSL_CTX_set_verify(tls_, SSL_VERIFY_PEER, nullptr);
    ssl_ = SSL_new(tls_);
    if (!ssl_) {
      *failure = "no TLS session";
      return Wait::kError;
    }
    SSL_set_mode(ssl_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    X509_VERIFY_PARAM* check = SSL_get0_param(ssl_);
    in6_addr ip;
    bool numeric =
        inet_pton(AF_INET, host.c_str(), &ip) == 1 || inet_pton(AF_INET6, host.c_str(), &ip) == 1;
    if (numeric ? X509_VERIFY_PARAM_set1_ip_asc(check, host.c_str()) != 1
                : (SSL_set_tlsext_host_name(ssl_, host.c_str()) != 1 ||
                   SSL_set1_host(ssl_, host.c_str()) != 1)) {
      *failure = "bad relay name";
      return Wait::kError;
    }
    SSL_set_fd(ssl_, fd_);
    const auto deadline = Clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
    int result;
    while ((result = SSL_connect(ssl_)) != 1) {
      int left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
      Wait w = left > 0 ? WaitForTls(result, left) : Wait::kTimeout;
      if (w == Wait::kReady)
        continue;
      if (w == Wait::kError) {
        // The event's detail is short; the verdict is the part that matters.
        *failure =
            SSL_get_verify_result(ssl_) != X509_V_OK ? "relay not trusted" : "TLS handshake failed";
      } else if (w == Wait::kTimeout) {
        *failure = "TLS handshake timed out";
      }
      ERR_clear_error();
      return w == Wait::kStopped ? w : Wait::kError;
    }
    return Wait::kReady;
  }

  Wait SendAll(std::string_view data) {
    while (!data.empty()) {
      int n = SSL_write(ssl_, data.data(), static_cast<int>(data.size()));
      if (n > 0) {
        data.remove_prefix(static_cast<size_t>(n));
        continue;
      }
      Wait w = WaitForTls(n, kReplyTimeoutMs);
      if (w != Wait::kReady) {
        ERR_clear_error();
        return w == Wait::kTimeout ? Wait::kError : w;
      }
    }
    return Wait::kReady;
  }

  // Reads what is there into buffer_; kError on close or failure. kReady
  // may bring nothing when only part of a TLS record has come.
  Wait ReadSome(int timeout_ms) {
    if (SSL_pending(ssl_) == 0) {
      Wait w = WaitFor(POLLIN, timeout_ms);
      if (w != Wait::kReady)
        return w;
    }
    char chunk[4096];
    int n = SSL_read(ssl_, chunk, sizeof(chunk));
    if (n > 0) {
      buffer_.append(chunk, static_cast<size_t>(n));
      return Wait::kReady;
    }
    int error = SSL_get_error(ssl_, n);
    ERR_clear_error();
    return error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE ? Wait::kReady
                                                                         : Wait::kError;
  }

  bool RecordRoutes(uint32_t* count) {
    std::unique_ptr<machine::Store> store;
    if (machine::Store::Open(&store) != machine::Status::kOk)
      return false;
    machine::Store::Transaction txn(store.get());
    if (txn.status() != machine::Status::kOk)
      return false;
    size_t pos = 0;
    const std::string& text = params_.routes;
    while (pos < text.size()) {
      size_t eol = text.find('\n', pos);
      if (eol == std::string::npos)
        eol = text.size();
      std::string line = text.substr(pos, eol - pos);
      pos = eol + 1;
      char addr[64] = "", mask[64] = "";
      in_addr a, m;
      if (sscanf(line.c_str(), "%63s %63s", addr, mask) != 2 || inet_pton(AF_INET, addr, &a) != 1 ||
          inet_pton(AF_INET, mask, &m) != 1) {
        continue;  // not a route line
      }
      machine::RouteRecord route;
      route.destination = addr;
      route.mask = mask;
      route.gateway = kKelvoTunnelGateway;
      route.metric = 1;
      route.interface_address = kKelvoTunnelAddress;
      int64_t id = 0;
      machine::Status status = store->AddRoute(route, &id);
      if (status == machine::Status::kOk) {
        added_.emplace_back(addr, mask);
      } else if (status != machine::Status::kExists) {
        added_.clear();
        return false;
      }
      ++*count;
    }
    if (txn.Commit() != machine::Status::kOk) {
      added_.clear();
      return false;
    }
    return true;
  }

  void RemoveRoutes() {
    if (added_.empty())
      return;
    std::unique_ptr<machine::Store> store;
    if (machine::Store::Open(&store) != machine::Status::kOk)
      return;
    machine::Store::Transaction txn(store.get());
    for (const auto& [addr, mask] : added_) {
      int removed = 0;
      store->DeleteRoutes(addr, mask, &removed);
    }
    txn.Commit();
    added_.clear();
  }

  void Hangup(const char* name, uint32_t code, std::string_view detail) {
    RemoveRoutes();
    Emit(name, false, code, detail, false);
  }

  void Run() {
    // TLS writes with write(2), not send(MSG_NOSIGNAL): a relay that has gone
    // must end the session, not the process. SIGPIPE stays blocked on this
    // thread only.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    RunDial();
    if (fd_ >= 0)
      close(fd_);
    fd_ = -1;
    finished_ = true;
  }

  void RunDial() {
    std::string host;
    int port = 0;
    if (params_.protocol < kChooseProtocol || params_.protocol > 255 ||
        !IsToken(params_.uuid.c_str()) || !IsToken(params_.interim.c_str()) ||
        params_.routes.size() > kMaxRouteBytes ||
        !SplitServerAddress(params_.server, &host, &port)) {
      return Fail(kCodeInvalidParameter, "bad dial parameters");
    }
    if (port == 0)
      port = RelayPortFromEnvironment();

    // Protocol -1 chooses: the protocols are tried in a fixed order, and the
    // first the relay does not refuse as a protocol is the dial's.
    const bool choose = params_.protocol == kChooseProtocol;
    DialReply reply;
    for (int protocol = choose ? 0 : params_.protocol;; ++protocol) {
      params_.protocol = protocol;
      Wait w = Connect(host, port);
      if (w == Wait::kStopped)
        return Hangup("ACTIVEDISCONNECTED", kCodeOk, "stopped");
      if (w != Wait::kReady)
        return Fail(kCodeNodeUnreachable, "node unreachable");
      std::string failure;
      w = StartTls(host, &failure);
      if (w == Wait::kStopped)
        return Hangup("ACTIVEDISCONNECTED", kCodeOk, "stopped");
      if (w != Wait::kReady)
        return Fail(kCodeHandshakeFailed, failure);

      w = SendAll(EncodeDialRequest({protocol, params_.uuid, params_.interim, params_.routes}));
      if (w == Wait::kStopped)
        return Hangup("ACTIVEDISCONNECTED", kCodeOk, "stopped");
      if (w != Wait::kReady)
        return Fail(kCodeHandshakeFailed, "handshake not sent");

      auto deadline = Clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
      while (buffer_.find('\n') == std::string::npos) {
        int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
        w = left > 0 && buffer_.size() <= kMaxLineBytes ? ReadSome(left) : Wait::kError;
        if (w == Wait::kStopped)
          return Hangup("ACTIVEDISCONNECTED", kCodeOk, "stopped");
        if (w != Wait::kReady)
          return Fail(kCodeHandshakeFailed, "no answer from the relay");
      }
      std::string line = buffer_.substr(0, buffer_.find('\n'));
      buffer_.erase(0, line.size() + 1);
      reply = DialReply();
      if (ParseDialReply(line, &reply) != ParseStatus::kOk) {
        return Fail(kCodeHandshakeFailed, "unreadable answer");
      }
      if (reply.accepted)
        break;
      if (!choose || reply.code != kCodeProtocolRefused || protocol + 1 >= kProtocolCount)
        return Fail(reply.code, reply.reason);
      CloseConnection();
    }
    session_id_ = reply.session_id;
    Emit("CONNECTED", false, kCodeOk, "", true);

    uint32_t count = 0;
    if (!RecordRoutes(&count)) {
      SendAll("BYE\n");
      return Fail(kCodeRouteStoreFailed, "routes not recorded");
    }
    Emit("ADDROUTED", false, kCodeOk, "", true, count);

    const auto period = std::chrono::seconds(reply.keepalive_seconds);
    const auto silence = period * kMissedKeepAlives;
    auto last_heard = Clock::now();
    auto next_ping = last_heard + period;
    while (true) {
      auto now = Clock::now();
      if (now - last_heard >= silence) {
        return Hangup("PASSIVEDISCONNECTED", kCodeSessionLost, "keep-alive missed");
      }
      int wait_ms = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(next_ping - now).count());
      Wait w = ReadSome(std::max(wait_ms, 0));
      if (w == Wait::kStopped) {
        SendAll("BYE\n");
        return Hangup("ACTIVEDISCONNECTED", kCodeOk, "stopped");
      }
      if (w == Wait::kError) {
        return Hangup("PASSIVEDISCONNECTED", kCodeSessionLost, "connection lost");
      }
      if (w == Wait::kReady)
        last_heard = Clock::now();
      size_t eol;
      while ((eol = buffer_.find('\n')) != std::string::npos) {
        std::string message = buffer_.substr(0, eol);
        buffer_.erase(0, eol + 1);
        if (message.rfind("BYE", 0) == 0) {
          return Hangup("PASSIVEDISCONNECTED", kCodeEndedByRelay,
                        message.size() > 4 ? message.substr(4) : "ended by relay");
        }
      }
      if (buffer_.size() > kMaxLineBytes) {
        return Hangup("PASSIVEDISCONNECTED", kCodeSessionLost, "protocol violation");
      }
      if (Clock::now() >= next_ping) {
        if (SendAll("PING\n") == Wait::kError) {
          return Hangup("PASSIVEDISCONNECTED", kCodeSessionLost, "connection lost");
        }
        next_ping = Clock::now() + period;
      }
    }
  }

  Params params_;
  std::atomic<uint32_t>* sequence_;
  int stop_fd_ = -1;
  int fd_ = -1;
  SSL_CTX* tls_ = nullptr;
  SSL* ssl_ = nullptr;
  std::string buffer_;
  std::string session_id_;
  std::vector<std::pair<std::string, std::string>> added_;
  std::atomic<bool> stop_requested_{false};
  std::atomic<bool> silent_{false};
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

// The library's one state, as the outside library keeps it per process.
struct Engine {
  std::mutex mutex;
  bool created = false;
  bool initialised = false;
  std::atomic<uint32_t> sequence{0};
  std::unique_ptr<DialSession> current;

  // Called with |mutex| held.
  void EndCurrent(bool report) {
    if (!current)
      return;
    if (!current->finished())
      current->RequestStop(report);
    current->Join();
    current.reset();
  }
};

Engine& GetEngine() {
  static Engine* engine = new Engine();  // lives as long as the process
  return *engine;
}

}  // namespace
}  // namespace kelvonet

using kelvonet::GetEngine;

bool KelvoNet_createInstance() {
  std::lock_guard<std::mutex> lock(GetEngine().mutex);
  GetEngine().created = true;
  return true;
}

void KelvoNet_releaseInstance() {
  kelvonet::Engine& engine = GetEngine();
  std::lock_guard<std::mutex> lock(engine.mutex);
  engine.EndCurrent(false);
  engine.initialised = false;
  engine.created = false;
}

bool KelvoNet_Init() {
  kelvonet::Engine& engine = GetEngine();
  std::lock_guard<std::mutex> lock(engine.mutex);
  if (!engine.created)
    return false;
  engine.initialised = true;
  return true;
}

void KelvoNet_DeInit() {
  kelvonet::Engine& engine = GetEngine();
  std::lock_guard<std::mutex> lock(engine.mutex);
  engine.EndCurrent(false);
  engine.initialised = false;
}

int CreateDial(int protocol,
               const char* server,
               const char* uuid,
               const char* interim,
               const std::string& routes,
               KelvoEventCallback callback,
               unsigned long context) {
  kelvonet::Engine& engine = GetEngine();
  std::lock_guard<std::mutex> lock(engine.mutex);
  engine.EndCurrent(true);
  kelvonet::DialSession::Params params;
  params.protocol = protocol;
  params.server = server ? server : "";
  params.uuid = uuid ? uuid : "";
  params.interim = interim ? interim : "";
  params.routes = routes;
  params.callback = callback;
  params.context = context;
  engine.current = std::make_unique<kelvonet::DialSession>(std::move(params), &engine.sequence);
  if (!engine.initialised) {
    engine.current->StartFailed(kelvonet::kCodeNotInitialised, "not initialised");
    return kelvonet::kCodeNotInitialised;
  }
  if (!engine.current->can_stop()) {
    engine.current->StartFailed(kelvonet::kCodeOutOfResources, "out of resources");
    return kelvonet::kCodeOutOfResources;
  }
  engine.current->Start();
  return 0;
}

void StopDial() {
  kelvonet::Engine& engine = GetEngine();
  std::lock_guard<std::mutex> lock(engine.mutex);
  if (engine.current && !engine.current->finished())
    engine.current->RequestStop(true);
}

void SetEventsMutedForTesting(bool muted) {
  kelvonet::g_muted_for_testing.store(muted ? 1 : 0);
}

bool install_cert() {
  std::unique_ptr<machine::Store> store;
  return machine::Store::Open(&store) == machine::Status::kOk &&
         store->SetSetting(kelvonet::kCertificateSetting, kelvonet::kRelayRootCertificate) ==
             machine::Status::kOk;
}

int install_tap_driver() {
  std::unique_ptr<machine::Store> store;
  if (machine::Store::Open(&store) != machine::Status::kOk)
    return -1;
  machine::Store::Transaction txn(store.get());
  std::vector<machine::AdapterRecord> adapters;
  if (txn.status() != machine::Status::kOk ||
      store->ListAdapters(&adapters) != machine::Status::kOk) {
    return -1;
  }
  for (const machine::AdapterRecord& a : adapters) {
    if (a.name == kKelvoTapAdapterName)
      return 1;
  }
  machine::AdapterRecord tap;
  tap.name = kKelvoTapAdapterName;
  tap.description = kKelvoTapAdapterDescription;
  tap.mac = "00-FF-4B-56-4C-01";
  tap.addresses = std::string(kKelvoTunnelAddress) + "/255.255.0.0";
  tap.gateway = "0.0.0.0";
  int64_t id = 0;
  if (store->AddAdapter(tap, &id) != machine::Status::kOk || txn.Commit() != machine::Status::kOk) {
    return -1;
  }
  return 0;
}

bool remove_tap_driver() {
  std::unique_ptr<machine::Store> store;
  int removed = 0;
  return machine::Store::Open(&store) == machine::Status::kOk &&
         store->RemoveAdaptersNamed(kKelvoTapAdapterName, &removed) == machine::Status::kOk &&
         removed > 0;
}
