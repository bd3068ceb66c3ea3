#include "installer/process_ending.h"

#include <unistd.h>

#include <cwctype>
#include <filesystem>
#include <system_error>

#include "base/logging.h"
#include "win32/code_page.h"
#include "win32/handle.h"
#include "win32/module.h"
#include "win32/process.h"
#include "win32/toolhelp.h"

namespace tern_install {
namespace {

bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i]))
      return false;
  }
  return true;
}

std::wstring BaseName(const std::wstring& path) {
  size_t slash = path.find_last_of(L'/');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The folder the process's program file lies in, "" when it cannot be read.
std::filesystem::path ProgramFolderOf(DWORD pid) {
  std::error_code error;
  std::filesystem::path exe =
      std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
  if (error)
    return {};
  return exe.parent_path();
}

bool SameFolder(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code error;
  return !a.empty() && !b.empty() && std::filesystem::equivalent(a, b, error);
}

}  // namespace

bool KillProcessByName(const std::wstring& name, const std::wstring& program_dir) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE)
    return false;
  const std::filesystem::path ours(win32::WideToUtf8(program_dir));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  bool ended = false;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !ended;
       more = Process32NextW(snapshot, &entry)) {
    if (!EqualsIgnoringCase(BaseName(entry.szExeFile), name) ||
        entry.th32ProcessID == GetCurrentProcessId())
      continue;
    if (!SameFolder(ProgramFolderOf(entry.th32ProcessID), ours))
      continue;
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
    if (!process)
      continue;
    ended = TerminateProcess(process, 0) != FALSE;
    CloseHandle(process);
    LOG(INFO) << "Ended " << win32::WideToUtf8(name) << " (pid " << entry.th32ProcessID
              << (ended ? ")" : ") failed");
  }
  CloseHandle(snapshot);
  return ended;
}

std::wstring OwnProgramDirectory() {
  wchar_t path[4096] = {};
  DWORD length = GetModuleFileNameW(nullptr, path, 4096);
  std::wstring full(path, length);
  size_t slash = full.find_last_of(L'/');
  return slash == std::wstring::npos ? std::wstring() : full.substr(0, slash);
}

}  // namespace tern_install
