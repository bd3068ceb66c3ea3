// The status callback handed to the URL download: turns progress reports
// into percentages posted to the updater's window, and lets the window stop
// the download.
#ifndef UPDATER_DOWNLOAD_PROGRESS_H_
#define UPDATER_DOWNLOAD_PROGRESS_H_

#include <mutex>

#include "win32/url_download.h"
#include "win32/window.h"

// Stops a download from another thread, also while no data arrives.
class DownloadAbort {
 public:
  DownloadAbort() = default;
  DownloadAbort(const DownloadAbort&) = delete;
  DownloadAbort& operator=(const DownloadAbort&) = delete;
  ~DownloadAbort();

  void Abort();
  bool aborted() const;
  // The running download's binding, held until Detach. Called on the
  // download thread.
  void Attach(IBinding* binding);
  void Detach();

 private:
  mutable std::mutex lock_;
  bool aborted_ = false;
  IBinding* binding_ = nullptr;
};

class DownloadProgress : public IBindStatusCallback {
 public:
  // |abort| (may be null) stops the download when set.
  DownloadProgress(HWND window, DownloadAbort* abort);

  // The percentage a report of |progress| out of |maximum| shows; -1 when
  // |maximum| is 0 (the report is ignored).
  static int PercentOf(ULONG progress, ULONG maximum);

  // IUnknown: the sink answers no interface queries and lives on the stack
  // of the download.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // IBindStatusCallback. Called on the download thread.
  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD reserved, IBinding* binding) override;
  HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress,
                                       ULONG progress_max,
                                       ULONG status_code,
                                       LPCWSTR status_text) override;
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR error) override;
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

 private:
  HWND window_;
  DownloadAbort* abort_;
};

#endif  // UPDATER_DOWNLOAD_PROGRESS_H_
