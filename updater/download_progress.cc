#include "updater/download_progress.h"

#include "updater/update_download.h"
#include "win32/message_queue.h"

DownloadAbort::~DownloadAbort() {
  Detach();
}

void DownloadAbort::Abort() {
  std::lock_guard<std::mutex> hold(lock_);
  aborted_ = true;
  if (binding_)
    binding_->Abort();
}

bool DownloadAbort::aborted() const {
  std::lock_guard<std::mutex> hold(lock_);
  return aborted_;
}

void DownloadAbort::Attach(IBinding* binding) {
  std::lock_guard<std::mutex> hold(lock_);
  if (binding_ || !binding)
    return;
  binding_ = binding;
  binding_->AddRef();
}

void DownloadAbort::Detach() {
  std::lock_guard<std::mutex> hold(lock_);
  if (binding_)
    binding_->Release();
  binding_ = nullptr;
}

DownloadProgress::DownloadProgress(HWND window, DownloadAbort* abort)
    : window_(window), abort_(abort) {}

int DownloadProgress::PercentOf(ULONG progress, ULONG maximum) {
  if (maximum == 0)
    return -1;
  return static_cast<int>(static_cast<double>(progress) / maximum * 100);
}

HRESULT DownloadProgress::QueryInterface(REFIID, void** object) {
  if (object)
    *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT DownloadProgress::OnStartBinding(DWORD, IBinding* binding) {
  if (!abort_)
    return S_OK;
  abort_->Attach(binding);
  return abort_->aborted() ? E_ABORT : S_OK;
}

HRESULT DownloadProgress::OnProgress(ULONG progress, ULONG progress_max, ULONG, LPCWSTR) {
  if (abort_ && abort_->aborted())
    return E_ABORT;
  int percent = PercentOf(progress, progress_max);
  if (percent >= 0)
    PostMessageW(window_, kProgressMessage, static_cast<WPARAM>(percent), 0);
  return S_OK;
}

HRESULT DownloadProgress::OnStopBinding(HRESULT, LPCWSTR) {
  if (abort_)
    abort_->Detach();
  return S_OK;
}
