// URLDownloadToFileW on libcurl, with a status object shaped like Windows'
// IBindStatusCallback.
#ifndef WIN32_URL_DOWNLOAD_H_
#define WIN32_URL_DOWNLOAD_H_

#include <string>

#include "win32/com.h"
#include "win32/types.h"

// Results besides S_OK, E_ABORT and E_OUTOFMEMORY.
#define INET_E_INVALID_URL (static_cast<HRESULT>(0x800C0002L))
#define INET_E_NO_SESSION (static_cast<HRESULT>(0x800C0003L))
#define INET_E_CANNOT_CONNECT (static_cast<HRESULT>(0x800C0004L))
#define INET_E_RESOURCE_NOT_FOUND (static_cast<HRESULT>(0x800C0005L))
#define INET_E_OBJECT_NOT_FOUND (static_cast<HRESULT>(0x800C0006L))
#define INET_E_DATA_NOT_AVAILABLE (static_cast<HRESULT>(0x800C0007L))
#define INET_E_DOWNLOAD_FAILURE (static_cast<HRESULT>(0x800C0008L))
#define INET_E_CONNECTION_TIMEOUT (static_cast<HRESULT>(0x800C000BL))
#define INET_E_UNKNOWN_PROTOCOL (static_cast<HRESULT>(0x800C000DL))

// Status codes of OnProgress.
enum BINDSTATUS {
  BINDSTATUS_FINDINGRESOURCE = 1,
  BINDSTATUS_CONNECTING = 2,
  BINDSTATUS_REDIRECTING = 3,
  BINDSTATUS_BEGINDOWNLOADDATA = 4,
  BINDSTATUS_DOWNLOADINGDATA = 5,
  BINDSTATUS_ENDDOWNLOADDATA = 6,
  BINDSTATUS_SENDINGREQUEST = 11,
  BINDSTATUS_MIMETYPEAVAILABLE = 13,
};

// Never filled here; declared so that status objects can name them.
struct BINDINFO;
struct FORMATETC;
struct STGMEDIUM;

// {79EAC9C0-BAF9-11CE-8C82-00AA004BA90B}
extern const IID IID_IBinding;
// {79EAC9C1-BAF9-11CE-8C82-00AA004BA90B}
extern const IID IID_IBindStatusCallback;

// The running download, handed to OnStartBinding. Abort() may be called from
// any thread; the download then ends with E_ABORT.
struct IBinding : IUnknown {
  STDMETHOD(Abort)() = 0;
  STDMETHOD(Suspend)() = 0;
  STDMETHOD(Resume)() = 0;
  STDMETHOD(SetPriority)(LONG priority) = 0;
  STDMETHOD(GetPriority)(LONG* priority) = 0;
};

// The caller's status object. Every method is called on the thread that
// called URLDownloadToFileW. Returning E_ABORT from OnStartBinding or
// OnProgress cancels the download. The object's reference count is raised
// for the length of the download.
struct IBindStatusCallback : IUnknown {
  STDMETHOD(OnStartBinding)(DWORD reserved, IBinding* binding) = 0;
  STDMETHOD(GetPriority)(LONG* priority) = 0;
  STDMETHOD(OnLowResource)(DWORD reserved) = 0;
  // |progress| and |progress_max| are bytes (max 0 while the size is
  // unknown); |status_text| is the address for most codes.
  STDMETHOD(OnProgress)
  (ULONG progress, ULONG progress_max, ULONG status_code, LPCWSTR status_text) = 0;
  STDMETHOD(OnStopBinding)(HRESULT result, LPCWSTR error) = 0;
  STDMETHOD(GetBindInfo)(DWORD* bind_flags, BINDINFO* bind_info) = 0;
  STDMETHOD(OnDataAvailable)(DWORD flags, DWORD size, FORMATETC* format, STGMEDIUM* medium) = 0;
  STDMETHOD(OnObjectAvailable)(REFIID riid, IUnknown* object) = 0;
};
typedef IUnknown* LPUNKNOWN;
typedef IBindStatusCallback* LPBINDSTATUSCALLBACK;

// Downloads |url| (http or https) into |file_name|, synchronously on the
// calling thread. The data goes to a temporary file beside the target that
// replaces the target only when the whole body has arrived, so no partial file
// is ever left under the target name. Redirects are followed (http/https
// only). HTTPS servers are verified against the system's certificate store
// plus the certificate file that "config.ini" in the program directory names
// under [service_hosts] "ca_file" (relative to the program directory).
// Results: S_OK; E_ABORT when the status object cancelled;
// E_OUTOFMEMORY when memory or the target file cannot be had;
// INET_E_UNKNOWN_PROTOCOL for any scheme but http and https;
// INET_E_RESOURCE_NOT_FOUND for an unknown host or an HTTP 404;
// INET_E_DOWNLOAD_FAILURE for a refused or broken connection, a failed TLS
// check, a stalled transfer (less than 1 byte/s for 30 s) and any other HTTP
// error; E_INVALIDARG for a null or empty address or file name.
HRESULT URLDownloadToFileW(LPUNKNOWN caller,
                           LPCWSTR url,
                           LPCWSTR file_name,
                           DWORD reserved,
                           LPBINDSTATUSCALLBACK callback);
#define URLDownloadToFile URLDownloadToFileW

namespace win32 {

// Test seams: the stall time-out (seconds without data before the download
// fails; 0 restores 30) and the config.ini whose "ca_file" is trusted ("" for
// the program directory's).
void SetDownloadStallSecondsForTesting(int seconds);
void SetDownloadConfigFileForTesting(const std::string& config_path);

}  // namespace win32

#endif  // WIN32_URL_DOWNLOAD_H_
