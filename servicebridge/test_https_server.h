// An HTTPS server on 127.0.0.1 for tests: a certificate made at start-up
// (clients trust it through WriteCertificate and "ca_file"), a canned answer
// per path, and a record of every request it was sent.

#ifndef SERVICEBRIDGE_TEST_HTTPS_SERVER_H_
#define SERVICEBRIDGE_TEST_HTTPS_SERVER_H_

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class SSLServer;
}

namespace servicebridge {

struct RecordedRequest {
  std::string method;
  std::string target;  // Path and query as sent.
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // The first header of that name (any letter case), or "<none>".
  std::string Header(const std::string& name) const;
  bool HasHeader(const std::string& name) const;
};

struct CannedAnswer {
  int status = 200;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  // Held back this long (or until the server stops) before answering.
  std::chrono::milliseconds delay{0};
};

class TestHttpsServer {
 public:
  TestHttpsServer();
  ~TestHttpsServer();

  bool started() const { return port_ > 0; }
  int port() const { return port_; }
  std::string base_url() const;
  // The self-signed certificate, PEM, written to `path`.
  bool WriteCertificate(const std::string& path) const;
  const std::string& certificate_pem() const { return certificate_pem_; }

  // Answers requests for `path` (no query) with `answer`; other paths get 404.
  void Answer(const std::string& path, CannedAnswer answer);
  void Answer(const std::string& path, int status, std::string body);

  std::vector<RecordedRequest> Requests();
  RecordedRequest LastRequest();
  void ClearRequests();

 private:
  void Handle(const void* request, void* response);

  std::unique_ptr<httplib::SSLServer> server_;
  std::thread thread_;
  int port_ = 0;
  std::string certificate_pem_;

  std::mutex lock_;
  std::condition_variable running_changed_;
  bool running_ = false;
  bool stopping_ = false;
  std::map<std::string, CannedAnswer> answers_;
  std::vector<RecordedRequest> requests_;
};

}  // namespace servicebridge

#endif  // SERVICEBRIDGE_TEST_HTTPS_SERVER_H_
