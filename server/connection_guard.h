// Keeps a few slow or greedy clients from taking a server down: admits a
// connection only within a cap in all, a cap per client address and a cap
// on connections still in their handshake, and ends every connection whose
// handshake (or request headers) is not complete by its deadline.
//
// Connections are known by their socket. A connection is "armed" while its
// deadline runs: from Admit until Disarm, and again after Arm. Ending one
// means shutdown(2) on its socket, which wakes whichever thread reads it; the
// owner still closes the socket, after Release.
#ifndef SERVER_CONNECTION_GUARD_H_
#define SERVER_CONNECTION_GUARD_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace tern {

struct GuardLimits {
  int max_total = 256;
  int max_per_address = 32;
  int max_armed = 256;  // connections admitted and not yet disarmed
  std::chrono::milliseconds deadline{10000};
};

class ConnectionGuard {
 public:
  // |name| prefixes the log lines ("https", "relay").
  ConnectionGuard(std::string name, GuardLimits limits);
  ~ConnectionGuard();
  ConnectionGuard(const ConnectionGuard&) = delete;
  ConnectionGuard& operator=(const ConnectionGuard&) = delete;

  // Registers |fd| armed. False (and nothing registered) when a cap is
  // reached; the caller then ends the connection.
  bool Admit(int fd);
  // Forgets |fd|; call before closing it.
  void Release(int fd);
  // The handshake or headers are complete: stop the deadline.
  void Disarm(int fd);
  // Waiting for the next request: a new deadline from now.
  void Arm(int fd);
  // The same by the peer's address and port, for code that only knows those.
  void DisarmPeer(const std::string& address, int port);
  void ArmPeer(const std::string& address, int port);
  // Ends the connection now (shutdown), e.g. after a refusal it cannot read past.
  void EndPeer(const std::string& address, int port);

  int total() const;

 private:
  struct Entry {
    std::string address;
    int port = 0;
    bool armed = true;
    std::chrono::steady_clock::time_point deadline;
  };
  using Clock = std::chrono::steady_clock;

  void Watch();
  int FindPeerLocked(const std::string& address, int port) const;
  void DisarmLocked(int fd);
  void ArmLocked(int fd);

  const std::string name_;
  const GuardLimits limits_;
  mutable std::mutex mutex_;  // guards everything below
  std::condition_variable changed_;
  bool stopping_ = false;
  std::map<int, Entry> entries_;  // by socket
  std::map<std::string, int> per_address_;
  int armed_ = 0;
  std::thread watcher_;
};

// The peer of a connected socket as text ("127.0.0.1", "::1") and port.
bool PeerOf(int fd, std::string* address, int* port);

}  // namespace tern

#endif  // SERVER_CONNECTION_GUARD_H_
