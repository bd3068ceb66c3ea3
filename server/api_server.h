// The HTTPS side of tern-service: the account, node and billing paths in one
// server. Every answer is the JSON envelope {"code", "info", "data"}; new
// access tokens travel in the "Json-Web-Token" response header and come back
// in the "json-web-token" request header.
#ifndef SERVER_API_SERVER_H_
#define SERVER_API_SERVER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Request;
class Response;
}  // namespace httplib

namespace tern {

class GuardedHttpsServer;
class KeyMaterial;
class AccountStore;
class CatalogStore;
class BillingStore;
class TokenSigner;
struct AccountRecord;

// Envelope codes of the answers.
enum ApiCode {
  kApiOk = 200,
  kApiBadRequest = 400,
  kApiAccountExists = 101,
  kApiBadNumber = 102,
  kApiBadSmsCode = 103,
  kApiBadPasswordFormat = 104,
  kApiSmsTooFrequent = 105,
  kApiPasswordUnreadable = 106,
  kApiSuspicious = 110,
  kApiUnknownAccount = 112,
  kApiWrongPassword = 113,
  kApiUnknownGoods = 120,
  kApiUnknownOrder = 121,
  kApiUnknownRegion = 130,
  kApiTokenMissing = 401,
  kApiTokenInvalid = 402,
  kApiTokenExpired = 403,
  kApiNotFound = 404,
  kApiMethodNotAllowed = 405,
  kApiTooLarge = 413,
  kApiServerError = 500,
};

struct ApiConfig {
  std::string db_path;
  std::string listen = "127.0.0.1";
  int port = 8443;
  std::string cert_path;
  std::string key_path;
  std::string package_path;  // served under /package/<file name>
  int64_t pay_after = -1;
  int64_t token_lifetime = 7 * 24 * 3600;
  int sms_interval = 30;
  size_t max_body = 64 * 1024;
  std::string public_url;  // base of the package address; empty: https://<listen>:<port>
  int max_connections = 512;
  int max_per_address = 64;
  int header_timeout_ms = 10000;  // TLS handshake, and each request's headers
};

class ApiServer {
 public:
  ApiServer(ApiConfig config, const KeyMaterial* keys);
  ~ApiServer();
  ApiServer(const ApiServer&) = delete;
  ApiServer& operator=(const ApiServer&) = delete;

  // Binds and starts serving on a thread of its own. Called on the main
  // thread.
  bool Start(std::string* error);
  int port() const { return port_; }
  // Called on the main thread.
  void Stop();

  struct Reply;

 private:
  void Dispatch(const httplib::Request& req, httplib::Response& res);
  void Handle(const std::string& path, const httplib::Request& req, Reply* reply);
  bool Authenticate(const httplib::Request& req, Reply* reply, AccountRecord* account);
  std::string IssueToken(const AccountRecord& account) const;
  void SettleDuePayments();

  void SignUp(const httplib::Request& req, Reply* reply);
  void SignIn(const httplib::Request& req, Reply* reply);
  void Shortcut(const httplib::Request& req, Reply* reply);
  void ResetPassword(const httplib::Request& req, Reply* reply);
  void SendCaptcha(const httplib::Request& req, Reply* reply);
  void Interim(const httplib::Request& req, Reply* reply);
  void PublicKey(const httplib::Request& req, Reply* reply);
  void AssignNodes(const httplib::Request& req, Reply* reply, bool direct);
  void SyncRoutes(const httplib::Request& req, Reply* reply);
  void NameServers(const httplib::Request& req, Reply* reply);
  void CheckVersion(const httplib::Request& req, Reply* reply);
  void MemberInfo(const httplib::Request& req, Reply* reply);
  void GoodsInfo(const httplib::Request& req, Reply* reply);
  void CreateOrder(const httplib::Request& req, Reply* reply);
  void PayStatus(const httplib::Request& req, Reply* reply);
  void NoticePopup(const httplib::Request& req, Reply* reply);

  ApiConfig config_;
  const KeyMaterial* keys_;
  std::unique_ptr<AccountStore> accounts_;
  std::unique_ptr<CatalogStore> catalog_;
  std::unique_ptr<BillingStore> billing_;
  std::unique_ptr<TokenSigner> signer_;
  std::unique_ptr<GuardedHttpsServer> server_;
  std::thread thread_;
  int port_ = 0;
};

}  // namespace tern

#endif  // SERVER_API_SERVER_H_
