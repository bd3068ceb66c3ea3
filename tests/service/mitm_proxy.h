// A man in the middle for tests: a TLS listener on 127.0.0.1 with a
// certificate of its own (naming 127.0.0.1, trusted by nobody) that
// forwards each connection to a TLS upstream and keeps every byte it could
// read in plain text from either side.
#ifndef TESTS_SERVICE_MITM_PROXY_H_
#define TESTS_SERVICE_MITM_PROXY_H_

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct ssl_ctx_st SSL_CTX;

namespace tern {

class MitmProxy {
 public:
  MitmProxy(std::string upstream_address, int upstream_port);
  ~MitmProxy();
  MitmProxy(const MitmProxy&) = delete;
  MitmProxy& operator=(const MitmProxy&) = delete;

  bool started() const { return port_ > 0; }
  int port() const { return port_; }
  std::string base_url() const { return "https://127.0.0.1:" + std::to_string(port_); }

  // Everything read in plain text so far, both directions.
  std::string Seen();
  int connections() const { return connections_; }
  int handshakes() const { return handshakes_; }

 private:
  void Accept();
  void Serve(int client);
  void Record(const char* data, size_t size);

  std::string upstream_address_;
  int upstream_port_;
  SSL_CTX* server_context_ = nullptr;
  SSL_CTX* client_context_ = nullptr;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::atomic<int> handshakes_{0};
  std::thread acceptor_;
  std::mutex mutex_;  // guards the members below
  std::vector<std::thread> workers_;
  std::vector<int> open_fds_;
  std::string seen_;
};

}  // namespace tern

#endif  // TESTS_SERVICE_MITM_PROXY_H_
