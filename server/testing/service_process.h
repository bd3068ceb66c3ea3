// Test helpers: a tern-service child process on free loopback ports with a
// data directory of its own, its admin command, and a small HTTPS client.
#ifndef SERVER_TESTING_SERVICE_PROCESS_H_
#define SERVER_TESTING_SERVICE_PROCESS_H_

#include <sys/types.h>

#include <string>
#include <vector>

namespace tern {

// A fresh directory under $TMPDIR, removed with everything in it.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct ProcessResult {
  int exit_code = -1;
  std::string out;
};

// Runs |argv| to its end and collects its standard output.
ProcessResult RunProcess(const std::vector<std::string>& argv);

std::string TernServicePath();

class ServiceProcess {
 public:
  explicit ServiceProcess(std::string data_dir);
  ~ServiceProcess();
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  // Starts with --port 0 --relay-port 0 and |extra| options; waits until it
  // has printed its ports.
  bool Start(const std::vector<std::string>& extra = {});
  // SIGTERM and wait; true when it exited with status 0.
  bool Stop();

  ProcessResult Admin(const std::vector<std::string>& args) const;

  pid_t pid() const { return pid_; }
  int https_port() const { return https_port_; }
  int relay_port() const { return relay_port_; }
  std::string base_url() const { return "https://127.0.0.1:" + std::to_string(https_port_); }
  const std::string& data_dir() const { return data_dir_; }
  // The certificate clients must trust (the service's own self-signed one).
  std::string certificate_path() const { return data_dir_ + "/tls_cert.pem"; }

 private:
  std::string data_dir_;
  pid_t pid_ = -1;
  int https_port_ = 0;
  int relay_port_ = 0;
};

struct HttpAnswer {
  long status = 0;  // HTTP status, 0 when the transfer failed
  std::string body;
  bool has_token = false;  // a "Json-Web-Token" header came back
  std::string token;
  // The envelope, when the body is one.
  bool envelope = false;
  int code = 0;
  std::string info;
};

class HttpsClient {
 public:
  // Verifies the service against |ca_file| alone; empty: no verification.
  explicit HttpsClient(std::string base_url, std::string ca_file = "");
  HttpAnswer Get(const std::string& path, const std::string& token = "") const;
  HttpAnswer Post(const std::string& path,
                  const std::string& body,
                  const std::string& token = "",
                  const std::string& content_type = "application/json;charset=UTF-8") const;
  // Any method, for the method checks.
  HttpAnswer Request(const std::string& method,
                     const std::string& path,
                     const std::string& body,
                     const std::string& token,
                     const std::string& content_type) const;

 private:
  std::string base_url_;
  std::string ca_file_;
};

}  // namespace tern

#endif  // SERVER_TESTING_SERVICE_PROCESS_H_
