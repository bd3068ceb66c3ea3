// The relay nodes of tern-service: a TLS listener on the service's listen
// address and on every loopback address of the node list, all on one port,
// speaking the dial protocol of kelvonet/dial_protocol.h inside TLS. A
// session is accepted when its credentials are a live interim of the uuid's
// account (a new password revokes them), the account is a member, its
// protocol is offered by the node, and the account's previous accepted dial
// is at least dial_interval_ms old (20 s unless configured); all of this is checked on the first
// line, before any route text is read. Connections are capped per address, in all and while in
// their handshake, and the whole handshake has a deadline. Sessions are recorded in the store; the
// admin command ends one by marking it there, and a session whose account's credentials were
// revoked ends within a second.
#ifndef SERVER_RELAY_SERVER_H_
#define SERVER_RELAY_SERVER_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct ssl_ctx_st SSL_CTX;

namespace tern {

class AccountStore;
class ConnectionGuard;
class CatalogStore;
class SessionStore;

struct RelayConfig {
  std::string db_path;
  std::string listen = "127.0.0.1";
  int port = 8444;  // 0 picks a free port
  int keepalive_seconds = 5;
  std::string cert_path;
  std::string key_path;
  int max_connections = 512;
  int max_per_address = 64;
  int max_handshakes = 32;
  int handshake_timeout_ms = 10000;
  int64_t dial_interval_ms = 20000;  // least time between two accepted dials
};

class RelayServer {
 public:
  explicit RelayServer(RelayConfig config);
  ~RelayServer();
  RelayServer(const RelayServer&) = delete;
  RelayServer& operator=(const RelayServer&) = delete;

  // Called on the main thread.
  bool Start(std::string* error);
  int port() const { return port_; }
  // Ends every session and joins every thread. Called on the main thread.
  void Stop();

 private:
  struct Session;

  void AcceptLoop();
  void MonitorLoop();
  void RunSession(std::shared_ptr<Session> session);
  // Called on the session's own thread only.
  bool Send(Session* session, const std::string& text);
  // Asks the session's thread to say BYE and close; called with mutex_ held.
  void EndSession(Session* session, const std::string& reason);
  void EndRevoked();
  void ReapFinished();

  RelayConfig config_;
  std::unique_ptr<AccountStore> accounts_;
  std::unique_ptr<CatalogStore> catalog_;
  std::unique_ptr<SessionStore> sessions_;
  std::unique_ptr<ConnectionGuard> guard_;
  SSL_CTX* tls_ = nullptr;
  std::vector<int> listeners_;
  int wake_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread accept_thread_;
  std::thread monitor_thread_;
  std::mutex mutex_;  // guards the members below
  std::condition_variable monitor_cv_;
  std::map<int64_t, std::shared_ptr<Session>> active_;  // by session id
  std::vector<std::pair<std::thread, std::shared_ptr<Session>>> workers_;
};

}  // namespace tern

#endif  // SERVER_RELAY_SERVER_H_
