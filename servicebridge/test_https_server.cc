#include "servicebridge/test_https_server.h"

#include <strings.h>

#include <httplib.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fstream>

namespace servicebridge {

namespace {

struct KeyAndCertificate {
  EVP_PKEY* key = nullptr;
  X509* certificate = nullptr;
  ~KeyAndCertificate() {
    X509_free(certificate);
    EVP_PKEY_free(key);
  }
};

// A fresh P-256 key and a self-signed certificate for 127.0.0.1.
bool MakeCertificate(KeyAndCertificate* made) {
  made->key = EVP_EC_gen("P-256");
  if (!made->key)
    return false;
  made->certificate = X509_new();
  if (!made->certificate)
    return false;
  X509_set_version(made->certificate, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(made->certificate), 1);
  X509_gmtime_adj(X509_getm_notBefore(made->certificate), -3600);
  X509_gmtime_adj(X509_getm_notAfter(made->certificate), 86400);
  X509_set_pubkey(made->certificate, made->key);
  X509_NAME* name = X509_get_subject_name(made->certificate);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  X509_set_issuer_name(made->certificate, name);
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, made->certificate, made->certificate, nullptr, nullptr, 0);
  X509_EXTENSION* names =
      X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "IP:127.0.0.1");
  if (!names)
    return false;
  X509_add_ext(made->certificate, names, -1);
  X509_EXTENSION_free(names);
  return X509_sign(made->certificate, made->key, EVP_sha256()) > 0;
}

}  // namespace

std::string RecordedRequest::Header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (strcasecmp(key.c_str(), name.c_str()) == 0)
      return value;
  }
  return "<none>";
}

bool RecordedRequest::HasHeader(const std::string& name) const {
  for (const auto& header : headers) {
    if (strcasecmp(header.first.c_str(), name.c_str()) == 0)
      return true;
  }
  return false;
}

TestHttpsServer::TestHttpsServer() {
  KeyAndCertificate made;
  if (!MakeCertificate(&made))
    return;
  if (BIO* bio = BIO_new(BIO_s_mem())) {
    if (PEM_write_bio_X509(bio, made.certificate) == 1) {
      char* data = nullptr;
      long size = BIO_get_mem_data(bio, &data);
      certificate_pem_.assign(data, static_cast<size_t>(size));
    }
    BIO_free(bio);
  }
  // The server copies what it needs from both.
  server_ = std::make_unique<httplib::SSLServer>(made.certificate, made.key);
  if (!server_->is_valid())
    return;
  auto handler = [this](const httplib::Request& request, httplib::Response& response) {
    Handle(&request, &response);
  };
  server_->Get(".*", handler);
  server_->Post(".*", handler);
  server_->set_keep_alive_max_count(1);
  // The server asks for its task queue once it is running; stopping it any
  // earlier would leave its thread waiting in accept for good.
  server_->new_task_queue = [this] {
    {
      std::lock_guard<std::mutex> hold(lock_);
      running_ = true;
    }
    running_changed_.notify_all();
    return new httplib::ThreadPool(8);
  };
  int port = server_->bind_to_any_port("127.0.0.1");
  if (port <= 0)
    return;
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  std::unique_lock<std::mutex> hold(lock_);
  if (running_changed_.wait_for(hold, std::chrono::seconds(10), [this] { return running_; }))
    port_ = port;
}

TestHttpsServer::~TestHttpsServer() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  running_changed_.notify_all();
  if (server_)
    server_->stop();
  if (thread_.joinable())
    thread_.join();
}

std::string TestHttpsServer::base_url() const {
  return "https://127.0.0.1:" + std::to_string(port_);
}

bool TestHttpsServer::WriteCertificate(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << certificate_pem_;
  return !certificate_pem_.empty() && out.good();
}

void TestHttpsServer::Answer(const std::string& path, CannedAnswer answer) {
  std::lock_guard<std::mutex> hold(lock_);
  answers_[path] = std::move(answer);
}

void TestHttpsServer::Answer(const std::string& path, int status, std::string body) {
  CannedAnswer answer;
  answer.status = status;
  answer.body = std::move(body);
  Answer(path, std::move(answer));
}

std::vector<RecordedRequest> TestHttpsServer::Requests() {
  std::lock_guard<std::mutex> hold(lock_);
  return requests_;
}

RecordedRequest TestHttpsServer::LastRequest() {
  std::lock_guard<std::mutex> hold(lock_);
  return requests_.empty() ? RecordedRequest() : requests_.back();
}

void TestHttpsServer::ClearRequests() {
  std::lock_guard<std::mutex> hold(lock_);
  requests_.clear();
}

void TestHttpsServer::Handle(const void* request_pointer, void* response_pointer) {
  const auto& request = *static_cast<const httplib::Request*>(request_pointer);
  auto& response = *static_cast<httplib::Response*>(response_pointer);
  RecordedRequest recorded;
  recorded.method = request.method;
  recorded.target = request.target;
  for (const auto& header : request.headers)
    recorded.headers.push_back(header);
  recorded.body = request.body;

  CannedAnswer answer;
  bool known = false;
  {
    std::unique_lock<std::mutex> hold(lock_);
    requests_.push_back(recorded);
    auto it = answers_.find(request.path);
    if (it != answers_.end()) {
      answer = it->second;
      known = true;
    }
    if (answer.delay.count() > 0)
      running_changed_.wait_for(hold, answer.delay, [this] { return stopping_; });
  }
  if (!known) {
    response.status = 404;
    response.set_content("{\"code\":404,\"info\":\"no such path\"}", "application/json");
    return;
  }
  response.status = answer.status;
  for (const auto& [name, value] : answer.headers)
    response.set_header(name, value);
  response.set_content(answer.body, "application/json");
}

}  // namespace servicebridge
