// The updater's download step: the file-name rule, the download into the
// program directory and the mapping of its result to the user's texts.
#ifndef UPDATER_UPDATE_DOWNLOAD_H_
#define UPDATER_UPDATE_DOWNLOAD_H_

#include <string>

#include "win32/types.h"
#include "win32/window.h"

class DownloadAbort;

// Posted to the window: the progress percentage, or 101 when the download is
// complete.
constexpr UINT kProgressMessage = 1125;
// Posted to the window on failure; wParam is an UpdateFailure.
constexpr UINT kFailureMessage = 1126;
constexpr int kDownloadComplete = 101;

enum class UpdateFailure : int {
  kBadLink = 0,  // "更新失败：无效的更新链接!"
  kOutOfMemory,  // "更新失败：内存不足!"
  kBadAddress,   // "更新失败：下载地址无效!"
  kNotFound,     // "更新失败：系统无法找到指定资源!"
  kUnknown,      // "更新失败：未知原因!"
};

// The status text shown for a failure.
const wchar_t* FailureText(UpdateFailure failure);

// The file name of a download address: the part after its last "/"; "" when
// it has no "/" or ends in one.
std::wstring DownloadFileName(const std::wstring& url);

// How a download result is reported: the failure (none on success) and the
// line printed to standard output ("" for none).
struct DownloadOutcome {
  bool ok = false;
  UpdateFailure failure = UpdateFailure::kUnknown;
  const char* printed = "";
};
DownloadOutcome OutcomeOf(HRESULT result);

// Downloads the address recorded in |config_path| ("update_info" /
// "update_url", read whole) into |program_dir| (with its trailing "/") under
// the address's file name, posting progress and the outcome to |window|. The
// download replaces the file only when complete, so an aborted or failed one
// never leaves a half file under the installer's name. |abort| stops it from
// another thread; nothing is posted then. Runs on the download thread.
void RunUpdateDownload(HWND window,
                       const std::wstring& config_path,
                       const std::wstring& program_dir,
                       DownloadAbort* abort);

#endif  // UPDATER_UPDATE_DOWNLOAD_H_
