#include "servicebridge/http_transport.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "servicebridge/bridge_log.h"

namespace servicebridge {

namespace {

std::atomic<long> g_timeout_ms_for_testing{0};
std::atomic<bool> g_handle_fails_for_testing{false};

// The trusted certificates: the system's store and the configured file,
// read once and shared by every request (reading the system bundle for each
// request cost more than the request). Guarded by g_trust_lock.
std::mutex g_trust_lock;
std::string g_trusted_file;
X509_STORE* g_trust_store = nullptr;

// A reference to the current store; the caller frees it.
X509_STORE* AcquireTrustStore() {
  std::lock_guard<std::mutex> hold(g_trust_lock);
  if (!g_trust_store) {
    X509_STORE* store = X509_STORE_new();
    if (!store)
      return nullptr;
    X509_STORE_set_default_paths(store);
    // A file that cannot be read adds nothing: the system store alone then
    // decides, and the failure is logged.
    if (!g_trusted_file.empty() && X509_STORE_load_file(store, g_trusted_file.c_str()) != 1)
      LogError("cannot read the trusted certificate file %s", g_trusted_file.c_str());
    g_trust_store = store;
  }
  X509_STORE_up_ref(g_trust_store);
  return g_trust_store;
}

CURLcode UseTrustStore(CURL*, void* ssl_ctx, void*) {
  X509_STORE* store = AcquireTrustStore();
  if (!store)
    return CURLE_OUT_OF_MEMORY;
  SSL_CTX_set1_cert_store(static_cast<SSL_CTX*>(ssl_ctx), store);
  X509_STORE_free(store);
  return CURLE_OK;
}

bool IsTlsFailure(CURLcode code) {
  return code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CONNECT_ERROR ||
         code == CURLE_SSL_CERTPROBLEM || code == CURLE_SSL_CACERT_BADFILE ||
         code == CURLE_SSL_ISSUER_ERROR || code == CURLE_SSL_PINNEDPUBKEYNOTMATCH ||
         code == CURLE_SSL_INVALIDCERTSTATUS;
}

size_t AppendCallback(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

void EnsureGlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The share is used by GET requests on many threads at once, so every lock
// data kind gets its own mutex.
std::mutex g_share_locks[CURL_LOCK_DATA_LAST];

void LockShare(CURL*, curl_lock_data data, curl_lock_access, void*) {
  g_share_locks[data].lock();
}

void UnlockShare(CURL*, curl_lock_data data, void*) {
  g_share_locks[data].unlock();
}

// Kept for the life of the process.
CURLSH* DnsShare() {
  static CURLSH* share = [] {
    CURLSH* created = curl_share_init();
    if (created) {
      curl_share_setopt(created, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
      curl_share_setopt(created, CURLSHOPT_LOCKFUNC, LockShare);
      curl_share_setopt(created, CURLSHOPT_UNLOCKFUNC, UnlockShare);
    }
    return created;
  }();
  return share;
}

enum class Method { kPostJson, kPostPlain, kGet };

struct HandleDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

int Perform(Method method,
            const std::string& url,
            const std::string& extra_header,
            const std::string* request_body,
            std::string* body,
            std::string* headers) {
  body->clear();
  headers->clear();
  EnsureGlobalInit();
  std::unique_ptr<CURL, HandleDeleter> curl(g_handle_fails_for_testing.load() ? nullptr
                                                                              : curl_easy_init());
  if (!curl)
    return kNoHandleStatus;
  CURL* handle = curl.get();

  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_slist* list = nullptr;
  if (method == Method::kPostJson)
    list = curl_slist_append(list, "Content-Type:application/json;charset=UTF-8");
  if (method == Method::kGet) {
    curl_easy_setopt(handle, CURLOPT_SHARE, DnsShare());
    curl_easy_setopt(handle, CURLOPT_DNS_CACHE_TIMEOUT, 300L);
  }
  // An empty line would ask libcurl to drop nothing and send nothing; skip it.
  if (!extra_header.empty()) {
    curl_slist* grown = curl_slist_append(list, extra_header.c_str());
    if (grown)
      list = grown;
  }
  std::unique_ptr<curl_slist, ListDeleter> header_list(list);
  // Whoever answers must prove to be the configured host: the system store
  // plus the configured certificate file are trusted, nothing else.
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(handle, CURLOPT_CAINFO, nullptr);
  curl_easy_setopt(handle, CURLOPT_CAPATH, nullptr);
  curl_easy_setopt(handle, CURLOPT_SSL_CTX_FUNCTION, UseTrustStore);
  char error_text[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, error_text);
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, list);
  if (method != Method::kGet) {
    curl_easy_setopt(handle, CURLOPT_POST, 1L);
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(request_body->size()));
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, request_body->c_str());
  }
  curl_easy_setopt(handle, CURLOPT_READFUNCTION, nullptr);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, AppendCallback);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, body);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  long connect_timeout = method == Method::kGet ? 20L : 3L;
  long timeout = method == Method::kPostPlain ? 10L : 20L;
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, connect_timeout);
  if (long test_timeout = g_timeout_ms_for_testing.load())
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, test_timeout);
  else
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, timeout);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, AppendCallback);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, headers);

  CURLcode result = curl_easy_perform(handle);
  if (result != CURLE_OK) {
    if (IsTlsFailure(result))
      LogError("TLS check of %s failed: %s", url.c_str(),
               error_text[0] ? error_text : curl_easy_strerror(result));
    *body = std::string("curl_easy_perform() failed:") + curl_easy_strerror(result) + "\n";
    return static_cast<int>(result);
  }
  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  return static_cast<int>(status);
}

}  // namespace

int PostJson(const std::string& url,
             const std::string& extra_header,
             const std::string& request_body,
             std::string* body,
             std::string* headers) {
  return Perform(Method::kPostJson, url, extra_header, &request_body, body, headers);
}

int PostPlain(const std::string& url,
              const std::string& extra_header,
              const std::string& request_body,
              std::string* body,
              std::string* headers) {
  return Perform(Method::kPostPlain, url, extra_header, &request_body, body, headers);
}

int Get(const std::string& url,
        const std::string& extra_header,
        std::string* body,
        std::string* headers) {
  return Perform(Method::kGet, url, extra_header, nullptr, body, headers);
}

void SetTrustedCertificateFile(const std::string& path) {
  std::lock_guard<std::mutex> hold(g_trust_lock);
  g_trusted_file = path;
  // Read anew on the next request; requests under way keep their reference.
  X509_STORE_free(g_trust_store);
  g_trust_store = nullptr;
}

void SetTransferTimeoutForTesting(std::chrono::milliseconds timeout) {
  g_timeout_ms_for_testing.store(static_cast<long>(timeout.count()));
}

void SetHandleCreationFailsForTesting(bool fails) {
  g_handle_fails_for_testing.store(fails);
}

}  // namespace servicebridge
