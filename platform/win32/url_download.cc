#include "win32/url_download.h"

#include <curl/curl.h>
#include <errno.h>
#include <fcntl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "base/logging.h"
#include "win32/code_page.h"
#include "win32/module.h"
#include "win32/profile.h"

const IID IID_IBinding = {0x79EAC9C0,
                          0xBAF9,
                          0x11CE,
                          {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
const IID IID_IBindStatusCallback = {0x79EAC9C1,
                                     0xBAF9,
                                     0x11CE,
                                     {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};

namespace {

constexpr int kDefaultStallSeconds = 30;
constexpr long kConnectTimeoutSeconds = 30;

std::mutex g_settings_lock;
int g_stall_seconds = kDefaultStallSeconds;
std::string g_config_file;  // "" = the program directory's config.ini

std::string ProgramDirectory() {
  std::vector<WCHAR> path(4096);
  DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  std::string full = win32::WideToUtf8(std::wstring(path.data(), n));
  size_t slash = full.rfind('/');
  return slash == std::string::npos ? std::string(".") : full.substr(0, slash);
}

// The extra certificate file the services are trusted by, "" when none.
std::string TrustedCaFile() {
  std::string config;
  {
    std::lock_guard<std::mutex> hold(g_settings_lock);
    config = g_config_file;
  }
  std::string directory;
  if (config.empty()) {
    directory = ProgramDirectory();
    config = directory + "/config.ini";
  } else {
    size_t slash = config.rfind('/');
    directory = slash == std::string::npos ? std::string(".") : config.substr(0, slash);
  }
  WCHAR value[4096] = {};
  std::wstring wide_config = win32::Utf8ToWide(config);
  GetPrivateProfileStringW(L"service_hosts", L"ca_file", L"", value, 4096, wide_config.c_str());
  std::string ca_file = win32::WideToUtf8(value);
  if (ca_file.empty())
    return ca_file;
  return ca_file[0] == '/' ? ca_file : directory + "/" + ca_file;
}

// The system store stays in use; the configured file is added to it.
CURLcode AddCaFile(CURL*, void* ssl_context, void* user) {
  const std::string* ca_file = static_cast<const std::string*>(user);
  X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(ssl_context));
  if (!store || X509_STORE_load_file(store, ca_file->c_str()) != 1)
    LOG(WARNING) << "cannot load the certificate file " << *ca_file;
  return CURLE_OK;
}

class Binding : public IBinding {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object)
      return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IBinding) {
      *object = static_cast<IBinding*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references_;
    if (left == 0)
      delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Abort() override {
    aborted_ = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Suspend() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Resume() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetPriority(LONG) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetPriority(LONG* priority) override {
    if (!priority)
      return E_POINTER;
    *priority = 0;
    return S_OK;
  }

  bool aborted() const { return aborted_; }
  void SetAborted() { aborted_ = true; }

 private:
  ~Binding() override = default;
  std::atomic<ULONG> references_{1};
  std::atomic<bool> aborted_{false};
};

ULONG ClampToUlong(curl_off_t value) {
  if (value < 0)
    return 0;
  if (value > static_cast<curl_off_t>(std::numeric_limits<ULONG>::max()))
    return std::numeric_limits<ULONG>::max();
  return static_cast<ULONG>(value);
}

// One transfer: the easy handle, the temporary file and the caller's status
// object all belong to the calling thread.
struct Transfer {
  CURL* curl = nullptr;
  int fd = -1;
  IBindStatusCallback* callback = nullptr;
  Binding* binding = nullptr;
  std::wstring url;
  curl_off_t received = 0;
  bool began = false;
  bool write_failed = false;

  // False when the caller asked to stop.
  bool Report(ULONG progress, ULONG maximum, ULONG code) {
    if (binding->aborted())
      return false;
    if (callback && callback->OnProgress(progress, maximum, code, url.c_str()) == E_ABORT)
      binding->SetAborted();
    return !binding->aborted();
  }

  ULONG Total() {
    curl_off_t length = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    return ClampToUlong(length);
  }
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  Transfer* transfer = static_cast<Transfer*>(user);
  size_t length = size * count;
  if (!transfer->began) {
    transfer->began = true;
    if (!transfer->Report(0, transfer->Total(), BINDSTATUS_BEGINDOWNLOADDATA))
      return 0;
  }
  size_t written = 0;
  while (written < length) {
    ssize_t n = write(transfer->fd, data + written, length - written);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      transfer->write_failed = true;
      return 0;
    }
    written += static_cast<size_t>(n);
  }
  transfer->received += static_cast<curl_off_t>(length);
  if (!transfer->Report(ClampToUlong(transfer->received), transfer->Total(),
                        BINDSTATUS_DOWNLOADINGDATA)) {
    return 0;
  }
  return length;
}

// Also called while no data arrives, so an Abort() from another thread is
// seen within about a second.
int CheckAbort(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<Transfer*>(user)->binding->aborted() ? 1 : 0;
}

std::string Scheme(const std::string& url) {
  size_t colon = url.find("://");
  if (colon == std::string::npos)
    return std::string();
  std::string scheme = url.substr(0, colon);
  for (char& c : scheme)
    c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return scheme;
}

HRESULT MapResult(CURLcode code, long http_status, const Transfer& transfer) {
  if (transfer.binding->aborted())
    return E_ABORT;
  if (transfer.write_failed)
    return E_OUTOFMEMORY;
  switch (code) {
    case CURLE_OK:
      return S_OK;
    case CURLE_OUT_OF_MEMORY:
      return E_OUTOFMEMORY;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return INET_E_UNKNOWN_PROTOCOL;
    case CURLE_URL_MALFORMAT:
      return INET_E_INVALID_URL;
    case CURLE_COULDNT_RESOLVE_HOST:
      return INET_E_RESOURCE_NOT_FOUND;
    case CURLE_HTTP_RETURNED_ERROR:
      return http_status == 404 ? INET_E_RESOURCE_NOT_FOUND : INET_E_DOWNLOAD_FAILURE;
    default:
      return INET_E_DOWNLOAD_FAILURE;
  }
}

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

namespace win32 {

void SetDownloadStallSecondsForTesting(int seconds) {
  std::lock_guard<std::mutex> hold(g_settings_lock);
  g_stall_seconds = seconds > 0 ? seconds : kDefaultStallSeconds;
}

void SetDownloadConfigFileForTesting(const std::string& config_path) {
  std::lock_guard<std::mutex> hold(g_settings_lock);
  g_config_file = config_path;
}

}  // namespace win32

HRESULT URLDownloadToFileW(LPUNKNOWN,
                           LPCWSTR url,
                           LPCWSTR file_name,
                           DWORD,
                           LPBINDSTATUSCALLBACK callback) {
  if (!url || !*url || !file_name || !*file_name)
    return E_INVALIDARG;
  std::string address = win32::WideToUtf8(url);
  std::string scheme = Scheme(address);
  if (scheme != "http" && scheme != "https")
    return INET_E_UNKNOWN_PROTOCOL;

  // The body goes to a hidden temporary file beside the target, which takes
  // the target's name only when complete.
  std::string target = win32::WideToUtf8(file_name);
  struct stat st;
  if (stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return E_OUTOFMEMORY;
  size_t slash = target.rfind('/');
  std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temporary =
      (slash == std::string::npos ? std::string() : folder) + "." + base + ".download-XXXXXX";
  std::vector<char> temporary_name(temporary.begin(), temporary.end());
  temporary_name.push_back('\0');
  int fd = mkostemp(temporary_name.data(), O_CLOEXEC);
  if (fd < 0) {
    LOG(ERROR) << "cannot create a file beside " << target << ": " << strerror(errno);
    return E_OUTOFMEMORY;
  }
  temporary.assign(temporary_name.data());
  fchmod(fd, 0644);

  InitCurlOnce();
  Transfer transfer;
  transfer.fd = fd;
  transfer.callback = callback;
  transfer.binding = new Binding();
  transfer.url = url;
  transfer.curl = curl_easy_init();
  if (callback)
    callback->AddRef();

  HRESULT result = S_OK;
  if (!transfer.curl)
    result = E_OUTOFMEMORY;
  if (SUCCEEDED(result) && callback && callback->OnStartBinding(0, transfer.binding) == E_ABORT)
    transfer.binding->SetAborted();
  std::string host = address.substr(scheme.size() + 3);
  host = host.substr(0, host.find_first_of("/?#"));
  std::wstring wide_host = win32::Utf8ToWide(host);
  if (SUCCEEDED(result) && callback && !transfer.binding->aborted()) {
    if (callback->OnProgress(0, 0, BINDSTATUS_FINDINGRESOURCE, wide_host.c_str()) == E_ABORT ||
        callback->OnProgress(0, 0, BINDSTATUS_CONNECTING, wide_host.c_str()) == E_ABORT ||
        callback->OnProgress(0, 0, BINDSTATUS_SENDINGREQUEST, url) == E_ABORT) {
      transfer.binding->SetAborted();
    }
  }

  std::string ca_file;
  long http_status = 0;
  if (SUCCEEDED(result) && !transfer.binding->aborted()) {
    int stall_seconds;
    {
      std::lock_guard<std::mutex> hold(g_settings_lock);
      stall_seconds = g_stall_seconds;
    }
    CURL* curl = transfer.curl;
    curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(stall_seconds));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &CheckAbort);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    ca_file = TrustedCaFile();
    if (!ca_file.empty()) {
      curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, &AddCaFile);
      curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, &ca_file);
    }
    CURLcode code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &http_status);
    result = MapResult(code, http_status, transfer);
    if (FAILED(result) && result != E_ABORT) {
      LOG(WARNING) << "download of " << address << " failed: " << curl_easy_strerror(code)
                   << " (HTTP " << http_status << ")";
    }
  } else if (SUCCEEDED(result)) {
    result = E_ABORT;
  }

  if (SUCCEEDED(result) && (fsync(fd) != 0 || close(fd) != 0)) {
    fd = -1;
    result = E_OUTOFMEMORY;
  } else if (SUCCEEDED(result)) {
    fd = -1;
    if (rename(temporary.c_str(), target.c_str()) != 0) {
      LOG(ERROR) << "cannot move the download to " << target << ": " << strerror(errno);
      result = E_OUTOFMEMORY;
    }
  }
  if (fd >= 0)
    close(fd);
  if (FAILED(result))
    unlink(temporary.c_str());
  if (SUCCEEDED(result))
    transfer.Report(ClampToUlong(transfer.received), ClampToUlong(transfer.received),
                    BINDSTATUS_ENDDOWNLOADDATA);
  if (callback) {
    callback->OnStopBinding(result, nullptr);
    callback->Release();
  }
  if (transfer.curl)
    curl_easy_cleanup(transfer.curl);
  transfer.binding->Release();
  return result;
}
