#include "updater/update_download.h"

#include <cstdio>
#include <vector>

#include "base/logging.h"
#include "updater/download_progress.h"
#include "win32/code_page.h"
#include "win32/message_queue.h"
#include "win32/profile.h"
#include "win32/url_download.h"

namespace {

void Print(const char* line) {
  if (*line) {
    std::fputs(line, stdout);
    std::fflush(stdout);
  }
}

// The whole recorded address, however long (the design's fixed buffer cut
// it to 99 characters).
std::wstring ReadUpdateUrl(const std::wstring& config_path) {
  for (DWORD size = 1024;; size *= 4) {
    std::vector<wchar_t> buffer(size);
    DWORD length = GetPrivateProfileStringW(L"update_info", L"update_url", L"", buffer.data(), size,
                                            config_path.c_str());
    if (length < size - 1 || size >= (1u << 20))
      return std::wstring(buffer.data(), length);
  }
}

void Fail(HWND window, UpdateFailure failure) {
  PostMessageW(window, kFailureMessage, static_cast<WPARAM>(failure), 0);
}

}  // namespace

const wchar_t* FailureText(UpdateFailure failure) {
  switch (failure) {
    case UpdateFailure::kBadLink:
      return L"更新失败：无效的更新链接!";
    case UpdateFailure::kOutOfMemory:
      return L"更新失败：内存不足!";
    case UpdateFailure::kBadAddress:
      return L"更新失败：下载地址无效!";
    case UpdateFailure::kNotFound:
      return L"更新失败：系统无法找到指定资源!";
    case UpdateFailure::kUnknown:
      break;
  }
  return L"更新失败：未知原因!";
}

std::wstring DownloadFileName(const std::wstring& url) {
  size_t slash = url.find_last_of(L'/');
  return slash == std::wstring::npos ? std::wstring() : url.substr(slash + 1);
}

DownloadOutcome OutcomeOf(HRESULT result) {
  switch (result) {
    case S_OK:
      return {true, UpdateFailure::kUnknown, "Ok\n"};
    case E_OUTOFMEMORY:
      return {false, UpdateFailure::kOutOfMemory,
              "Buffer length invalid, or insufficient memory\n"};
    case INET_E_DOWNLOAD_FAILURE:
      return {false, UpdateFailure::kBadAddress, "URL is invalid\n"};
    case INET_E_RESOURCE_NOT_FOUND:
      return {false, UpdateFailure::kNotFound, ""};
    case INET_E_UNKNOWN_PROTOCOL:
      return {false, UpdateFailure::kBadLink, ""};
    default:
      return {false, UpdateFailure::kUnknown, "URL is invalid\n"};
  }
}

void RunUpdateDownload(HWND window,
                       const std::wstring& config_path,
                       const std::wstring& program_dir,
                       DownloadAbort* abort) {
  const std::wstring url = ReadUpdateUrl(config_path);
  const std::wstring name = DownloadFileName(url);
  if (name.empty()) {
    Print("update filename is empty\n");
    return Fail(window, UpdateFailure::kBadLink);
  }
  DownloadProgress progress(window, abort);
  HRESULT result =
      URLDownloadToFileW(nullptr, url.c_str(), (program_dir + name).c_str(), 0, &progress);
  DownloadOutcome outcome = OutcomeOf(result);
  Print(outcome.printed);
  if (abort && abort->aborted())
    return;
  if (!outcome.ok)
    return Fail(window, outcome.failure);
  PostMessageW(window, kProgressMessage, kDownloadComplete, 0);
}
