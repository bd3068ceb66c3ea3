// The relay nodes of tern-service: a TCP listener on the service's listen
// address and on every loopback address of the node list, all on one port,
// speaking the dial protocol of kelvonet/dial_protocol.h. A session is
// accepted when its credentials are a live interim of the uuid's account,
// its protocol is offered by the node, and the account's previous accepted
// dial is at least dial_interval_ms old (20 s unless configured). Sessions are recorded in the
// store; the admin command ends one by marking it there.
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

namespace tern {

class AccountStore;
class CatalogStore;
class SessionStore;

struct RelayConfig {
  std::string db_path;
  std::string listen = "127.0.0.1";
  int port = 8444;  // 0 picks a free port
  int keepalive_seconds = 5;
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
  bool Send(Session* session, const std::string& text);
  void EndSession(Session* session, const std::string& reason);
  void ReapFinished();

  RelayConfig config_;
  std::unique_ptr<AccountStore> accounts_;
  std::unique_ptr<CatalogStore> catalog_;
  std::unique_ptr<SessionStore> sessions_;
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
