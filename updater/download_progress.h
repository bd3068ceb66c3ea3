// The status callback handed to the URL download: turns progress reports
// into percentages posted to the updater's window.
#ifndef UPDATER_DOWNLOAD_PROGRESS_H_
#define UPDATER_DOWNLOAD_PROGRESS_H_

#include <atomic>

#include "win32/urlmon.h"

class DownloadProgress : public IBindStatusCallback {
 public:
  // |abort| (may be null) is read at each report; when set the download is
  // told to stop.
  DownloadProgress(HWND window, const std::atomic<bool>* abort);

  // The percentage a report of |progress| out of |maximum| shows; -1 when
  // |maximum| is 0 (the report is ignored).
  static int PercentOf(ULONG progress, ULONG maximum);

  // IUnknown: the sink answers no interface queries and lives on the stack
  // of the download.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // IBindStatusCallback. Called on the download thread.
  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress,
                                       ULONG progress_max,
                                       ULONG status_code,
                                       LPCWSTR status_text) override;
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

 private:
  HWND window_;
  const std::atomic<bool>* abort_;
};

#endif  // UPDATER_DOWNLOAD_PROGRESS_H_
