#include "win32/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "win32/code_page.h"
#include "win32/handle_internal.h"
#include "win32/last_error.h"

extern char** environ;

namespace {

int PidfdOpen(pid_t pid) {
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

// One object per process id, shared by every handle to it.
class ProcessObject : public win32::KernelObject {
 public:
  ProcessObject(pid_t pid, int pidfd, bool child) : pid_(pid), pidfd_(pidfd), child_(child) {}
  ~ProcessObject() override {
    if (child_ && !exited_) {
      // Nobody waits any more: reap the child whenever it ends, so that no
      // zombie stays behind.
      int fd = pidfd_;
      pid_t pid = pid_;
      std::thread([fd, pid] {
        struct pollfd p = {fd, POLLIN, 0};
        while (poll(&p, 1, -1) < 0 && errno == EINTR) {
        }
        siginfo_t info;
        waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED);
        close(fd);
      }).detach();
      return;
    }
    if (pidfd_ >= 0)
      close(pidfd_);
  }

  DWORD Wait(DWORD milliseconds) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (exited_)
      return WAIT_OBJECT_0;
    struct pollfd p = {pidfd_, POLLIN, 0};
    int timeout = milliseconds == INFINITE ? -1
                  : milliseconds > INT_MAX ? INT_MAX
                                           : static_cast<int>(milliseconds);
    int rc;
    while ((rc = poll(&p, 1, timeout)) < 0 && errno == EINTR) {
    }
    if (rc < 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    if (rc == 0)
      return WAIT_TIMEOUT;
    Collect();
    return WAIT_OBJECT_0;
  }

  DWORD ExitCode() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!exited_) {
      struct pollfd p = {pidfd_, POLLIN, 0};
      if (poll(&p, 1, 0) <= 0)
        return STILL_ACTIVE;
      Collect();
    }
    return exit_code_;
  }

  bool Terminate(UINT exit_code) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (exited_)
      return false;
    terminate_code_ = exit_code;
    terminated_ = true;
    return syscall(SYS_pidfd_send_signal, pidfd_, SIGKILL, nullptr, 0) == 0;
  }

  pid_t pid() const { return pid_; }

 private:
  // Called with mutex_ held once the process has ended.
  void Collect() {
    exited_ = true;
    exit_code_ = terminated_ ? terminate_code_ : 0;
    if (!child_)
      return;  // the exit status of another process's child is not ours to read
    siginfo_t info;
    std::memset(&info, 0, sizeof(info));
    if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED) == 0 && !terminated_) {
      exit_code_ = info.si_code == CLD_EXITED ? static_cast<DWORD>(info.si_status)
                                              : 128u + static_cast<DWORD>(info.si_status);
    }
  }

  const pid_t pid_;
  const int pidfd_;
  const bool child_;
  std::mutex mutex_;
  bool exited_ = false;
  bool terminated_ = false;
  DWORD exit_code_ = 0;
  UINT terminate_code_ = 0;
};

// The thread handle of PROCESS_INFORMATION: waits like its process.
class ThreadObject : public win32::KernelObject {
 public:
  explicit ThreadObject(std::shared_ptr<ProcessObject> process) : process_(std::move(process)) {}
  DWORD Wait(DWORD milliseconds) override { return process_->Wait(milliseconds); }

 private:
  std::shared_ptr<ProcessObject> process_;
};

std::mutex g_processes_mutex;
std::map<pid_t, std::weak_ptr<ProcessObject>>& Processes() {
  static std::map<pid_t, std::weak_ptr<ProcessObject>> processes;
  return processes;
}

std::shared_ptr<ProcessObject> ProcessFor(pid_t pid, int pidfd, bool child) {
  std::lock_guard<std::mutex> lock(g_processes_mutex);
  auto& slot = Processes()[pid];
  if (auto existing = slot.lock()) {
    if (pidfd >= 0)
      close(pidfd);
    return existing;
  }
  auto object = std::make_shared<ProcessObject>(pid, pidfd, child);
  slot = object;
  return object;
}

std::shared_ptr<ProcessObject> ProcessOf(HANDLE handle) {
  return std::dynamic_pointer_cast<ProcessObject>(win32::LookUpHandle(handle));
}

std::string Lower(std::string s) {
  for (auto& c : s) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c + 32);
  }
  return s;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// |names| in order of preference; the exact spelling first, then any case.
std::string FindInDirectory(const std::string& dir, const std::vector<std::string>& names) {
  std::string prefix = dir.empty() || dir.back() == '/' ? dir : dir + "/";
  for (const auto& name : names) {
    if (IsExecutableFile(prefix + name))
      return prefix + name;
  }
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d)
    return std::string();
  std::vector<std::string> found(names.size());
  while (struct dirent* entry = readdir(d)) {
    std::string lower = Lower(entry->d_name);
    for (size_t i = 0; i < names.size(); ++i) {
      if (found[i].empty() && lower == Lower(names[i]) && IsExecutableFile(prefix + entry->d_name))
        found[i] = prefix + entry->d_name;
    }
  }
  closedir(d);
  for (const auto& f : found) {
    if (!f.empty())
      return f;
  }
  return std::string();
}

std::string ProgramDirectory() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (n <= 0)
    return std::string();
  std::string path(buffer, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/'));
}

DWORD SpawnError(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    case ENOEXEC:
      return ERROR_BAD_EXE_FORMAT;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_GEN_FAILURE;
  }
}

std::vector<std::string> EnvironmentFrom(LPVOID block, DWORD flags) {
  std::vector<std::string> out;
  if (flags & CREATE_UNICODE_ENVIRONMENT) {
    for (const wchar_t* p = static_cast<const wchar_t*>(block); *p; p += std::wcslen(p) + 1)
      out.push_back(win32::WideToUtf8(p));
  } else {
    for (const char* p = static_cast<const char*>(block); *p; p += std::strlen(p) + 1)
      out.push_back(p);
  }
  return out;
}

}  // namespace

namespace win32 {

std::vector<std::wstring> SplitCommandLine(const std::wstring& line) {
  std::vector<std::wstring> args;
  size_t i = 0;
  auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
  while (i < line.size() && blank(line[i]))
    ++i;
  if (i >= line.size())
    return args;
  // The program name: no backslash rules.
  std::wstring first;
  if (line[i] == L'"') {
    size_t end = line.find(L'"', i + 1);
    first = line.substr(i + 1, end == std::wstring::npos ? std::wstring::npos : end - i - 1);
    i = end == std::wstring::npos ? line.size() : end + 1;
  } else {
    while (i < line.size() && !blank(line[i]))
      first.push_back(line[i++]);
  }
  args.push_back(first);
  for (;;) {
    while (i < line.size() && blank(line[i]))
      ++i;
    if (i >= line.size())
      break;
    std::wstring arg;
    bool quoted = false;
    while (i < line.size() && (quoted || !blank(line[i]))) {
      if (line[i] == L'\\') {
        size_t count = 0;
        while (i < line.size() && line[i] == L'\\') {
          ++count;
          ++i;
        }
        if (i < line.size() && line[i] == L'"') {
          arg.append(count / 2, L'\\');
          if (count % 2) {
            arg.push_back(L'"');
            ++i;
          }
        } else {
          arg.append(count, L'\\');
        }
      } else if (line[i] == L'"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
          arg.push_back(L'"');
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg.push_back(line[i++]);
      }
    }
    args.push_back(arg);
  }
  return args;
}

std::string FindProgram(const std::string& name) {
  if (name.empty())
    return std::string();
  size_t slash = name.rfind('/');
  std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  std::vector<std::string> names;
  if (base.find('.') == std::string::npos)
    names.push_back(base + ".exe");
  names.push_back(base);
  if (slash != std::string::npos)
    return FindInDirectory(slash == 0 ? "/" : name.substr(0, slash), names);
  std::vector<std::string> dirs = {ProgramDirectory(), "."};
  const char* path = std::getenv("PATH");
  std::string rest = path ? path : "";
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find(':', start);
    if (end == std::string::npos)
      end = rest.size();
    if (end > start)
      dirs.push_back(rest.substr(start, end - start));
    start = end + 1;
  }
  for (const auto& dir : dirs) {
    std::string found = FindInDirectory(dir, names);
    if (!found.empty())
      return found;
  }
  return std::string();
}

}  // namespace win32

BOOL CreateProcessW(LPCWSTR application_name,
                    LPWSTR command_line,
                    LPSECURITY_ATTRIBUTES,
                    LPSECURITY_ATTRIBUTES,
                    BOOL inherit_handles,
                    DWORD creation_flags,
                    LPVOID environment,
                    LPCWSTR current_directory,
                    LPSTARTUPINFOW startup_info,
                    LPPROCESS_INFORMATION process_information) {
  if ((!application_name && !command_line) || !startup_info || !process_information) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<std::wstring> args =
      win32::SplitCommandLine(command_line ? command_line : application_name);
  std::string program;
  if (application_name) {
    std::string name = win32::WideToUtf8(application_name);
    program = IsExecutableFile(name) ? name : std::string();
  } else if (!args.empty()) {
    program = win32::FindProgram(win32::WideToUtf8(args[0]));
  }
  if (program.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  std::vector<std::string> argv_storage;
  argv_storage.push_back(program);
  for (size_t i = 1; i < args.size(); ++i)
    argv_storage.push_back(win32::WideToUtf8(args[i]));
  std::vector<char*> argv;
  for (auto& a : argv_storage)
    argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> env_storage;
  std::vector<char*> envp;
  if (environment) {
    env_storage = EnvironmentFrom(environment, creation_flags);
    for (auto& e : env_storage)
      envp.push_back(e.data());
    envp.push_back(nullptr);
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Holders of the handles used, so their descriptors stay open until spawned.
  std::vector<std::shared_ptr<win32::KernelObject>> keep;
  // Only inheritable handles reach the child: every other descriptor of
  // ours (also those this process inherited itself) is closed in it, the
  // inheritable ones lose close-on-exec by being duplicated onto themselves.
  std::vector<int> inheritable;
  if (inherit_handles)
    win32::InheritableDescriptors(&inheritable);
  if (DIR* fds = opendir("/proc/self/fd")) {
    int own = dirfd(fds);
    while (struct dirent* entry = readdir(fds)) {
      char* end = nullptr;
      long fd = std::strtol(entry->d_name, &end, 10);
      if (!end || *end != '\0' || fd <= 2 || fd == own)
        continue;
      bool keep_open = false;
      for (int i : inheritable)
        keep_open = keep_open || i == fd;
      if (!keep_open)
        posix_spawn_file_actions_addclose(&actions, static_cast<int>(fd));
    }
    closedir(fds);
  }
  for (int fd : inheritable) {
    if (fd > 2)
      posix_spawn_file_actions_adddup2(&actions, fd, fd);
  }
  if (startup_info->dwFlags & STARTF_USESTDHANDLES) {
    HANDLE std_handles[3] = {startup_info->hStdInput, startup_info->hStdOutput,
                             startup_info->hStdError};
    for (int target = 0; target < 3; ++target) {
      bool inherit = false;
      auto object = win32::LookUpHandle(std_handles[target], &inherit);
      if (object && object->fd() >= 0 && inherit && inherit_handles) {
        keep.push_back(object);
        posix_spawn_file_actions_adddup2(&actions, object->fd(), target);
      } else {
        posix_spawn_file_actions_addopen(&actions, target, "/dev/null",
                                         target == 0 ? O_RDONLY : O_WRONLY, 0);
      }
    }
  }
  std::string cwd;
  if (current_directory) {
    cwd = win32::WideToUtf8(current_directory);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  }
  pid_t pid = 0;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(),
                       environment ? envp.data() : environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    SetLastError(SpawnError(rc));
    return FALSE;
  }
  int pidfd = PidfdOpen(pid);
  auto process = ProcessFor(pid, pidfd, true);
  process_information->hProcess = win32::AddHandle(process, false);
  process_information->hThread = win32::AddHandle(std::make_shared<ThreadObject>(process), false);
  process_information->dwProcessId = static_cast<DWORD>(pid);
  process_information->dwThreadId = static_cast<DWORD>(pid);
  return TRUE;
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exit_code) {
  auto object = ProcessOf(process);
  if (!object || !exit_code) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *exit_code = object->ExitCode();
  return TRUE;
}

HANDLE OpenProcess(DWORD, BOOL inherit_handle, DWORD process_id) {
  int pidfd = PidfdOpen(static_cast<pid_t>(process_id));
  if (process_id == 0 || pidfd < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Our own children keep their exit status readable through every handle.
  bool child = false;
  {
    std::lock_guard<std::mutex> lock(g_processes_mutex);
    auto it = Processes().find(static_cast<pid_t>(process_id));
    child = it != Processes().end() && !it->second.expired();
  }
  return win32::AddHandle(ProcessFor(static_cast<pid_t>(process_id), pidfd, child),
                          inherit_handle != FALSE);
}

BOOL TerminateProcess(HANDLE process, UINT exit_code) {
  auto object = ProcessOf(process);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!object->Terminate(exit_code)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return TRUE;
}

DWORD GetCurrentProcessId() {
  return static_cast<DWORD>(getpid());
}

DWORD GetProcessId(HANDLE process) {
  auto object = ProcessOf(process);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return static_cast<DWORD>(object->pid());
}
