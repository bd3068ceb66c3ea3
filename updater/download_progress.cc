#include "updater/download_progress.h"

#include "updater/update_download.h"
#include "win32/message_queue.h"

DownloadProgress::DownloadProgress(HWND window, const std::atomic<bool>* abort)
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

HRESULT DownloadProgress::OnProgress(ULONG progress, ULONG progress_max, ULONG, LPCWSTR) {
  if (abort_ && abort_->load())
    return E_ABORT;
  int percent = PercentOf(progress, progress_max);
  if (percent >= 0)
    PostMessageW(window_, kProgressMessage, static_cast<WPARAM>(percent), 0);
  return S_OK;
}
