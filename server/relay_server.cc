#include "server/relay_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <spdlog/spdlog.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <set>

#include "kelvonet/dial_protocol.h"
#include "server/account_store.h"
#include "server/catalog_store.h"
#include "server/connection_guard.h"
#include "server/session_store.h"

namespace tern {

struct RelayServer::Session {
  int fd = -1;
  SSL* ssl = nullptr;  // used by the session's own thread only
  int wake_fd = -1;    // signalled when another thread ends the session
  int64_t epoch = 0;   // the account's token epoch when the dial was accepted
  std::string node;    // the local address the dialler reached
  int64_t id = 0;
  int64_t account_id = 0;
  std::mutex write_mutex;
  std::atomic<bool> finished{false};
  std::mutex reason_mutex;
  std::string end_reason;  // set when the relay ends the session itself
};

namespace {

int64_t NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool IsLoopback(const std::string& addr) {
  in_addr a;
  return inet_pton(AF_INET, addr.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

int Listen(const std::string& addr, int port, int* bound_port) {
  in_addr a;
  if (inet_pton(AF_INET, addr.c_str(), &a) != 1)
    return -1;
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return -1;
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr = a;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  socklen_t len = sizeof(sa);
  if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) != 0 || listen(fd, 1024) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
    close(fd);
    return -1;
  }
  *bound_port = ntohs(sa.sin_port);
  return fd;
}

// Reads what the peer sent next, waiting up to |timeout_ms| for it. False on
// close, error or time-out.
// A signal on |wake_fd| (when not -1) also ends the wait with false.
bool ReadMore(int fd, SSL* ssl, std::string* buffer, int timeout_ms, int wake_fd = -1) {
  if (SSL_pending(ssl) == 0) {
    pollfd p[2] = {{fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
    if (poll(p, wake_fd >= 0 ? 2 : 1, timeout_ms) <= 0 || p[1].revents)
      return false;
  }
  char chunk[16 * 1024];
  int n = SSL_read(ssl, chunk, sizeof(chunk));
  if (n <= 0)
    return false;
  buffer->append(chunk, static_cast<size_t>(n));
  return true;
}

void SetSocketTimeouts(int fd, int timeout_ms) {
  timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
}

int CountLines(const std::string& text) {
  int lines = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos)
      eol = text.size();
    if (eol > pos)
      ++lines;
    pos = eol + 1;
  }
  return lines;
}

}  // namespace

RelayServer::RelayServer(RelayConfig config)
    : config_(std::move(config)),
      accounts_(std::make_unique<AccountStore>(config_.db_path)),
      catalog_(std::make_unique<CatalogStore>(config_.db_path)),
      sessions_(std::make_unique<SessionStore>(config_.db_path)) {}

RelayServer::~RelayServer() {
  Stop();
  SSL_CTX_free(tls_);
}

bool RelayServer::Start(std::string* error) {
  tls_ = SSL_CTX_new(TLS_server_method());
  if (!tls_ || SSL_CTX_set_min_proto_version(tls_, TLS1_2_VERSION) != 1 ||
      SSL_CTX_use_certificate_chain_file(tls_, config_.cert_path.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(tls_, config_.key_path.c_str(), SSL_FILETYPE_PEM) != 1) {
    *error = "relay: cannot load the TLS certificate " + config_.cert_path;
    return false;
  }
  GuardLimits limits;
  limits.max_total = config_.max_connections;
  limits.max_per_address = config_.max_per_address;
  limits.max_armed = config_.max_handshakes;
  limits.deadline = std::chrono::milliseconds(config_.handshake_timeout_ms);
  guard_ = std::make_unique<ConnectionGuard>("relay", limits);
  sessions_->EndAllOpen("relay restarted", NowSeconds());
  std::vector<std::string> addresses{config_.listen};
  std::vector<NodeRecord> nodes;
  if (catalog_->AllNodes(&nodes) != StoreResult::kOk) {
    *error = "cannot read the node list";
    return false;
  }
  std::set<std::string> seen{config_.listen};
  for (const NodeRecord& n : nodes) {
    if (IsLoopback(n.addr_ip) && seen.insert(n.addr_ip).second) {
      addresses.push_back(n.addr_ip);
    }
  }
  int port = config_.port;
  for (size_t i = 0; i < addresses.size(); ++i) {
    int bound = 0;
    int fd = Listen(addresses[i], port, &bound);
    if (fd < 0) {
      if (i == 0) {
        *error = "cannot listen for relay sessions on " + addresses[i] + ":" + std::to_string(port);
        for (int l : listeners_)
          close(l);
        listeners_.clear();
        return false;
      }
      spdlog::warn("relay: cannot listen on {}:{}; that node is unreachable", addresses[i], port);
      continue;
    }
    port = bound;
    listeners_.push_back(fd);
  }
  port_ = port;
  wake_fd_ = eventfd(0, EFD_CLOEXEC);
  if (wake_fd_ < 0) {
    *error = "cannot create the relay's wake-up event";
    return false;
  }
  accept_thread_ = std::thread([this] { AcceptLoop(); });
  monitor_thread_ = std::thread([this] { MonitorLoop(); });
  return true;
}

void RelayServer::Stop() {
  if (stopping_.exchange(true))
    return;
  if (wake_fd_ >= 0) {
    uint64_t one = 1;
    (void)!write(wake_fd_, &one, sizeof(one));
  }
  monitor_cv_.notify_all();
  if (accept_thread_.joinable())
    accept_thread_.join();
  if (monitor_thread_.joinable())
    monitor_thread_.join();
  std::vector<std::pair<std::thread, std::shared_ptr<Session>>> workers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [id, session] : active_) {
      EndSession(session.get(), "relay stopped");
    }
    // Sessions still in their handshake are cut too.
    for (auto& w : workers_) {
      if (w.second->fd >= 0 && !active_.count(w.second->id))
        shutdown(w.second->fd, SHUT_RDWR);
    }
    workers.swap(workers_);
  }
  for (auto& w : workers)
    w.first.join();
  for (int fd : listeners_)
    close(fd);
  listeners_.clear();
  if (wake_fd_ >= 0)
    close(wake_fd_);
  wake_fd_ = -1;
}

void RelayServer::AcceptLoop() {
  std::vector<pollfd> fds;
  for (int fd : listeners_)
    fds.push_back({fd, POLLIN, 0});
  fds.push_back({wake_fd_, POLLIN, 0});
  while (!stopping_) {
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR)
        continue;
      spdlog::error("relay: poll failed");
      return;
    }
    if (fds.back().revents)
      return;
    for (size_t i = 0; i + 1 < fds.size(); ++i) {
      if (!(fds[i].revents & POLLIN))
        continue;
      int fd = accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0)
        continue;
      // Refused before a thread or a TLS session is spent on it.
      if (!guard_->Admit(fd)) {
        close(fd);
        continue;
      }
      auto session = std::make_shared<Session>();
      session->fd = fd;
      sockaddr_in local{};
      socklen_t len = sizeof(local);
      char text[INET_ADDRSTRLEN] = "";
      if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) == 0) {
        inet_ntop(AF_INET, &local.sin_addr, text, sizeof(text));
      }
      session->node = text;
      ReapFinished();
      std::lock_guard<std::mutex> lock(mutex_);
      workers_.emplace_back(std::thread([this, session] { RunSession(session); }), session);
    }
  }
}

void RelayServer::ReapFinished() {
  std::vector<std::thread> done;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      if (it->second->finished) {
        done.push_back(std::move(it->first));
        it = workers_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (std::thread& t : done)
    t.join();
}

void RelayServer::MonitorLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    // Operator drops arrive through the store; a second is quick enough.
    monitor_cv_.wait_for(lock, std::chrono::seconds(1));
    if (stopping_)
      break;
    lock.unlock();
    std::vector<int64_t> ids;
    sessions_->DropRequested(&ids);
    EndRevoked();
    lock.lock();
    for (int64_t id : ids) {
      auto it = active_.find(id);
      if (it != active_.end()) {
        EndSession(it->second.get(), "dropped by operator");
      } else {
        // Not ours (an earlier run's row): close the record.
        sessions_->End(id, "dropped by operator", NowSeconds());
      }
    }
  }
}

void RelayServer::EndRevoked() {
  std::vector<std::pair<int64_t, std::shared_ptr<Session>>> active;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    active.assign(active_.begin(), active_.end());
  }
  for (auto& [id, session] : active) {
    AccountRecord account;
    StoreResult found = accounts_->FindById(session->account_id, &account);
    if (found == StoreResult::kNotFound ||
        (found == StoreResult::kOk && account.token_epoch != session->epoch)) {
      std::lock_guard<std::mutex> lock(mutex_);
      EndSession(session.get(), "credentials revoked");
    }
  }
}

bool RelayServer::Send(Session* session, const std::string& text) {
  std::lock_guard<std::mutex> lock(session->write_mutex);
  if (!session->ssl)
    return false;
  return SSL_write(session->ssl, text.data(), static_cast<int>(text.size())) ==
         static_cast<int>(text.size());
}

// Called with mutex_ held. TLS is not for two threads at once, so the
// session's own thread says BYE: this only wakes its wait.
void RelayServer::EndSession(Session* session, const std::string& reason) {
  {
    std::lock_guard<std::mutex> lock(session->reason_mutex);
    if (!session->end_reason.empty())
      return;
    session->end_reason = reason;
  }
  uint64_t one = 1;
  if (session->wake_fd >= 0)
    (void)!write(session->wake_fd, &one, sizeof(one));
}

void RelayServer::RunSession(std::shared_ptr<Session> session) {
  std::string buffer;
  kelvonet::DialRequest request;
  auto refuse = [&](uint32_t code, const char* reason) {
    spdlog::info("relay {}: refused ({} {})", session->node, code, reason);
    Send(session.get(), kelvonet::EncodeRefusal(code, reason));
  };
  auto finish = [&] {
    if (session->ssl)
      SSL_free(session->ssl);
    session->ssl = nullptr;
    guard_->Release(session->fd);
    std::lock_guard<std::mutex> lock(mutex_);
    if (session->wake_fd >= 0)
      close(session->wake_fd);
    session->wake_fd = -1;
    close(session->fd);
    session->fd = -1;
    session->finished = true;
  };

  // The guard ends the connection at its deadline, whatever it waits for;
  // the socket time-outs only keep one read or write from waiting past it.
  SetSocketTimeouts(session->fd, config_.handshake_timeout_ms);
  session->ssl = SSL_new(tls_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    session->wake_fd = eventfd(0, EFD_CLOEXEC);
  }
  if (!session->ssl || session->wake_fd < 0 || SSL_set_fd(session->ssl, session->fd) != 1) {
    return finish();
  }
  if (SSL_accept(session->ssl) != 1) {
    ERR_clear_error();
    spdlog::info("relay {}: refused a connection without a TLS handshake", session->node);
    return finish();
  }

  auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(config_.handshake_timeout_ms);
  auto read_until = [&](auto ready) {
    while (!ready()) {
      int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      deadline - std::chrono::steady_clock::now())
                                      .count());
      if (left <= 0 || stopping_ || !ReadMore(session->fd, session->ssl, &buffer, left))
        return false;
    }
    return true;
  };
  size_t header_bytes = 0;
  size_t route_bytes = 0;
  kelvonet::ParseStatus status = kelvonet::ParseStatus::kIncomplete;
  if (!read_until([&] {
        status = kelvonet::ParseDialHeader(buffer, &request, &header_bytes, &route_bytes);
        return status != kelvonet::ParseStatus::kIncomplete;
      })) {
    return finish();
  }
  if (status != kelvonet::ParseStatus::kOk) {
    refuse(kelvonet::kCodeHandshakeFailed, "malformed handshake");
    return finish();
  }

  int offered = (1 << kelvonet::kProtocolCount) - 1;
  std::vector<NodeRecord> nodes;
  if (catalog_->AllNodes(&nodes) == StoreResult::kOk) {
    for (const NodeRecord& n : nodes) {
      if (n.addr_ip == session->node)
        offered = n.protocols;
    }
  }
  if (request.protocol >= kelvonet::kProtocolCount || !(offered & (1 << request.protocol))) {
    refuse(kelvonet::kCodeProtocolRefused, "protocol not offered by this node");
    return finish();
  }
  AccountRecord account;
  StoreResult checked =
      accounts_->CheckInterim(request.uuid, request.interim, NowSeconds(), &account);
  if (checked != StoreResult::kOk) {
    refuse(kelvonet::kCodeAuthenticationFailed, "credentials refused");
    return finish();
  }
  if (account.deadline <= NowSeconds()) {
    refuse(kelvonet::kCodeAuthenticationFailed, "no membership");
    return finish();
  }
  // Only now is the route text worth reading.
  if (!read_until([&] { return buffer.size() - header_bytes >= route_bytes; })) {
    return finish();
  }
  request.routes = buffer.substr(header_bytes, route_bytes);
  buffer.erase(0, header_bytes + route_bytes);
  guard_->Disarm(session->fd);
  SetSocketTimeouts(session->fd, config_.keepalive_seconds * kelvonet::kMissedKeepAlives * 1000);
  StoreResult accepted = sessions_->AcceptDial(account.id, NowMs(), config_.dial_interval_ms);
  if (accepted == StoreResult::kTooFrequent) {
    refuse(kelvonet::kCodeDialTooFrequent, "dialling too frequently");
    return finish();
  }
  SessionRecord record;
  record.account_id = account.id;
  record.number = account.number;
  record.node = session->node;
  record.protocol = request.protocol;
  record.route_count = CountLines(request.routes);
  record.started_at = NowSeconds();
  if (accepted != StoreResult::kOk || sessions_->Start(record, &session->id) != StoreResult::kOk) {
    refuse(kelvonet::kCodeHandshakeFailed, "relay store unavailable");
    return finish();
  }
  session->account_id = account.id;
  session->epoch = account.token_epoch;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // One tunnel per account: a newer dial replaces the older session.
    for (auto& [id, other] : active_) {
      if (other->account_id == account.id)
        EndSession(other.get(), "replaced by a newer dial");
    }
    active_[session->id] = session;
  }
  spdlog::info("relay {}: session {} for {} (protocol {}, {} routes)", session->node, session->id,
               account.number, request.protocol, record.route_count);
  Send(session.get(),
       kelvonet::EncodeAccept(std::to_string(session->id), config_.keepalive_seconds));

  std::string reason;
  int silence_ms = config_.keepalive_seconds * kelvonet::kMissedKeepAlives * 1000;
  while (reason.empty()) {
    size_t eol;
    while (reason.empty() && (eol = buffer.find('\n')) != std::string::npos) {
      std::string line = buffer.substr(0, eol);
      buffer.erase(0, eol + 1);
      if (line == "PING") {
        sessions_->Touch(session->id, NowSeconds());
        Send(session.get(), "PONG\n");
      } else if (line == "BYE") {
        reason = "hung up by the dialler";
      }
    }
    if (!reason.empty())
      break;
    if (buffer.size() > kelvonet::kMaxLineBytes) {
      reason = "protocol violation";
    } else if (!ReadMore(session->fd, session->ssl, &buffer, silence_ms, session->wake_fd)) {
      std::lock_guard<std::mutex> lock(session->reason_mutex);
      reason = session->end_reason.empty() ? "connection lost" : session->end_reason;
      if (!session->end_reason.empty())
        Send(session.get(), "BYE " + reason + "\n");
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    active_.erase(session->id);
  }
  sessions_->End(session->id, reason, NowSeconds());
  spdlog::info("relay {}: session {} ended: {}", session->node, session->id, reason);
  finish();
}

}  // namespace tern
