#include "win32/toolhelp.h"

#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "win32/code_page.h"
#include "win32/handle_internal.h"
#include "win32/last_error.h"

namespace {

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string BaseName(std::string path) {
  const std::string deleted = " (deleted)";
  if (path.size() > deleted.size() &&
      path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
    path.resize(path.size() - deleted.size());
  }
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The kernel keeps the name of the file given to exec (for a script too),
// cut to 15 bytes; the full name is recovered from the executable link or
// the first arguments when the cut name starts them.
std::string ExeName(const std::string& dir) {
  std::string comm = ReadFileText(dir + "/comm");
  if (!comm.empty() && comm.back() == '\n')
    comm.pop_back();
  if (comm.size() < 15)
    return comm;
  std::vector<std::string> candidates;
  char link[PATH_MAX];
  ssize_t n = readlink((dir + "/exe").c_str(), link, sizeof(link) - 1);
  if (n > 0)
    candidates.push_back(BaseName(std::string(link, static_cast<size_t>(n))));
  std::string cmdline = ReadFileText(dir + "/cmdline");
  size_t start = 0;
  for (int i = 0; i < 2 && start < cmdline.size(); ++i) {
    size_t end = cmdline.find('\0', start);
    candidates.push_back(BaseName(cmdline.substr(start, end - start)));
    start = end == std::string::npos ? cmdline.size() : end + 1;
  }
  for (const auto& c : candidates) {
    if (c.size() > comm.size() && c.compare(0, comm.size(), comm) == 0)
      return c;
  }
  return comm;
}

class Snapshot : public win32::KernelObject {
 public:
  std::vector<PROCESSENTRY32W> entries;
  std::mutex mutex;
  size_t next = 0;
};

std::shared_ptr<Snapshot> SnapshotOf(HANDLE handle) {
  return std::dynamic_pointer_cast<Snapshot>(win32::LookUpHandle(handle));
}

BOOL Next(HANDLE handle, LPPROCESSENTRY32W entry, bool first) {
  auto snapshot = SnapshotOf(handle);
  if (!snapshot) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!entry || entry->dwSize < sizeof(PROCESSENTRY32W)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(snapshot->mutex);
  if (first)
    snapshot->next = 0;
  if (snapshot->next >= snapshot->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *entry = snapshot->entries[snapshot->next++];
  return TRUE;
}

}  // namespace

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD) {
  if (!(flags & TH32CS_SNAPPROCESS)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  auto snapshot = std::make_shared<Snapshot>();
  DIR* proc = opendir("/proc");
  if (!proc) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  while (struct dirent* d = readdir(proc)) {
    char* end = nullptr;
    unsigned long pid = std::strtoul(d->d_name, &end, 10);
    if (!end || *end != '\0' || pid == 0)
      continue;
    std::string dir = std::string("/proc/") + d->d_name;
    std::string stat = ReadFileText(dir + "/stat");
    size_t close_paren = stat.rfind(')');
    if (close_paren == std::string::npos)
      continue;  // gone meanwhile
    PROCESSENTRY32W entry;
    std::memset(&entry, 0, sizeof(entry));
    entry.dwSize = sizeof(entry);
    entry.th32ProcessID = static_cast<DWORD>(pid);
    // Fields after the name: state ppid ...; field 20 is the thread count.
    std::vector<std::string> fields;
    size_t pos = close_paren + 2;
    while (pos < stat.size()) {
      size_t space = stat.find(' ', pos);
      if (space == std::string::npos)
        space = stat.size();
      fields.push_back(stat.substr(pos, space - pos));
      pos = space + 1;
    }
    if (fields.size() > 17) {
      entry.th32ParentProcessID = static_cast<DWORD>(std::strtoul(fields[1].c_str(), nullptr, 10));
      entry.cntThreads = static_cast<DWORD>(std::strtoul(fields[17].c_str(), nullptr, 10));
    }
    entry.pcPriClassBase = 8;
    std::wstring name = win32::Utf8ToWide(ExeName(dir));
    size_t n = name.size() < MAX_PATH - 1 ? name.size() : MAX_PATH - 1;
    std::memcpy(entry.szExeFile, name.data(), n * sizeof(WCHAR));
    snapshot->entries.push_back(entry);
  }
  closedir(proc);
  return win32::AddHandle(snapshot, false);
}

BOOL Process32FirstW(HANDLE snapshot, LPPROCESSENTRY32W entry) {
  return Next(snapshot, entry, true);
}

BOOL Process32NextW(HANDLE snapshot, LPPROCESSENTRY32W entry) {
  return Next(snapshot, entry, false);
}
