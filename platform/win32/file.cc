#include "win32/file.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "machine/machine_root.h"
#include "win32/code_page.h"
#include "win32/last_error.h"

namespace {

constexpr char kXattrName[] = "user.tern.attributes";
constexpr char kSidecarSuffix[] = ".tern-attributes";
// Bits kept in the store; READONLY and DIRECTORY come from the file system.
constexpr DWORD kStoredMask = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                              FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

std::atomic<bool> g_xattrs_unsupported{false};

std::string ToPath(LPCWSTR name) {
  return name ? win32::WideToUtf8(name) : std::string();
}

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  return path;
}

std::string ParentOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string SidecarPath(const std::string& path) {
  std::string clean = StripTrailingSlashes(path);
  std::string parent = ParentOf(clean);
  return (parent == "/" ? "" : parent) + "/." + BaseNameOf(clean) + kSidecarSuffix;
}

bool IsSidecarName(std::string_view name) {
  size_t suffix = sizeof(kSidecarSuffix) - 1;
  return name.size() > suffix + 1 && name[0] == '.' &&
         name.substr(name.size() - suffix) == kSidecarSuffix;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ENOENT means a missing file when its folder exists, else a missing path.
DWORD ErrorFromErrno(int error, const std::string& path) {
  switch (error) {
    case ENOENT:
      return IsDirectory(ParentOf(StripTrailingSlashes(path))) ? ERROR_FILE_NOT_FOUND
                                                               : ERROR_PATH_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case ENOSPC:
      return ERROR_DISK_FULL;
    case EBUSY:
      return ERROR_BUSY;
    case EXDEV:
      return ERROR_NOT_SAME_DEVICE;
    default:
      return ERROR_GEN_FAILURE;
  }
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

bool ParseStored(const std::string& text, DWORD* value) {
  char* end = nullptr;
  errno = 0;
  unsigned long parsed = strtoul(text.c_str(), &end, 10);
  if (text.empty() || errno != 0 || *end != '\0')
    return false;
  *value = static_cast<DWORD>(parsed) & kStoredMask;
  return true;
}

DWORD ReadSidecar(const std::string& path) {
  FILE* file = fopen(SidecarPath(path).c_str(), "re");
  if (!file)
    return 0;
  char buffer[32] = {};
  size_t n = fread(buffer, 1, sizeof(buffer) - 1, file);
  fclose(file);
  DWORD value = 0;
  return ParseStored(std::string(buffer, n), &value) ? value : 0;
}

DWORD ReadStored(const std::string& path) {
  if (!g_xattrs_unsupported) {
    char buffer[32] = {};
    ssize_t n = getxattr(path.c_str(), kXattrName, buffer, sizeof(buffer) - 1);
    if (n >= 0) {
      DWORD value = 0;
      return ParseStored(std::string(buffer, static_cast<size_t>(n)), &value) ? value : 0;
    }
    if (errno != ENOTSUP)
      return 0;
  }
  return ReadSidecar(path);
}

// Written to a temporary name and renamed so a crash never leaves half a value.
int WriteSidecar(const std::string& path, DWORD value) {
  std::string sidecar = SidecarPath(path);
  if (value == 0)
    return unlink(sidecar.c_str()) == 0 || errno == ENOENT ? 0 : errno;
  std::string temp = sidecar + ".new";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0)
    return errno;
  std::string text = std::to_string(value);
  bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  int error = ok ? 0 : (errno ? errno : EIO);
  if (close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && rename(temp.c_str(), sidecar.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok)
    unlink(temp.c_str());
  return error;
}

int WriteStored(const std::string& path, DWORD value) {
  if (!g_xattrs_unsupported) {
    int result = 0;
    if (value == 0) {
      result = removexattr(path.c_str(), kXattrName);
      if (result != 0 && errno == ENODATA)
        result = 0;
    } else {
      std::string text = std::to_string(value);
      result = setxattr(path.c_str(), kXattrName, text.data(), text.size(), 0);
    }
    if (result == 0) {
      // A value left behind from an earlier sidecar-only mount must not win.
      WriteSidecar(path, 0);
      return 0;
    }
    if (errno != ENOTSUP)
      return errno;
  }
  return WriteSidecar(path, value);
}

DWORD AttributesFromStat(const std::string& path, const struct stat& st) {
  DWORD attributes = ReadStored(path);
  if (S_ISDIR(st.st_mode))
    attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if (!(st.st_mode & S_IWUSR))
    attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

FILETIME ToFileTime(const struct timespec& time) {
  // 100 ns ticks since 1601-01-01.
  constexpr int64_t kEpochDelta = 11644473600LL;
  int64_t ticks =
      (static_cast<int64_t>(time.tv_sec) + kEpochDelta) * 10000000LL + time.tv_nsec / 100;
  if (ticks < 0)
    ticks = 0;
  FILETIME result;
  result.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
  result.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
  return result;
}

// Windows wildcards: "*" any run, "?" one character, no case distinction.
bool WildcardMatch(std::u32string_view pattern, std::u32string_view name) {
  size_t p = 0, n = 0, star = std::u32string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == U'*') {
      star = p++;
      resume = n;
    } else if (star != std::u32string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == U'*')
    ++p;
  return p == pattern.size();
}

std::u32string Folded(const std::string& utf8) {
  std::wstring wide = win32::Utf8ToWide(machine::FoldCase(utf8));
  return std::u32string(wide.begin(), wide.end());
}

bool NameMatches(const std::u32string& folded_pattern, const std::string& name) {
  // "*.*" also matches names without a dot, as on Windows.
  if (folded_pattern == U"*.*")
    return true;
  return WildcardMatch(folded_pattern, Folded(name));
}

struct FindState {
  std::string folder;
  std::vector<std::string> names;
  size_t next = 0;
};

std::mutex g_find_mutex;
std::set<FindState*>& OpenFinds() {
  static std::set<FindState*> finds;
  return finds;
}

// Fills the record for one entry; false when it vanished since the listing.
bool FillFindData(const FindState& state, const std::string& name, WIN32_FIND_DATAW* data) {
  std::string path = (state.folder == "/" ? "" : state.folder) + "/" + name;
  struct stat st;
  if (lstat(path.c_str(), &st) != 0)
    return false;
  if (S_ISLNK(st.st_mode) && stat(path.c_str(), &st) != 0)
    return false;
  std::memset(data, 0, sizeof(*data));
  data->dwFileAttributes = AttributesFromStat(path, st);
  data->ftLastWriteTime = ToFileTime(st.st_mtim);
  data->ftLastAccessTime = ToFileTime(st.st_atim);
  // Linux stat keeps no creation time; the last change is the closest.
  data->ftCreationTime = ToFileTime(st.st_ctim);
  if (!S_ISDIR(st.st_mode)) {
    uint64_t size = static_cast<uint64_t>(st.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFF);
  }
  std::wstring wide = win32::Utf8ToWide(name);
  size_t count = std::min<size_t>(wide.size(), MAX_PATH - 1);
  std::memcpy(data->cFileName, wide.data(), count * sizeof(WCHAR));
  return true;
}

bool NextEntry(FindState* state, WIN32_FIND_DATAW* data) {
  while (state->next < state->names.size()) {
    if (FillFindData(*state, state->names[state->next++], data))
      return true;
  }
  return false;
}

bool OnlySidecarsIn(const std::string& folder, std::vector<std::string>* sidecars) {
  DIR* dir = opendir(folder.c_str());
  if (!dir)
    return false;
  bool only = true;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..")
      continue;
    if (!IsSidecarName(name)) {
      only = false;
      break;
    }
    sidecars->push_back(folder + "/" + name);
  }
  closedir(dir);
  return only;
}

template <typename Char>
DWORD CopyTempPath(const std::basic_string<Char>& path, DWORD length, Char* buffer) {
  DWORD needed = static_cast<DWORD>(path.size() + 1);
  if (!buffer || length < needed) {
    SetLastError(ERROR_SUCCESS);
    return needed;
  }
  std::memcpy(buffer, path.data(), path.size() * sizeof(Char));
  buffer[path.size()] = 0;
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(path.size());
}

std::string TempPath() {
  const char* tmpdir = getenv("TMPDIR");
  std::string path = tmpdir && *tmpdir ? tmpdir : "/tmp";
  if (path.back() != '/')
    path += '/';
  return path;
}

}  // namespace

DWORD GetFileAttributesW(LPCWSTR file_name) {
  std::string path = ToPath(file_name);
  if (path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    SetLastError(ErrorFromErrno(errno, path));
    return INVALID_FILE_ATTRIBUTES;
  }
  SetLastError(ERROR_SUCCESS);
  return AttributesFromStat(path, st);
}

BOOL SetFileAttributesW(LPCWSTR file_name, DWORD attributes) {
  std::string path = ToPath(file_name);
  if (path.empty())
    return Fail(ERROR_PATH_NOT_FOUND);
  struct stat st;
  if (stat(path.c_str(), &st) != 0)
    return Fail(ErrorFromErrno(errno, path));
  bool directory = S_ISDIR(st.st_mode);
  bool read_only = attributes & FILE_ATTRIBUTE_READONLY;
  // Writing a user xattr needs write access, so lift the bit while storing.
  if (!(st.st_mode & S_IWUSR) && chmod(path.c_str(), st.st_mode | S_IWUSR) != 0)
    return Fail(ErrorFromErrno(errno, path));
  int error = WriteStored(path, attributes & kStoredMask);
  mode_t mode = st.st_mode & 07777;
  if (!directory)
    mode = read_only ? (mode & ~S_IWUSR) : (mode | S_IWUSR);
  if (chmod(path.c_str(), mode) != 0 && !error)
    error = errno;
  if (error)
    return Fail(ErrorFromErrno(error, path));
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

HANDLE FindFirstFileW(LPCWSTR file_name, LPWIN32_FIND_DATAW find_data) {
  std::string path = ToPath(file_name);
  if (path.empty() || !find_data) {
    SetLastError(path.empty() ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  size_t slash = path.rfind('/');
  std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);
  if (pattern.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  DIR* dir = opendir(folder.c_str());
  if (!dir) {
    SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                     : ErrorFromErrno(errno, folder));
    return INVALID_HANDLE_VALUE;
  }
  auto state = std::make_unique<FindState>();
  state->folder = folder;
  std::u32string folded_pattern = Folded(pattern);
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (IsSidecarName(name))
      continue;
    // The root folder has no "." or ".." entries on Windows.
    if ((name == "." || name == "..") && folder == "/")
      continue;
    if (NameMatches(folded_pattern, name))
      state->names.push_back(name);
  }
  closedir(dir);
  // Windows lists "." and ".." first.
  std::stable_sort(state->names.begin(), state->names.end(), [](const auto& a, const auto& b) {
    auto rank = [](const std::string& n) { return n == "." ? 0 : n == ".." ? 1 : 2; };
    return rank(a) < rank(b);
  });
  if (!NextEntry(state.get(), find_data)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::lock_guard<std::mutex> lock(g_find_mutex);
  FindState* raw = state.release();
  OpenFinds().insert(raw);
  SetLastError(ERROR_SUCCESS);
  return static_cast<HANDLE>(raw);
}

BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW find_data) {
  std::lock_guard<std::mutex> lock(g_find_mutex);
  auto it = OpenFinds().find(static_cast<FindState*>(find));
  if (it == OpenFinds().end())
    return Fail(ERROR_INVALID_HANDLE);
  if (!find_data)
    return Fail(ERROR_INVALID_PARAMETER);
  if (!NextEntry(*it, find_data))
    return Fail(ERROR_NO_MORE_FILES);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL FindClose(HANDLE find) {
  std::lock_guard<std::mutex> lock(g_find_mutex);
  auto it = OpenFinds().find(static_cast<FindState*>(find));
  if (it == OpenFinds().end())
    return Fail(ERROR_INVALID_HANDLE);
  delete *it;
  OpenFinds().erase(it);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR file_name) {
  std::string path = ToPath(file_name);
  if (path.empty())
    return Fail(ERROR_PATH_NOT_FOUND);
  struct stat st;
  if (lstat(path.c_str(), &st) != 0)
    return Fail(ErrorFromErrno(errno, path));
  if (S_ISDIR(st.st_mode) || (!S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR)))
    return Fail(ERROR_ACCESS_DENIED);
  if (unlink(path.c_str()) != 0)
    return Fail(ErrorFromErrno(errno, path));
  unlink(SidecarPath(path).c_str());
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR path_name) {
  std::string path = StripTrailingSlashes(ToPath(path_name));
  if (path.empty())
    return Fail(ERROR_PATH_NOT_FOUND);
  if (rmdir(path.c_str()) != 0) {
    int error = errno;
    std::vector<std::string> sidecars;
    // Sidecars are invisible, so a folder holding only them counts as empty.
    if ((error != ENOTEMPTY && error != EEXIST) || !OnlySidecarsIn(path, &sidecars))
      return Fail(error == EEXIST ? ERROR_DIR_NOT_EMPTY : ErrorFromErrno(error, path));
    for (const std::string& sidecar : sidecars)
      unlink(sidecar.c_str());
    if (rmdir(path.c_str()) != 0)
      return Fail(ErrorFromErrno(errno, path));
  }
  unlink(SidecarPath(path).c_str());
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL CreateDirectoryW(LPCWSTR path_name, LPSECURITY_ATTRIBUTES) {
  std::string path = StripTrailingSlashes(ToPath(path_name));
  if (path.empty())
    return Fail(ERROR_PATH_NOT_FOUND);
  if (mkdir(path.c_str(), 0777) != 0) {
    int error = errno;
    return Fail(error == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(error, path));
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL MoveFileExW(LPCWSTR existing_file_name, LPCWSTR new_file_name, DWORD flags) {
  std::string from = StripTrailingSlashes(ToPath(existing_file_name));
  std::string to = StripTrailingSlashes(ToPath(new_file_name));
  if (from.empty() || to.empty())
    return Fail(ERROR_PATH_NOT_FOUND);
  struct stat st;
  if (lstat(from.c_str(), &st) != 0)
    return Fail(ErrorFromErrno(errno, from));
  struct stat target;
  bool target_exists = lstat(to.c_str(), &target) == 0;
  if (target_exists && !(st.st_dev == target.st_dev && st.st_ino == target.st_ino)) {
    if (!(flags & MOVEFILE_REPLACE_EXISTING))
      return Fail(ERROR_ALREADY_EXISTS);
    // A folder or a read-only file is never replaced, as on Windows.
    if (S_ISDIR(target.st_mode) || S_ISDIR(st.st_mode) || !(target.st_mode & S_IWUSR))
      return Fail(ERROR_ACCESS_DENIED);
  }
  if (rename(from.c_str(), to.c_str()) != 0)
    return Fail(ErrorFromErrno(errno, to));
  std::string old_sidecar = SidecarPath(from);
  std::string new_sidecar = SidecarPath(to);
  if (rename(old_sidecar.c_str(), new_sidecar.c_str()) != 0 && errno == ENOENT)
    unlink(new_sidecar.c_str());
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

DWORD GetTempPathW(DWORD buffer_length, LPWSTR buffer) {
  return CopyTempPath(win32::Utf8ToWide(TempPath()), buffer_length, buffer);
}

DWORD GetTempPathA(DWORD buffer_length, LPSTR buffer) {
  return CopyTempPath(win32::WideToAnsi(win32::Utf8ToWide(TempPath())), buffer_length, buffer);
}

namespace win32 {

void SetXattrsUnsupportedForTesting(bool unsupported) {
  g_xattrs_unsupported = unsupported;
}

}  // namespace win32
