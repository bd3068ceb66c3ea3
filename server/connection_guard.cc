#include "server/connection_guard.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <spdlog/spdlog.h>
#include <sys/socket.h>

namespace tern {

bool PeerOf(int fd, std::string* address, int* port) {
  sockaddr_storage peer{};
  socklen_t length = sizeof(peer);
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
    return false;
  char text[INET6_ADDRSTRLEN] = {};
  if (peer.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&peer);
    inet_ntop(AF_INET, &v4->sin_addr, text, sizeof(text));
    *port = ntohs(v4->sin_port);
  } else if (peer.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&peer);
    inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof(text));
    *port = ntohs(v6->sin6_port);
  } else {
    return false;
  }
  *address = text;
  return true;
}

ConnectionGuard::ConnectionGuard(std::string name, GuardLimits limits)
    : name_(std::move(name)), limits_(limits), watcher_([this] { Watch(); }) {}

ConnectionGuard::~ConnectionGuard() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  watcher_.join();
}

bool ConnectionGuard::Admit(int fd) {
  Entry entry;
  if (!PeerOf(fd, &entry.address, &entry.port))
    return false;
  std::lock_guard<std::mutex> hold(mutex_);
  int& from_address = per_address_[entry.address];
  const char* refusal = nullptr;
  if (static_cast<int>(entries_.size()) >= limits_.max_total)
    refusal = "connections in all";
  else if (from_address >= limits_.max_per_address)
    refusal = "connections from one address";
  else if (armed_ >= limits_.max_armed)
    refusal = "handshakes in progress";
  if (refusal) {
    if (from_address == 0)
      per_address_.erase(entry.address);
    spdlog::warn("{}: refused {}: too many {}", name_, entry.address, refusal);
    return false;
  }
  ++from_address;
  ++armed_;
  entry.deadline = Clock::now() + limits_.deadline;
  bool earliest = true;
  for (const auto& [other_fd, other] : entries_) {
    if (other.armed && other.deadline <= entry.deadline) {
      earliest = false;
      break;
    }
  }
  entries_[fd] = std::move(entry);
  if (earliest)
    changed_.notify_all();
  return true;
}

void ConnectionGuard::Release(int fd) {
  std::lock_guard<std::mutex> hold(mutex_);
  auto it = entries_.find(fd);
  if (it == entries_.end())
    return;
  if (it->second.armed)
    --armed_;
  auto count = per_address_.find(it->second.address);
  if (count != per_address_.end() && --count->second <= 0)
    per_address_.erase(count);
  entries_.erase(it);
}

void ConnectionGuard::DisarmLocked(int fd) {
  auto it = entries_.find(fd);
  if (it == entries_.end() || !it->second.armed)
    return;
  it->second.armed = false;
  --armed_;
}

void ConnectionGuard::ArmLocked(int fd) {
  auto it = entries_.find(fd);
  if (it == entries_.end())
    return;
  if (!it->second.armed)
    ++armed_;
  it->second.armed = true;
  it->second.deadline = Clock::now() + limits_.deadline;
  changed_.notify_all();
}

void ConnectionGuard::Disarm(int fd) {
  std::lock_guard<std::mutex> hold(mutex_);
  DisarmLocked(fd);
}

void ConnectionGuard::Arm(int fd) {
  std::lock_guard<std::mutex> hold(mutex_);
  ArmLocked(fd);
}

int ConnectionGuard::FindPeerLocked(const std::string& address, int port) const {
  for (const auto& [fd, entry] : entries_) {
    if (entry.port == port && entry.address == address)
      return fd;
  }
  return -1;
}

void ConnectionGuard::DisarmPeer(const std::string& address, int port) {
  std::lock_guard<std::mutex> hold(mutex_);
  DisarmLocked(FindPeerLocked(address, port));
}

void ConnectionGuard::ArmPeer(const std::string& address, int port) {
  std::lock_guard<std::mutex> hold(mutex_);
  ArmLocked(FindPeerLocked(address, port));
}

void ConnectionGuard::EndPeer(const std::string& address, int port) {
  std::lock_guard<std::mutex> hold(mutex_);
  int fd = FindPeerLocked(address, port);
  if (fd >= 0)
    shutdown(fd, SHUT_RDWR);
}

int ConnectionGuard::total() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return static_cast<int>(entries_.size());
}

void ConnectionGuard::Watch() {
  std::unique_lock<std::mutex> hold(mutex_);
  while (!stopping_) {
    Clock::time_point now = Clock::now();
    Clock::time_point next = Clock::time_point::max();
    for (auto& [fd, entry] : entries_) {
      if (!entry.armed)
        continue;
      if (entry.deadline <= now) {
        // The socket stays registered (and open) until its owner releases
        // it, so this never reaches a reused descriptor.
        shutdown(fd, SHUT_RDWR);
        entry.armed = false;
        --armed_;
        spdlog::warn("{}: ended a connection from {}: not ready within {} ms", name_, entry.address,
                     limits_.deadline.count());
      } else if (entry.deadline < next) {
        next = entry.deadline;
      }
    }
    if (next == Clock::time_point::max())
      changed_.wait(hold);
    else
      changed_.wait_until(hold, next);
  }
}

}  // namespace tern
