#include "win32/url_download.h"

#include <httplib.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/scoped_temp_dir.h"
#include "gtest/gtest.h"
#include "win32/code_page.h"

namespace {

constexpr size_t kFileSize = 256 * 1024;

std::string Body() {
  std::string body(kFileSize, '\0');
  for (size_t i = 0; i < body.size(); ++i)
    body[i] = static_cast<char>(i * 7 + i / 251);
  return body;
}

// A self-signed certificate for 127.0.0.1, as PEM texts.
bool MakeCertificate(std::string* certificate_pem, std::string* key_pem) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* certificate = X509_new();
  bool ok = key && certificate;
  if (ok) {
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 7);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 86400);
    X509_set_pubkey(certificate, key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(certificate, name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* alt =
        X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "IP:127.0.0.1");
    X509_EXTENSION* ca = X509V3_EXT_conf_nid(nullptr, &context, NID_basic_constraints, "CA:TRUE");
    ok = alt && ca && X509_add_ext(certificate, alt, -1) && X509_add_ext(certificate, ca, -1) &&
         X509_sign(certificate, key, EVP_sha256()) > 0;
    X509_EXTENSION_free(alt);
    X509_EXTENSION_free(ca);
  }
  if (ok) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, certificate);
    char* data = nullptr;
    long length = BIO_get_mem_data(bio, &data);
    certificate_pem->assign(data, static_cast<size_t>(length));
    BIO_free(bio);
    bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    length = BIO_get_mem_data(bio, &data);
    key_pem->assign(data, static_cast<size_t>(length));
    BIO_free(bio);
  }
  X509_free(certificate);
  EVP_PKEY_free(key);
  return ok;
}

// Serves the test files on 127.0.0.1 over HTTP, or HTTPS with a fresh
// certificate written to |certificate_file|.
class FileServer {
 public:
  FileServer(const std::string& certificate_file = std::string()) : body_(Body()) {
    if (certificate_file.empty()) {
      server_ = std::make_unique<httplib::Server>();
    } else {
      std::string certificate, key;
      if (!MakeCertificate(&certificate, &key))
        return;
      std::ofstream(certificate_file) << certificate;
      std::string key_file = certificate_file + ".key";
      std::ofstream(key_file) << key;
      server_ = std::make_unique<httplib::SSLServer>(certificate_file.c_str(), key_file.c_str());
    }
    server_->Get("/file.bin", [this](const httplib::Request&, httplib::Response& response) {
      response.set_content_provider(body_.size(), "application/octet-stream",
                                    [this](size_t offset, size_t length, httplib::DataSink& sink) {
                                      size_t piece = std::min<size_t>(length, 16 * 1024);
                                      return sink.write(body_.data() + offset, piece);
                                    });
    });
    server_->Get("/moved", [](const httplib::Request&, httplib::Response& response) {
      response.set_redirect("/file.bin");
    });
    server_->Get("/broken", [](const httplib::Request&, httplib::Response& response) {
      response.status = 500;
      response.set_content("no", "text/plain");
    });
    server_->Get("/stall", [this](const httplib::Request&, httplib::Response& response) {
      response.set_content_provider(body_.size(), "application/octet-stream",
                                    [this](size_t offset, size_t, httplib::DataSink& sink) {
                                      if (offset == 0)
                                        return sink.write(body_.data(), 1000);
                                      std::unique_lock<std::mutex> hold(lock_);
                                      released_.wait_for(hold, std::chrono::seconds(60),
                                                         [this] { return release_; });
                                      return false;
                                    });
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // Bound means listening: connections wait in the backlog until accepted.
  }
  ~FileServer() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      release_ = true;
    }
    released_.notify_all();
    if (server_)
      server_->stop();
    if (thread_.joinable())
      thread_.join();
  }

  std::string Url(const std::string& scheme, const std::string& path) const {
    return scheme + "://127.0.0.1:" + std::to_string(port_) + path;
  }
  const std::string& body() const { return body_; }

 private:
  std::string body_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
  std::mutex lock_;
  std::condition_variable released_;
  bool release_ = false;
};

struct Report {
  ULONG progress, maximum, code;
};

class RecordingStatus : public IBindStatusCallback {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding* started) override {
    binding = started;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress,
                                       ULONG maximum,
                                       ULONG code,
                                       LPCWSTR text) override {
    reports.push_back({progress, maximum, code});
    if (code == BINDSTATUS_DOWNLOADINGDATA) {
      EXPECT_NE(nullptr, text);
    }
    if (on_progress)
      return on_progress(progress, maximum, code);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR) override {
    stopped_with = result;
    ++stops;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

  ULONG references = 1;
  IBinding* binding = nullptr;
  std::vector<Report> reports;
  std::function<HRESULT(ULONG, ULONG, ULONG)> on_progress;
  HRESULT stopped_with = E_UNEXPECTED;
  int stops = 0;
};

class UrlDownloadTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.CreateUniqueTempDir());
    root_ = dir_.path().string();
    target_ = root_ + "/Installer.exe";
    win32::SetDownloadConfigFileForTesting(root_ + "/config.ini");
  }
  void TearDown() override {
    win32::SetDownloadConfigFileForTesting("");
    win32::SetDownloadStallSecondsForTesting(0);
  }

  HRESULT Download(const std::string& url, RecordingStatus* status) {
    return URLDownloadToFileW(nullptr, win32::Utf8ToWide(url).c_str(),
                              win32::Utf8ToWide(target_).c_str(), 0, status);
  }
  std::string ReadTarget() {
    std::ifstream file(target_, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }
  // Everything in the folder except the config and certificate files.
  std::vector<std::string> Leftovers() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(root_)) {
      std::string name = entry.path().filename().string();
      if (name != "config.ini" && name.rfind("server.pem", 0) != 0)
        names.push_back(name);
    }
    return names;
  }

  base::ScopedTempDir dir_;
  std::string root_, target_;
};

TEST_F(UrlDownloadTest, DownloadsWithProgressAsTheBytesArrive) {
  FileServer server;
  for (const char* path : {"/file.bin", "/moved"}) {
    SCOPED_TRACE(path);
    RecordingStatus status;
    ASSERT_EQ(S_OK, Download(server.Url("http", path), &status));
    EXPECT_EQ(server.body(), ReadTarget());
    EXPECT_EQ(S_OK, status.stopped_with);
    EXPECT_EQ(1, status.stops);
    EXPECT_EQ(1u, status.references);
    EXPECT_NE(nullptr, status.binding);

    std::vector<ULONG> data;
    bool began = false, ended = false;
    for (const Report& r : status.reports) {
      if (r.code == BINDSTATUS_BEGINDOWNLOADDATA) {
        began = true;
        EXPECT_EQ(kFileSize, r.maximum);
      } else if (r.code == BINDSTATUS_DOWNLOADINGDATA) {
        EXPECT_TRUE(began);
        EXPECT_EQ(kFileSize, r.maximum);
        data.push_back(r.progress);
      } else if (r.code == BINDSTATUS_ENDDOWNLOADDATA) {
        ended = true;
        EXPECT_EQ(kFileSize, r.progress);
      }
    }
    EXPECT_TRUE(ended);
    ASSERT_GT(data.size(), 2u);  // reported piece by piece, not once at the end
    EXPECT_TRUE(std::is_sorted(data.begin(), data.end()));
    EXPECT_EQ(kFileSize, data.back());
  }
  EXPECT_EQ(std::vector<std::string>{"Installer.exe"}, Leftovers());
}

TEST_F(UrlDownloadTest, FailuresLeaveNoFileUnderTheTargetName) {
  FileServer server;
  // A port that refuses: bound once, then closed.
  int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  ASSERT_EQ(0, bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)));
  ASSERT_EQ(0, getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length));
  std::string refused = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/x";
  close(probe);

  struct Case {
    std::string url;
    std::string target;
    HRESULT result;
  } cases[] = {
      {server.Url("http", "/missing"), target_, INET_E_RESOURCE_NOT_FOUND},
      {server.Url("http", "/broken"), target_, INET_E_DOWNLOAD_FAILURE},
      {refused, target_, INET_E_DOWNLOAD_FAILURE},
      {"ftp://127.0.0.1/file.bin", target_, INET_E_UNKNOWN_PROTOCOL},
      {"127.0.0.1/file.bin", target_, INET_E_UNKNOWN_PROTOCOL},
      {server.Url("http", "/file.bin"), root_ + "/no/such/folder/a.exe", E_OUTOFMEMORY},
      {server.Url("http", "/file.bin"), root_, E_OUTOFMEMORY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    RecordingStatus status;
    EXPECT_EQ(c.result, URLDownloadToFileW(nullptr, win32::Utf8ToWide(c.url).c_str(),
                                           win32::Utf8ToWide(c.target).c_str(), 0, &status));
    EXPECT_EQ(1u, status.references);
    EXPECT_TRUE(Leftovers().empty());
  }
}

TEST_F(UrlDownloadTest, AStalledTransferFailsAndKeepsTheOldFile) {
  std::ofstream(target_) << "old version";
  FileServer server;
  win32::SetDownloadStallSecondsForTesting(2);
  RecordingStatus status;
  EXPECT_EQ(INET_E_DOWNLOAD_FAILURE, Download(server.Url("http", "/stall"), &status));
  EXPECT_EQ(INET_E_DOWNLOAD_FAILURE, status.stopped_with);
  EXPECT_EQ("old version", ReadTarget());
  EXPECT_EQ(std::vector<std::string>{"Installer.exe"}, Leftovers());
}

TEST_F(UrlDownloadTest, TheCallerCanAbortHalfWay) {
  FileServer server;
  RecordingStatus status;
  status.on_progress = [](ULONG progress, ULONG maximum, ULONG code) {
    return code == BINDSTATUS_DOWNLOADINGDATA && progress >= maximum / 2 ? E_ABORT : S_OK;
  };
  EXPECT_EQ(E_ABORT, Download(server.Url("http", "/file.bin"), &status));
  EXPECT_EQ(E_ABORT, status.stopped_with);
  EXPECT_LT(status.reports.back().progress, kFileSize);
  EXPECT_TRUE(Leftovers().empty());

  // Abort() from another thread ends a transfer that waits for data.
  RecordingStatus waiting;
  std::thread aborter;
  waiting.on_progress = [&](ULONG, ULONG, ULONG code) {
    if (code == BINDSTATUS_DOWNLOADINGDATA && !aborter.joinable()) {
      IBinding* binding = waiting.binding;
      aborter = std::thread([binding] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        binding->Abort();
      });
    }
    return S_OK;
  };
  EXPECT_EQ(E_ABORT, Download(server.Url("http", "/stall"), &waiting));
  aborter.join();
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(UrlDownloadTest, HttpsTrustsTheConfiguredCertificateFile) {
  FileServer server(root_ + "/server.pem");
  RecordingStatus untrusted;
  EXPECT_EQ(INET_E_DOWNLOAD_FAILURE, Download(server.Url("https", "/file.bin"), &untrusted));
  EXPECT_TRUE(Leftovers().empty());

  std::ofstream(root_ + "/config.ini") << "[service_hosts]\nca_file=server.pem\n";
  RecordingStatus trusted;
  ASSERT_EQ(S_OK, Download(server.Url("https", "/file.bin"), &trusted));
  EXPECT_EQ(server.body(), ReadTarget());
}

}  // namespace
