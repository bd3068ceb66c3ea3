#include "win32/shell_execute.h"

#include <errno.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

#include "win32/code_page.h"
#include "win32/last_error.h"
#include "win32/process.h"

extern char** environ;

namespace {

constexpr intptr_t kSuccess = 42;

HINSTANCE Result(intptr_t value) {
  return reinterpret_cast<HINSTANCE>(value);
}

HINSTANCE Fail(intptr_t value, DWORD error) {
  SetLastError(error);
  return Result(value);
}

bool EndsWithNoCase(const std::string& text, const char* suffix) {
  size_t length = strlen(suffix);
  return text.size() >= length && strcasecmp(text.c_str() + text.size() - length, suffix) == 0;
}

// "scheme:..." with a scheme of two or more characters (RFC 3986 letters).
bool IsAddress(const std::string& file) {
  size_t colon = file.find(':');
  if (colon == std::string::npos || colon < 2 || !isalpha(static_cast<unsigned char>(file[0])))
    return false;
  for (size_t i = 1; i < colon; ++i) {
    unsigned char c = static_cast<unsigned char>(file[i]);
    if (!isalnum(c) && c != '+' && c != '-' && c != '.')
      return false;
  }
  return true;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ELF or a "#!" script.
bool HasProgramHeader(const std::string& path, bool* readable) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  *readable = fd >= 0;
  if (fd < 0)
    return false;
  char head[4] = {};
  ssize_t n = read(fd, head, sizeof(head));
  close(fd);
  if (n >= 4 && memcmp(head,
                       "\x7f"
                       "ELF",
                       4) == 0)
    return true;
  return n >= 2 && head[0] == '#' && head[1] == '!';
}

std::string Absolute(const std::string& path, const std::string& directory) {
  if (!path.empty() && path[0] == '/')
    return path;
  std::string base = directory;
  if (base.empty()) {
    char cwd[4096];
    if (getcwd(cwd, sizeof(cwd)))
      base = cwd;
  }
  if (base.empty())
    return path;
  return base.back() == '/' ? base + path : base + "/" + path;
}

std::string FindOnPath(const std::string& name) {
  const char* path = getenv("PATH");
  std::string rest = path ? path : "";
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find(':', start);
    if (end == std::string::npos)
      end = rest.size();
    if (end > start) {
      std::string candidate = rest.substr(start, end - start) + "/" + name;
      struct stat st;
      if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
          access(candidate.c_str(), X_OK) == 0) {
        return candidate;
      }
    }
    start = end + 1;
  }
  return std::string();
}

intptr_t ErrnoResult(int error, DWORD* last_error) {
  switch (error) {
    case ENOENT:
      *last_error = ERROR_FILE_NOT_FOUND;
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      *last_error = ERROR_PATH_NOT_FOUND;
      return ERROR_PATH_NOT_FOUND;
    case ENOEXEC:
      *last_error = ERROR_BAD_FORMAT;
      return ERROR_BAD_FORMAT;
    case ENOMEM:
    case EAGAIN:
      *last_error = ERROR_NOT_ENOUGH_MEMORY;
      return SE_ERR_OOM;
    default:
      *last_error = ERROR_ACCESS_DENIED;
      return SE_ERR_ACCESSDENIED;
  }
}

// Starts |program| in its own session and does not wait for it: a first child
// starts the program and ends at once, so the program never becomes our
// zombie. Everything the children need is prepared before the fork; between
// fork and exec they only make system calls. Returns 0 or the errno of the
// failed step.
int SpawnDetached(const std::string& program,
                  const std::vector<std::string>& args,
                  const std::string& directory,
                  bool hidden,
                  int show_command) {
  std::vector<char*> argv;
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  std::string show = std::string(TERN_SHOW_COMMAND_VARIABLE) + "=" + std::to_string(show_command);
  std::vector<char*> envp;
  size_t prefix = strlen(TERN_SHOW_COMMAND_VARIABLE) + 1;
  for (char** e = environ; e && *e; ++e) {
    if (strncmp(*e, show.c_str(), prefix) != 0)
      envp.push_back(*e);
  }
  envp.push_back(const_cast<char*>(show.c_str()));
  envp.push_back(nullptr);

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0)
    return errno;
  pid_t middle = fork();
  if (middle < 0) {
    int error = errno;
    close(report[0]);
    close(report[1]);
    return error;
  }
  if (middle == 0) {
    setsid();
    pid_t child = fork();
    if (child == 0) {
      int error = 0;
      if (!directory.empty() && chdir(directory.c_str()) != 0)
        error = errno;
      if (!error && hidden) {
        int null_fd = open("/dev/null", O_RDWR);
        if (null_fd >= 0) {
          dup2(null_fd, 0);
          dup2(null_fd, 1);
          dup2(null_fd, 2);
          if (null_fd > 2)
            close(null_fd);
        }
      }
      if (!error) {
        // Nothing of ours leaks into the program, as no handle is inherited
        // by a program the shell starts.
        if (syscall(SYS_close_range, 3u, ~0u, 4u /* CLOSE_RANGE_CLOEXEC */) != 0) {
          for (int fd = 3; fd < 4096; ++fd) {
            if (fd != report[1])
              close(fd);
          }
        }
        execve(program.c_str(), argv.data(), envp.data());
        error = errno;
      }
      ssize_t ignored = write(report[1], &error, sizeof(error));
      (void)ignored;
      _exit(127);
    }
    int error = child < 0 ? errno : 0;
    if (error) {
      ssize_t ignored = write(report[1], &error, sizeof(error));
      (void)ignored;
    }
    _exit(0);
  }
  close(report[1]);
  int status = 0;
  while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t n;
  do {
    n = read(report[0], &error, sizeof(error));
  } while (n < 0 && errno == EINTR);
  close(report[0]);
  return n == static_cast<ssize_t>(sizeof(error)) ? error : 0;
}

HINSTANCE OpenWithDesktop(const std::string& target, int show_command) {
  std::string opener = FindOnPath("xdg-open");
  if (opener.empty())
    return Fail(SE_ERR_NOASSOC, ERROR_FILE_NOT_FOUND);
  int error = SpawnDetached(opener, {opener, target}, std::string(), true, show_command);
  if (error) {
    DWORD last_error = 0;
    intptr_t result = ErrnoResult(error, &last_error);
    return Fail(result, last_error);
  }
  SetLastError(ERROR_SUCCESS);
  return Result(kSuccess);
}

}  // namespace

HINSTANCE ShellExecuteW(HWND,
                        LPCWSTR operation,
                        LPCWSTR file,
                        LPCWSTR parameters,
                        LPCWSTR directory,
                        INT show_command) {
  if (!file || !*file)
    return Fail(0, ERROR_INVALID_PARAMETER);
  std::wstring verb = operation ? operation : L"";
  for (wchar_t& c : verb)
    c = static_cast<wchar_t>(towlower(c));
  bool open_verb = verb.empty() || verb == L"open";
  bool run_verb = open_verb || verb == L"runas";

  std::string name = win32::WideToUtf8(file);
  std::string folder = directory ? win32::WideToUtf8(directory) : std::string();
  if (!folder.empty() && !IsDirectory(folder))
    return Fail(ERROR_PATH_NOT_FOUND, ERROR_PATH_NOT_FOUND);

  if (IsAddress(name)) {
    if (!open_verb)
      return Fail(SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION);
    return OpenWithDesktop(name, show_command);
  }

  std::string path = Absolute(name, folder);
  struct stat st;
  if (stat(path.c_str(), &st) != 0 && name.find('/') == std::string::npos) {
    // A bare program name is looked up like CreateProcessW does.
    std::string found = win32::FindProgram(name);
    if (!found.empty())
      path = found;
  }
  if (stat(path.c_str(), &st) != 0) {
    std::string parent = path.substr(0, path.rfind('/'));
    if (!parent.empty() && !IsDirectory(parent))
      return Fail(ERROR_PATH_NOT_FOUND, ERROR_PATH_NOT_FOUND);
    return Fail(ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND);
  }

  if (S_ISDIR(st.st_mode)) {
    if (!open_verb && verb != L"explore")
      return Fail(SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION);
    return OpenWithDesktop(path, show_command);
  }

  bool program_name = EndsWithNoCase(path, ".exe") || EndsWithNoCase(path, ".bat");
  bool executable_bit = (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
  bool readable = false;
  bool program_header = HasProgramHeader(path, &readable);
  if (!readable)
    return Fail(SE_ERR_ACCESSDENIED, ERROR_ACCESS_DENIED);
  if (program_name && !program_header)
    return Fail(ERROR_BAD_FORMAT, ERROR_BAD_FORMAT);
  if (!(program_name || executable_bit) || !program_header) {
    if (!open_verb)
      return Fail(SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION);
    return OpenWithDesktop(path, show_command);
  }
  if (!run_verb)
    return Fail(SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION);

  // Windows has no executable bit: a downloaded program still runs.
  if (!(st.st_mode & S_IXUSR) && chmod(path.c_str(), (st.st_mode & 07777) | S_IXUSR) != 0)
    return Fail(SE_ERR_ACCESSDENIED, ERROR_ACCESS_DENIED);

  std::vector<std::string> args = {path};
  if (parameters && *parameters) {
    std::wstring line = L"x ";
    line += parameters;
    std::vector<std::wstring> split = win32::SplitCommandLine(line);
    for (size_t i = 1; i < split.size(); ++i)
      args.push_back(win32::WideToUtf8(split[i]));
  }
  int error = SpawnDetached(path, args, folder, show_command == SW_HIDE, show_command);
  if (error) {
    DWORD last_error = 0;
    intptr_t result = ErrnoResult(error, &last_error);
    return Fail(result, last_error);
  }
  SetLastError(ERROR_SUCCESS);
  return Result(kSuccess);
}

HINSTANCE ShellExecuteA(HWND owner,
                        LPCSTR operation,
                        LPCSTR file,
                        LPCSTR parameters,
                        LPCSTR directory,
                        INT show_command) {
  auto wide = [](LPCSTR text) { return text ? win32::AnsiToWide(text) : std::wstring(); };
  std::wstring w_operation = wide(operation), w_file = wide(file), w_parameters = wide(parameters),
               w_directory = wide(directory);
  return ShellExecuteW(owner, operation ? w_operation.c_str() : nullptr,
                       file ? w_file.c_str() : nullptr, parameters ? w_parameters.c_str() : nullptr,
                       directory ? w_directory.c_str() : nullptr, show_command);
}
