#include "server/api_server.h"

#include <httplib.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <spdlog/spdlog.h>
#include <sys/stat.h>

#include <charconv>
#include <chrono>
#include <fstream>

#include "server/account_store.h"
#include "server/billing_store.h"
#include "server/catalog_store.h"
#include "server/guarded_https_server.h"
#include "server/key_material.h"
#include "server/password_hasher.h"
#include "server/token_signer.h"

namespace tern {

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

struct ApiServer::Reply {
  int http_status = 200;
  int code = kApiOk;
  std::string info;
  std::string data = "null";  // JSON text
  std::string token;          // sent as "Json-Web-Token" when not empty
  std::string file_path;      // a download instead of an envelope

  void Fail(int status, int c, std::string text) {
    http_status = status;
    code = c;
    info = std::move(text);
    data = "null";
  }
  // A refusal the client reads: HTTP 200 with the reason in the envelope.
  void Refuse(int c, std::string text) { Fail(200, c, std::move(text)); }
  void Data(const std::function<void(JsonWriter&)>& write) {
    rapidjson::StringBuffer buffer;
    JsonWriter writer(buffer);
    write(writer);
    data.assign(buffer.GetString(), buffer.GetSize());
  }
};

namespace {

constexpr char kJsonType[] = "application/json;charset=UTF-8";
constexpr int kListenBacklog = 1024;

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void Str(JsonWriter& w, const char* key, const std::string& value) {
  w.Key(key);
  w.String(value.c_str(), static_cast<rapidjson::SizeType>(value.size()));
}

std::string Envelope(const ApiServer::Reply& reply) {
  rapidjson::StringBuffer buffer;
  JsonWriter w(buffer);
  w.StartObject();
  w.Key("code");
  w.Int(reply.code);
  Str(w, "info", reply.info);
  w.Key("data");
  w.RawValue(reply.data.c_str(), reply.data.size(), rapidjson::kObjectType);
  w.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}

// The body must be a JSON object; members are read with StringMember.
bool ParseBody(const httplib::Request& req, ApiServer::Reply* reply, rapidjson::Document* doc) {
  doc->Parse(req.body.c_str(), req.body.size());
  if (doc->HasParseError() || !doc->IsObject()) {
    reply->Fail(400, kApiBadRequest, "请求格式错误：需要JSON对象");
    return false;
  }
  return true;
}

bool StringMember(const rapidjson::Document& doc,
                  const char* name,
                  ApiServer::Reply* reply,
                  std::string* out) {
  auto it = doc.FindMember(name);
  if (it == doc.MemberEnd() || !it->value.IsString()) {
    reply->Fail(400, kApiBadRequest, std::string("请求格式错误：缺少文本参数 ") + name);
    return false;
  }
  out->assign(it->value.GetString(), it->value.GetStringLength());
  return true;
}

bool HasMember(const rapidjson::Document& doc, const char* name) {
  return doc.FindMember(name) != doc.MemberEnd();
}

void CredentialData(ApiServer::Reply* reply,
                    const AccountRecord& account,
                    const std::string& interim,
                    bool with_suspicious) {
  reply->Data([&](JsonWriter& w) {
    w.StartObject();
    Str(w, "uuid", account.uuid);
    Str(w, "interim", interim);
    if (with_suspicious) {
      w.Key("suspicious");
      w.Int(0);
    }
    w.EndObject();
  });
}

void StoreFailure(ApiServer::Reply* reply, const char* what) {
  spdlog::error("store failure while {}", what);
  reply->Fail(500, kApiServerError, "服务器繁忙，请稍后重试");
}

// Finds the account a request names; false when |reply| already holds the
// refusal or the failure.
bool FindAccountByNumber(AccountStore* accounts,
                         const std::string& number,
                         const char* action,
                         ApiServer::Reply* reply,
                         AccountRecord* account) {
  StoreResult found = AccountStore::IsAccountNumber(number) ? accounts->Find(number, account)
                                                            : StoreResult::kNotFound;
  if (found == StoreResult::kError) {
    StoreFailure(reply, action);
    return false;
  }
  if (found != StoreResult::kOk) {
    reply->Refuse(kApiUnknownAccount, "账号不存在");
    return false;
  }
  return true;
}

// Uses up the SMS code; false when |reply| already holds the refusal or the
// failure.
bool UseSmsCode(AccountStore* accounts,
                const std::string& number,
                const std::string& captcha,
                ApiServer::Reply* reply) {
  StoreResult code = accounts->ConsumeSmsCode(number, captcha, Now());
  if (code == StoreResult::kError) {
    StoreFailure(reply, "checking an SMS code");
    return false;
  }
  if (code != StoreResult::kOk) {
    reply->Refuse(kApiBadSmsCode, "验证码错误或已过期");
    return false;
  }
  return true;
}

// Decrypts a password being set and checks its format; false when |reply|
// already holds the refusal.
bool ReadNewPassword(const KeyMaterial& keys,
                     const std::string& encrypted,
                     ApiServer::Reply* reply,
                     std::string* password) {
  if (!keys.DecryptPassword(encrypted, password)) {
    reply->Refuse(kApiPasswordUnreadable, "密码解析失败，请重新获取公钥后重试");
    return false;
  }
  if (!IsAcceptablePassword(*password)) {
    reply->Refuse(kApiBadPasswordFormat,
                  "密码格式错误，密码为长度8-16位至少包含一个英文或特殊字符");
    return false;
  }
  return true;
}

}  // namespace

ApiServer::ApiServer(ApiConfig config, const KeyMaterial* keys)
    : config_(std::move(config)),
      keys_(keys),
      accounts_(std::make_unique<AccountStore>(config_.db_path, config_.sms_interval)),
      catalog_(std::make_unique<CatalogStore>(config_.db_path)),
      billing_(std::make_unique<BillingStore>(config_.db_path)),
      signer_(std::make_unique<TokenSigner>(keys->token_secret())) {}

ApiServer::~ApiServer() {
  Stop();
}

bool ApiServer::Start(std::string* error) {
  GuardLimits limits;
  limits.max_total = config_.max_connections;
  limits.max_per_address = config_.max_per_address;
  limits.max_armed = config_.max_connections;
  limits.deadline = std::chrono::milliseconds(config_.header_timeout_ms);
  auto server = std::make_unique<GuardedHttpsServer>(config_.cert_path, config_.key_path, limits);
  if (!server->is_valid()) {
    *error = "cannot load the TLS certificate " + config_.cert_path;
    return false;
  }
  server->set_payload_max_length(config_.max_body);
  // Headers and body go out in separate writes; without this, delayed ACKs
  // add tens of milliseconds to every answer.
  server->set_tcp_nodelay(true);
  server->set_write_timeout(30, 0);
  server->set_keep_alive_max_count(1000);
  auto dispatch = [this](const httplib::Request& req, httplib::Response& res) {
    Dispatch(req, res);
  };
  server->Get(".*", dispatch);
  server->Post(".*", dispatch);
  server->Put(".*", dispatch);
  server->Delete(".*", dispatch);
  server->Patch(".*", dispatch);
  server->Options(".*", dispatch);
  // Requests that never reach a handler (too large, unreadable) and handler
  // exceptions still get an envelope, never a bare page or a stack trace.
  server->set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty())
      return;
    Reply reply;
    if (res.status == 413 || res.status == 411) {
      reply.Fail(res.status, kApiTooLarge, "请求内容过大");
    } else if (res.status == 404) {
      reply.Fail(404, kApiNotFound, "接口不存在");
    } else {
      reply.Fail(res.status, kApiBadRequest, "请求无效");
    }
    res.set_content(Envelope(reply), kJsonType);
  });
  server->set_exception_handler(
      [](const httplib::Request& req, httplib::Response& res, std::exception_ptr) {
        spdlog::error("{} {} raised an exception", req.method, req.path);
        Reply reply;
        reply.Fail(500, kApiServerError, "服务器内部错误");
        res.status = 500;
        res.set_content(Envelope(reply), kJsonType);
      });
  if (config_.port == 0) {
    port_ = server->bind_to_any_port(config_.listen);
  } else {
    port_ = server->bind_to_port(config_.listen, config_.port) ? config_.port : -1;
  }
  if (port_ <= 0) {
    *error = "cannot listen on " + config_.listen + ":" + std::to_string(config_.port);
    return false;
  }
  server->WidenBacklog(kListenBacklog);
  server_ = std::move(server);
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  return true;
}

void ApiServer::Stop() {
  if (server_) {
    server_->stop();
  }
  if (thread_.joinable()) {
    thread_.join();
  }
}

void ApiServer::Dispatch(const httplib::Request& req, httplib::Response& res) {
  Reply reply;
  Handle(req.path, req, &reply);
  if (!reply.file_path.empty()) {
    auto file = std::make_shared<std::ifstream>(reply.file_path, std::ios::binary);
    struct stat st;
    if (*file && stat(reply.file_path.c_str(), &st) == 0) {
      res.set_content_provider(static_cast<size_t>(st.st_size), "application/octet-stream",
                               [file](size_t offset, size_t length, httplib::DataSink& sink) {
                                 char buffer[64 * 1024];
                                 file->seekg(static_cast<std::streamoff>(offset));
                                 size_t n = std::min(length, sizeof(buffer));
                                 file->read(buffer, static_cast<std::streamsize>(n));
                                 std::streamsize got = file->gcount();
                                 return got > 0 && sink.write(buffer, static_cast<size_t>(got));
                               });
      return;
    }
    reply.Fail(404, kApiNotFound, "更新包不存在");
  }
  if (!reply.token.empty()) {
    res.set_header("Json-Web-Token", reply.token);
  }
  res.status = reply.http_status;
  res.set_content(Envelope(reply), kJsonType);
  spdlog::info("{} {} -> {} code {}", req.method, req.path, reply.http_status, reply.code);
}

void ApiServer::Handle(const std::string& path, const httplib::Request& req, Reply* reply) {
  struct Route {
    const char* path;
    const char* method;
    void (ApiServer::*handler)(const httplib::Request&, Reply*);
  };
  static const Route kRoutes[] = {
      {"/account/signup.do", "POST", &ApiServer::SignUp},
      {"/account/signin.do", "POST", &ApiServer::SignIn},
      {"/account/shortcut.do", "POST", &ApiServer::Shortcut},
      {"/retrieve/cellphone.do", "POST", &ApiServer::ResetPassword},
      {"/captcha/phone.do", "POST", &ApiServer::SendCaptcha},
      {"/account/interim.do", "POST", &ApiServer::Interim},
      {"/certificate/publickey.do", "GET", &ApiServer::PublicKey},
      {"/route/sync.do", "GET", &ApiServer::SyncRoutes},
      {"/nameserver/pull.do", "GET", &ApiServer::NameServers},
      {"/version/update.do", "GET", &ApiServer::CheckVersion},
      {"/member/info.do", "GET", &ApiServer::MemberInfo},
      {"/defray/goodsinfo.do", "GET", &ApiServer::GoodsInfo},
      {"/wechat/unified.do", "POST", &ApiServer::CreateOrder},
      {"/defray/status.do", "POST", &ApiServer::PayStatus},
      {"/notice/popup.do", "GET", &ApiServer::NoticePopup},
  };
  for (const Route& route : kRoutes) {
    if (path == route.path) {
      if (req.method != route.method) {
        reply->Fail(405, kApiMethodNotAllowed, std::string("请求方法错误，应为 ") + route.method);
        return;
      }
      (this->*route.handler)(req, reply);
      return;
    }
  }
  if (path == "/node/assign.do" || path == "/node/direct.do") {
    if (req.method != "GET") {
      reply->Fail(405, kApiMethodNotAllowed, "请求方法错误，应为 GET");
      return;
    }
    AssignNodes(req, reply, path == "/node/direct.do" || req.get_param_value("direct") == "1");
    return;
  }
  constexpr std::string_view kPackagePrefix = "/package/";
  if (path.compare(0, kPackagePrefix.size(), kPackagePrefix) == 0 && req.method == "GET" &&
      !config_.package_path.empty()) {
    std::string name = config_.package_path.substr(config_.package_path.rfind('/') + 1);
    if (path.substr(kPackagePrefix.size()) == name) {
      reply->file_path = config_.package_path;
      return;
    }
  }
  reply->Fail(404, kApiNotFound, "接口不存在");
}

std::string ApiServer::IssueToken(const AccountRecord& account) const {
  TokenClaims claims;
  claims.account_id = account.id;
  claims.number = account.number;
  claims.epoch = account.token_epoch;
  claims.issued_at = Now();
  claims.expires_at = claims.issued_at + config_.token_lifetime;
  return signer_->Issue(claims);
}

bool ApiServer::Authenticate(const httplib::Request& req, Reply* reply, AccountRecord* account) {
  std::string token = req.get_header_value("json-web-token");
  while (!token.empty() && (token.back() == ' ' || token.back() == '\t'))
    token.pop_back();
  while (!token.empty() && (token.front() == ' ' || token.front() == '\t'))
    token.erase(0, 1);
  TokenClaims claims;
  switch (signer_->Check(token, Now(), &claims)) {
    case TokenCheck::kValid:
      break;
    case TokenCheck::kMissing:
      reply->Fail(401, kApiTokenMissing, "请先登录");
      return false;
    case TokenCheck::kExpired:
      reply->Fail(401, kApiTokenExpired, "登录已过期，请重新登录");
      return false;
    case TokenCheck::kMalformed:
    case TokenCheck::kBadSignature:
      reply->Fail(401, kApiTokenInvalid, "登录凭证无效，请重新登录");
      return false;
  }
  StoreResult found = accounts_->FindById(claims.account_id, account);
  if (found == StoreResult::kError) {
    StoreFailure(reply, "checking a token");
    return false;
  }
  // A password change raises the epoch and so retires earlier tokens.
  if (found != StoreResult::kOk || account->token_epoch != claims.epoch) {
    reply->Fail(401, kApiTokenInvalid, "登录凭证无效，请重新登录");
    return false;
  }
  // A token is reissued only in the second half of its life, so most answers
  // carry none and the client keeps the one it has; an idle token still
  // expires.
  if (claims.expires_at - Now() <= config_.token_lifetime / 2)
    reply->token = IssueToken(*account);
  return true;
}

void ApiServer::SettleDuePayments() {
  if (config_.pay_after < 0)
    return;
  int paid = 0;
  if (billing_->PayDue(config_.pay_after, Now(), &paid) == StoreResult::kOk && paid > 0) {
    spdlog::info("{} order(s) paid themselves", paid);
  }
}

void ApiServer::SignUp(const httplib::Request& req, Reply* reply) {
  rapidjson::Document doc;
  std::string number, encrypted, captcha, client;
  if (!ParseBody(req, reply, &doc) || !StringMember(doc, "username", reply, &number) ||
      !StringMember(doc, "password", reply, &encrypted) ||
      !StringMember(doc, "captcha", reply, &captcha)) {
    return;
  }
  if (!AccountStore::IsAccountNumber(number)) {
    reply->Refuse(kApiBadNumber, "手机号码格式错误");
    return;
  }
  AccountRecord existing;
  StoreResult found = accounts_->Find(number, &existing);
  if (found == StoreResult::kOk) {
    reply->Refuse(kApiAccountExists, "该手机号已注册，请直接登录");
    return;
  }
  if (found == StoreResult::kError)
    return StoreFailure(reply, "signing up");
  std::string password;
  if (!ReadNewPassword(*keys_, encrypted, reply, &password) ||
      !UseSmsCode(accounts_.get(), number, captcha, reply)) {
    return;
  }
  std::string hash = HashPassword(password);
  AccountRecord account;
  StoreResult created =
      hash.empty() ? StoreResult::kError : accounts_->Create(number, hash, Now(), &account);
  if (created == StoreResult::kExists) {
    reply->Refuse(kApiAccountExists, "该手机号已注册，请直接登录");
    return;
  }
  std::string interim;
  if (created != StoreResult::kOk ||
      accounts_->IssueInterim(account.id, Now(), &interim) != StoreResult::kOk) {
    return StoreFailure(reply, "creating an account");
  }
  spdlog::info("account {} registered", number);
  reply->info = "注册成功";
  reply->token = IssueToken(account);
  CredentialData(reply, account, interim, false);
}

void ApiServer::SignIn(const httplib::Request& req, Reply* reply) {
  rapidjson::Document doc;
  std::string number, encrypted;
  if (!ParseBody(req, reply, &doc) || !StringMember(doc, "username", reply, &number) ||
      !StringMember(doc, "password", reply, &encrypted)) {
    return;
  }
  AccountRecord account;
  if (!FindAccountByNumber(accounts_.get(), number, "signing in", reply, &account))
    return;
  auto suspicious = [&] {
    reply->Refuse(kApiSuspicious, "登录过于频繁，请使用手机短信验证码登录");
    reply->Data([](JsonWriter& w) {
      w.StartObject();
      w.Key("suspicious");
      w.Int(1);
      w.EndObject();
    });
  };
  if (account.suspicious) {
    suspicious();
    return;
  }
  std::string password;
  if (!keys_->DecryptPassword(encrypted, &password) ||
      !VerifyPassword(password, account.password_hash)) {
    bool now_suspicious = false;
    if (accounts_->RecordFailure(account.id, &now_suspicious) != StoreResult::kOk) {
      return StoreFailure(reply, "counting a failed sign-in");
    }
    if (now_suspicious) {
      suspicious();
    } else {
      reply->Refuse(kApiWrongPassword, "密码错误");
    }
    return;
  }
  std::string interim;
  if (accounts_->RecordSuccess(account.id) != StoreResult::kOk ||
      accounts_->IssueInterim(account.id, Now(), &interim) != StoreResult::kOk) {
    return StoreFailure(reply, "signing in");
  }
  reply->info = "登录成功";
  reply->token = IssueToken(account);
  CredentialData(reply, account, interim, true);
}

void ApiServer::Shortcut(const httplib::Request& req, Reply* reply) {
  rapidjson::Document doc;
  std::string number, captcha;
  if (!ParseBody(req, reply, &doc) || !StringMember(doc, "username", reply, &number))
    return;
  if (!HasMember(doc, "captcha")) {
    reply->Fail(400, kApiBadRequest, "请求格式错误：短信登录需要验证码");
    return;
  }
  if (!StringMember(doc, "captcha", reply, &captcha))
    return;
  AccountRecord account;
  if (!FindAccountByNumber(accounts_.get(), number, "signing in by SMS", reply, &account))
    return;
  if (!UseSmsCode(accounts_.get(), number, captcha, reply))
    return;
  std::string interim;
  if (accounts_->RecordSuccess(account.id) != StoreResult::kOk ||
      accounts_->IssueInterim(account.id, Now(), &interim) != StoreResult::kOk) {
    return StoreFailure(reply, "signing in by SMS");
  }
  reply->info = "登录成功";
  reply->token = IssueToken(account);
  CredentialData(reply, account, interim, true);
}

void ApiServer::ResetPassword(const httplib::Request& req, Reply* reply) {
  rapidjson::Document doc;
  std::string number, encrypted, captcha;
  if (!ParseBody(req, reply, &doc) || !StringMember(doc, "username", reply, &number) ||
      !StringMember(doc, "password", reply, &encrypted) ||
      !StringMember(doc, "captcha", reply, &captcha)) {
    return;
  }
  AccountRecord account;
  if (!FindAccountByNumber(accounts_.get(), number, "resetting a password", reply, &account))
    return;
  std::string password;
  if (!ReadNewPassword(*keys_, encrypted, reply, &password) ||
      !UseSmsCode(accounts_.get(), number, captcha, reply)) {
    return;
  }
  std::string hash = HashPassword(password);
  if (hash.empty() || accounts_->SetPassword(number, hash) != StoreResult::kOk) {
    return StoreFailure(reply, "resetting a password");
  }
  spdlog::info("password of {} reset", number);
  reply->info = "密码重置成功，请使用新密码登录";
}

void ApiServer::SendCaptcha(const httplib::Request& req, Reply* reply) {
  rapidjson::Document doc;
  std::string number;
  if (!ParseBody(req, reply, &doc) || !StringMember(doc, "username", reply, &number))
    return;
  if (!AccountStore::IsAccountNumber(number)) {
    reply->Refuse(kApiBadNumber, "手机号码格式错误");
    return;
  }
  std::string code;
  StoreResult issued = accounts_->IssueSmsCode(number, Now(), &code);
  if (issued == StoreResult::kTooFrequent) {
    reply->Refuse(kApiSmsTooFrequent, "验证码发送过于频繁，请稍后再试");
    return;
  }
  if (issued != StoreResult::kOk)
    return StoreFailure(reply, "issuing an SMS code");
  // Nothing is sent anywhere: the operator reads the code here or with
  // "admin last-code".
  // The code itself stays out of the log; "admin last-code" reads it.
  spdlog::info("SMS code sent to {}", number);
  reply->info = "验证码已发送，请注意查收";
}

void ApiServer::Interim(const httplib::Request& req, Reply* reply) {
  AccountRecord account;
  if (!Authenticate(req, reply, &account))
    return;
  std::string interim;
  if (accounts_->IssueInterim(account.id, Now(), &interim) != StoreResult::kOk) {
    return StoreFailure(reply, "issuing tunnel credentials");
  }
  CredentialData(reply, account, interim, false);
}

void ApiServer::PublicKey(const httplib::Request&, Reply* reply) {
  reply->Data([&](JsonWriter& w) {
    w.StartObject();
    Str(w, "content", keys_->public_key_pem());
    w.EndObject();
  });
}

void ApiServer::AssignNodes(const httplib::Request& req, Reply* reply, bool direct) {
  AccountRecord account;
  if (!Authenticate(req, reply, &account))
    return;
  std::string region;
  if (!CatalogStore::NormaliseRegion(req.get_param_value("region"), &region)) {
    reply->Refuse(kApiUnknownRegion, "未知的服务器区域");
    return;
  }
  std::vector<NodeRecord> nodes;
  if (catalog_->Nodes(region, direct, &nodes) != StoreResult::kOk) {
    return StoreFailure(reply, "listing nodes");
  }
  reply->Data([&](JsonWriter& w) {
    w.StartObject();
    w.Key("nodes");
    w.StartArray();
    for (const NodeRecord& n : nodes) {
      w.StartObject();
      Str(w, "name_cn", n.name_cn);
      Str(w, "addr_ip", n.addr_ip);
      w.Key("delay");
      w.Int(n.delay);
      w.Key("loss");
      w.Double(n.loss);
      w.Key("icmp");
      w.StartArray();
      w.String(n.icmp.c_str(), static_cast<rapidjson::SizeType>(n.icmp.size()));
      w.EndArray();
      w.EndObject();
    }
    w.EndArray();
    w.EndObject();
  });
}

void ApiServer::SyncRoutes(const httplib::Request& req, Reply* reply) {
  AccountRecord account;
  if (!Authenticate(req, reply, &account))
    return;
  std::string text = req.get_param_value("version");
  int64_t after = -1;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), after);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || after < 0) {
    reply->Fail(400, kApiBadRequest, "请求格式错误：version 需要非负整数");
    reply->token.clear();
    return;
  }
  std::vector<RouteRecord> routes;
  int64_t latest = 0;
  if (catalog_->RoutesSince(after, &routes, &latest) != StoreResult::kOk) {
    return StoreFailure(reply, "reading routes");
  }
  reply->Data([&](JsonWriter& w) {
    w.StartObject();
    w.Key("increment");
    w.StartArray();
    for (size_t i = 0; i < routes.size(); ++i) {
      const RouteRecord& r = routes[i];
      w.StartObject();
      Str(w, "addr", r.addr);
      Str(w, "mask", r.mask);
      w.Key("status");
      w.Int(r.status);
      w.Key("app_id");
      w.Int(r.app_id);
      w.Key("id");
      w.Int64(r.id);
      w.Key("cidr");
      w.Int(r.cidr);
      if (i + 1 == routes.size()) {
        w.Key("version");
        w.Int64(r.version);
      }
      w.EndObject();
    }
    w.EndArray();
    w.Key("version");
    w.Int64(latest);
    w.EndObject();
  });
}

void ApiServer::NameServers(const httplib::Request& req, Reply* reply) {
  AccountRecord account;
  if (!Authenticate(req, reply, &account))
    return;
  std::string region;
  if (!CatalogStore::NormaliseRegion(req.get_param_value("region"), &region)) {
    reply->Refuse(kApiUnknownRegion, "未知的服务器区域");
    return;
  }
  std::vector<std::string> dns;
  bool forward = false;
  StoreResult found = catalog_->NameServers(region, &dns, &forward);
  if (found == StoreResult::kError)
    return StoreFailure(reply, "reading name servers");
  reply->Data([&](JsonWriter& w) {
    w.StartObject();
    w.Key("dns");
    w.StartArray();
    for (const std::string& d : dns)
      w.String(d.c_str());
    w.EndArray();
    w.Key("forward");
    w.Int(forward ? 1 : 0);
    w.EndObject();
  });
}

void ApiServer::CheckVersion(const httplib::Request&, Reply* reply) {
  VersionRecord version;
  StoreResult found = catalog_->LatestVersion(&version);
  if (found == StoreResult::kError)
    return StoreFailure(reply, "reading the version");
  std::string package;
  if (!config_.package_path.empty()) {
    // Never from the request's Host header: whoever sends one would choose
    // where clients download their next program from.
    std::string base = config_.public_url.empty()
                           ? "https://" + config_.listen + ":" + std::to_string(port_)
                           : config_.public_url;
    package = base + "/package/" + config_.package_path.substr(config_.package_path.rfind('/') + 1);
  }
  reply->info = version.info;
  reply->Data([&](JsonWriter& w) {
    w.StartObject();
    w.Key("must");
    w.Int(version.must);
    Str(w, "package", package);
    Str(w, "version", version.version);
    Str(w, "details", version.details);
    w.EndObject();
  });
}

void ApiServer::MemberInfo(const httplib::Request& req, Reply* reply) {
  SettleDuePayments();
  AccountRecord account;
  if (!Authenticate(req, reply, &account))
    return;
  reply->Data([&](JsonWriter& w) {
    w.StartObject();
    w.Key("deadline");
    w.Int64(account.deadline);
    Str(w, "nickname", account.nickname);
    w.Key("timestamp");
    w.Int64(Now());
    w.EndObject();
  });
}

void ApiServer::GoodsInfo(const httplib::Request&, Reply* reply) {
  std::vector<GoodsRecord> goods;
  if (billing_->Goods(&goods) != StoreResult::kOk)
    return StoreFailure(reply, "reading goods");
  reply->Data([&](JsonWriter& w) {
    w.StartObject();
    for (const GoodsRecord& g : goods) {
      w.Key(g.name.c_str());
      w.StartObject();
      Str(w, "describe", g.describe);
      w.Key("favorable");
      w.Int(g.favorable);
      w.Key("handsel");
      w.Int(g.handsel);
      w.Key("payable");
      w.Int(g.payable);
      w.Key("payment");
      w.Int(g.payment);
      w.EndObject();
    }
    w.EndObject();
  });
}

void ApiServer::CreateOrder(const httplib::Request& req, Reply* reply) {
  AccountRecord account;
  if (!Authenticate(req, reply, &account))
    return;
  OrderRecord order;
  StoreResult created =
      billing_->CreateOrder(account.id, req.get_param_value("goods"), Now(), &order);
  if (created == StoreResult::kNotFound) {
    reply->Refuse(kApiUnknownGoods, "商品不存在");
    return;
  }
  if (created != StoreResult::kOk)
    return StoreFailure(reply, "creating an order");
  spdlog::info("order {} for {} ({}, {} fen)", order.trade_no, account.number, order.goods,
               order.amount);
  reply->Data([&](JsonWriter& w) {
    w.StartObject();
    Str(w, "nickname", account.nickname);
    Str(w, "payee", "Tern智能加速器");
    Str(w, "qr_url", order.qr_url);
    Str(w, "trade_no", order.trade_no);
    w.EndObject();
  });
}

void ApiServer::PayStatus(const httplib::Request& req, Reply* reply) {
  SettleDuePayments();
  AccountRecord account;
  if (!Authenticate(req, reply, &account))
    return;
  OrderRecord order;
  StoreResult found = billing_->FindOrder(req.get_param_value("trade_no"), &order);
  if (found == StoreResult::kError)
    return StoreFailure(reply, "reading an order");
  // Another account's order is as unknown as a missing one.
  if (found != StoreResult::kOk || order.account_id != account.id) {
    reply->Refuse(kApiUnknownOrder, "订单不存在");
    return;
  }
  reply->Data([&](JsonWriter& w) {
    w.StartObject();
    w.Key("status");
    w.Int(order.status);
    w.EndObject();
  });
}

void ApiServer::NoticePopup(const httplib::Request&, Reply* reply) {
  NoticeRecord notice;
  StoreResult found = catalog_->CurrentNotice(Now(), &notice);
  if (found == StoreResult::kError)
    return StoreFailure(reply, "reading notices");
  if (found == StoreResult::kNotFound) {
    reply->info = "暂无公告";
    return;
  }
  reply->Data([&](JsonWriter& w) {
    w.StartObject();
    w.Key("id");
    w.Int64(notice.id);
    w.Key("timestamp");
    w.Int64(notice.timestamp);
    w.Key("deadline");
    w.Int64(notice.deadline);
    Str(w, "text", notice.text);
    Str(w, "title", notice.title);
    Str(w, "url", notice.url);
    w.EndObject();
  });
}

}  // namespace tern
