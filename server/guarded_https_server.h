// The HTTPS listener of tern-service: cpp-httplib's TLS server with the
// protections it lacks on its own. Every connection is admitted through a
// ConnectionGuard when its TLS handshake starts, and must finish the
// handshake, and later each request's headers, before the guard's deadline.
// Bodies without a length (chunked) are refused before any of them is read,
// and the connection is ended after the refusal. Connection threads grow on
// demand up to the connection cap instead of a fixed pool, so slow clients
// cannot hold every thread while a normal request waits.
//
// The pre-routing handler and the logger belong to this class; callers set
// the other handlers as usual.
#ifndef SERVER_GUARDED_HTTPS_SERVER_H_
#define SERVER_GUARDED_HTTPS_SERVER_H_

#include <httplib.h>

#include <memory>
#include <string>

#include "server/connection_guard.h"

namespace tern {

class GuardedHttpsServer : public httplib::SSLServer {
 public:
  GuardedHttpsServer(const std::string& cert_path, const std::string& key_path, GuardLimits limits);
  ~GuardedHttpsServer() override;

  // After binding: httplib listens with a backlog of 5, too short for a
  // burst of clients.
  void WidenBacklog(int backlog);

  ConnectionGuard& guard() { return *guard_; }

 private:
  std::unique_ptr<ConnectionGuard> guard_;
};

}  // namespace tern

#endif  // SERVER_GUARDED_HTTPS_SERVER_H_
