// The in-process half of the crash reporter: installation and the signal
// handler. Everything the handler touches is prepared at installation; in
// the handler only async-signal-safe system calls are made, into static
// buffers.
#include "crashrpt/crash_rpt.h"

#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "crashrpt/crash_record.h"

extern char** environ;

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);
constexpr size_t kAlternateStackSize = 64 * 1024;
constexpr int kMaxFrames = 128;
constexpr int kMaxLines = 16;
constexpr size_t kMaxLineBytes = 1024;
constexpr size_t kMaxBoxBytes = 4096;

// Installation state, written under g_install_lock before the handlers go
// in and only read by the handler.
std::mutex g_install_lock;
bool g_installed = false;
struct sigaction g_previous[kSignalCount];
bool g_handlers_in = false;
std::string g_sender_path;
std::string g_static_record;  // the installation's part of the record
// Stacks stay valid for the life of their threads: never freed, and kept
// reachable past static destruction.
std::vector<void*>* g_alternate_stacks = new std::vector<void*>;

std::atomic<CrCrashCallback> g_callback{nullptr};
std::atomic<void*> g_callback_param{nullptr};

thread_local std::wstring t_last_error = L"Success.";

// Crash state: only the reporting thread writes it.
std::atomic<bool> g_reporting{false};
std::atomic<bool> g_in_callback{false};
char g_lines[kMaxLines][kMaxLineBytes];
std::atomic<int> g_line_count{0};
char g_box_text[kMaxBoxBytes];
char g_box_caption[kMaxLineBytes];
uint32_t g_box_type = 0;
bool g_box_wanted = false;
char g_record[64 * 1024];
char g_answer[4096];

void SetError(const std::wstring& text) {
  t_last_error = text;
}

std::wstring Wide(const std::string& text) {
  std::wstring wide;
  for (unsigned char c : text)
    wide.push_back(static_cast<wchar_t>(c));
  return wide;
}

// UTF-8 of a wide text, async-signal-safe. Line breaks become |newline|
// (a blank, or nothing to keep them for escaping later). Returns the length.
size_t EncodeUtf8(const wchar_t* text, char* out, size_t size, bool keep_newlines) {
  size_t at = 0;
  if (!text || size == 0)
    return 0;
  for (; *text; ++text) {
    uint32_t c = static_cast<uint32_t>(*text);
    if (!keep_newlines && (c == '\n' || c == '\r'))
      c = ' ';
    char bytes[4];
    size_t n;
    if (c < 0x80) {
      bytes[0] = static_cast<char>(c);
      n = 1;
    } else if (c < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | (c >> 6));
      bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
      n = 2;
    } else if (c < 0x10000) {
      bytes[0] = static_cast<char>(0xE0 | (c >> 12));
      bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
      n = 3;
    } else if (c < 0x110000) {
      bytes[0] = static_cast<char>(0xF0 | (c >> 18));
      bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes[3] = static_cast<char>(0x80 | (c & 0x3F));
      n = 4;
    } else {
      continue;
    }
    if (at + n >= size)
      break;
    memcpy(out + at, bytes, n);
    at += n;
  }
  out[at] = '\0';
  return at;
}

std::string Utf8(const wchar_t* text) {
  if (!text)
    return std::string();
  std::string out(wcslen(text) * 4 + 1, '\0');
  out.resize(EncodeUtf8(text, out.data(), out.size(), true));
  return out;
}

std::string Slashes(std::string path) {
  for (char& c : path) {
    if (c == '\\')
      c = '/';
  }
  return path;
}

std::string ProgramPath() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

// Restores the default action and delivers |signal| again, so the process
// ends the way it would have without us.
[[noreturn]] void EndProcess(int signal) {
  struct sigaction action;
  memset(&action, 0, sizeof(action));
  action.sa_handler = SIG_DFL;
  sigaction(signal, &action, nullptr);
  syscall(SYS_tgkill, getpid(), syscall(SYS_gettid), signal);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  _exit(128 + signal);
}

uintptr_t ProgramCounter(void* context) {
  if (!context)
    return 0;
  const ucontext_t* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
  return static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
  return static_cast<uintptr_t>(uc->uc_mcontext.pc);
#elif defined(__i386__)
  return static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_EIP]);
#else
  return 0;
#endif
}

bool HasFaultAddress(int signal) {
  return signal == SIGSEGV || signal == SIGBUS || signal == SIGFPE || signal == SIGILL;
}

// Starts the sender, hands it the record and waits (bounded) for its answer,
// which names the report folder. Returns false when it could not be run.
bool RunSender(size_t record_length, int budget_ms) {
  int to_sender[2], from_sender[2];
  if (pipe2(to_sender, O_CLOEXEC) != 0)
    return false;
  if (pipe2(from_sender, O_CLOEXEC) != 0) {
    close(to_sender[0]);
    close(to_sender[1]);
    return false;
  }
  // A raw fork: glibc's fork() would take the allocator's locks, which the
  // crashed thread may hold.
  long pid = syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0);
  if (pid == 0) {
    int in = fcntl(to_sender[0], F_DUPFD, 10);
    int out = fcntl(from_sender[1], F_DUPFD, 10);
    if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 3) < 0)
      _exit(127);
    syscall(SYS_close_range, 4u, ~0u, 0u);
    setsid();
    char* argv[] = {const_cast<char*>(g_sender_path.c_str()), const_cast<char*>("--report"),
                    nullptr};
    execve(g_sender_path.c_str(), argv, environ);
    _exit(127);
  }
  close(to_sender[0]);
  close(from_sender[1]);
  bool ok = pid > 0;
  size_t written = 0;
  while (ok && written < record_length) {
    ssize_t n = write(to_sender[1], g_record + written, record_length - written);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      ok = false;
    else
      written += static_cast<size_t>(n);
  }
  close(to_sender[1]);
  size_t got = 0;
  g_answer[0] = '\0';
  while (ok && got + 1 < sizeof(g_answer)) {
    pollfd p = {from_sender[0], POLLIN, 0};
    int ready = poll(&p, 1, budget_ms);
    if (ready < 0 && errno == EINTR)
      continue;
    if (ready <= 0)
      break;
    ssize_t n = read(from_sender[0], g_answer + got, sizeof(g_answer) - 1 - got);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    got += static_cast<size_t>(n);
    if (memchr(g_answer, '\n', got))
      break;
  }
  g_answer[got] = '\0';
  close(from_sender[0]);
  if (pid > 0)
    waitpid(static_cast<pid_t>(pid), nullptr, WNOHANG);
  return ok;
}

// The folder named in the sender's answer "done <folder>\n", or "".
const char* ReportFolder() {
  static char folder[sizeof(g_answer)];
  folder[0] = '\0';
  if (strncmp(g_answer, "done ", 5) != 0)
    return folder;
  const char* start = g_answer + 5;
  const char* end = strchr(start, '\n');
  size_t length = end ? static_cast<size_t>(end - start) : strlen(start);
  memcpy(folder, start, length);
  folder[length] = '\0';
  return folder;
}

void Handler(int signal, siginfo_t* info, void* context) {
  // A fault while reporting (in the callback, the unwinder, ...) ends the
  // process at once.
  if (g_reporting.exchange(true))
    EndProcess(signal);

  // Nothing below may keep the process alive for long: SIGALRM's default
  // action ends it.
  struct sigaction action;
  memset(&action, 0, sizeof(action));
  action.sa_handler = SIG_DFL;
  sigaction(SIGALRM, &action, nullptr);
  action.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &action, nullptr);
  alarm(crashrpt::kReportBudgetSeconds);

  void* frames[kMaxFrames];
  int count = backtrace(frames, kMaxFrames);
  uintptr_t pc = ProgramCounter(context);
  // Drop the handler's own frames: the list then starts at the fault.
  int first = 0;
  for (int i = 0; i < count; ++i) {
    if (reinterpret_cast<uintptr_t>(frames[i]) == pc) {
      first = i;
      break;
    }
  }
  const void* address = info && HasFaultAddress(signal) ? info->si_addr : nullptr;

  CrCrashCallbackInfo callback_info;
  memset(&callback_info, 0, sizeof(callback_info));
  callback_info.size = sizeof(callback_info);
  callback_info.stage = CR_CB_STAGE_PREPARE;
  callback_info.signal_number = signal;
  callback_info.fault_address = address;
  callback_info.user_param = g_callback_param.load();
  callback_info.report_folder = "";
  CrCrashCallback callback = g_callback.load();
  int verdict = CR_CB_DODEFAULT;
  if (callback) {
    g_in_callback = true;
    verdict = callback(&callback_info);
    g_in_callback = false;
  }

  if (verdict != CR_CB_CANCEL) {
    crashrpt::RecordWriter record(g_record, sizeof(g_record));
    record.Raw(g_static_record.c_str());
    record.Number("pid", getpid());
    record.Number("tid", syscall(SYS_gettid));
    record.Number("signal", signal);
    record.Number("code", info ? info->si_code : 0);
    record.Hex("address", reinterpret_cast<uintptr_t>(address));
    record.Hex("pc", pc);
    if (first == 0 && (count == 0 || reinterpret_cast<uintptr_t>(frames[0]) != pc))
      record.Hex("frame", pc);
    for (int i = first; i < count; ++i)
      record.Hex("frame", reinterpret_cast<uintptr_t>(frames[i]));
    int lines = g_line_count.load();
    for (int i = 0; i < lines && i < kMaxLines; ++i)
      record.Text("line", g_lines[i]);
    if (g_box_wanted) {
      record.Number("box_type", g_box_type);
      record.Text("box_caption", g_box_caption);
      record.Text("box_text", g_box_text);
    }
    record.Raw("end\n");
    RunSender(record.length(), (crashrpt::kReportBudgetSeconds - 5) * 1000);
  }

  if (callback && verdict == CR_CB_NOTIFY_NEXT_STAGE) {
    callback_info.stage = CR_CB_STAGE_FINISH;
    callback_info.report_folder = ReportFolder();
    callback(&callback_info);
  }
  EndProcess(signal);
}

int InstallAlternateStack() {
  void* stack = malloc(kAlternateStackSize);
  if (!stack)
    return 1;
  stack_t alternate;
  alternate.ss_sp = stack;
  alternate.ss_size = kAlternateStackSize;
  alternate.ss_flags = 0;
  if (sigaltstack(&alternate, nullptr) != 0) {
    free(stack);
    return 1;
  }
  g_alternate_stacks->push_back(stack);
  return 0;
}

}  // namespace

int crInstall(const CrInstallInfo* info) {
  std::lock_guard<std::mutex> hold(g_install_lock);
  if (!info || info->size != sizeof(CrInstallInfo)) {
    SetError(L"crInstall: the installation record is missing or its size is wrong.");
    return 1;
  }
  if (g_installed) {
    SetError(L"crInstall: the crash reporter is installed already.");
    return 1;
  }
  std::string program = ProgramPath();
  std::string program_dir = program.substr(0, program.rfind('/'));

  std::string sender = Slashes(Utf8(info->crash_sender_path));
  if (sender.empty())
    sender = program_dir + "/";
  struct stat st;
  if (sender.back() == '/' || (stat(sender.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
    if (sender.back() != '/')
      sender += '/';
    sender += CR_CRASH_SENDER_NAME;
  }
  if (access(sender.c_str(), X_OK) != 0) {
    SetError(L"crInstall: the crash sender cannot be run: " + Wide(sender));
    return 1;
  }

  std::string save_dir = Slashes(Utf8(info->save_dir));
  if (save_dir.empty())
    save_dir = program_dir + "/coredump";
  while (save_dir.size() > 1 && save_dir.back() == '/')
    save_dir.pop_back();
  std::error_code error;
  std::filesystem::create_directories(save_dir, error);
  if (!std::filesystem::is_directory(save_dir, error)) {
    SetError(L"crInstall: the report folder cannot be made: " + Wide(save_dir));
    return 1;
  }

  std::string app = Utf8(info->app_name);
  if (app.empty())
    app = program.substr(program.rfind('/') + 1);

  std::string record;
  record.resize(8192);
  crashrpt::RecordWriter writer(record.data(), record.size());
  writer.Text("app", app.c_str());
  writer.Text("version", Utf8(info->app_version).c_str());
  writer.Text("email_to", Utf8(info->email_to).c_str());
  writer.Text("email_subject", Utf8(info->email_subject).c_str());
  writer.Text("program", program.c_str());
  writer.Text("save_dir", save_dir.c_str());
  writer.Text("log_file", Slashes(Utf8(info->log_file)).c_str());
  record.resize(writer.length());

  // backtrace() loads the unwinder on first use; do it now, not in a crash.
  void* warm[2];
  backtrace(warm, 2);

  if (InstallAlternateStack() != 0) {
    SetError(L"crInstall: no alternate signal stack.");
    return 1;
  }
  g_sender_path = sender;
  g_static_record = record;
  g_reporting = false;
  g_line_count = 0;
  g_box_wanted = false;
  g_handlers_in = (info->flags & CR_INST_ALL_POSSIBLE_HANDLERS) != 0;
  if (g_handlers_in) {
    struct sigaction action;
    memset(&action, 0, sizeof(action));
    action.sa_sigaction = &Handler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < kSignalCount; ++i)
      sigaction(kSignals[i], &action, &g_previous[i]);
  }
  g_installed = true;
  SetError(L"Success.");
  return 0;
}

int crUninstall() {
  std::lock_guard<std::mutex> hold(g_install_lock);
  if (!g_installed) {
    SetError(L"crUninstall: the crash reporter is not installed.");
    return 1;
  }
  if (g_handlers_in) {
    for (int i = 0; i < kSignalCount; ++i)
      sigaction(kSignals[i], &g_previous[i], nullptr);
  }
  g_handlers_in = false;
  g_installed = false;
  SetError(L"Success.");
  return 0;
}

int crInstallToCurrentThread() {
  std::lock_guard<std::mutex> hold(g_install_lock);
  if (InstallAlternateStack() != 0) {
    SetError(L"crInstallToCurrentThread: no alternate signal stack.");
    return 1;
  }
  return 0;
}

int crGetLastErrorMsg(wchar_t* buffer, uint32_t size) {
  if (!buffer || size == 0)
    return -1;
  size_t length = std::min<size_t>(t_last_error.size(), size - 1);
  wmemcpy(buffer, t_last_error.data(), length);
  buffer[length] = L'\0';
  return static_cast<int>(length);
}

int crSetCrashCallback(CrCrashCallback callback, void* user_param) {
  g_callback_param = user_param;
  g_callback = callback;
  return 0;
}

int crLogCrashLine(const wchar_t* text) {
  if (!g_in_callback || !text)
    return -1;
  int slot = g_line_count.load();
  if (slot >= kMaxLines)
    return -1;
  EncodeUtf8(text, g_lines[slot], kMaxLineBytes, false);
  g_line_count = slot + 1;
  return 0;
}

int crShowCrashMessage(const wchar_t* text, const wchar_t* caption, uint32_t type) {
  if (!g_in_callback)
    return -1;
  EncodeUtf8(text ? text : L"", g_box_text, sizeof(g_box_text), true);
  EncodeUtf8(caption ? caption : L"", g_box_caption, sizeof(g_box_caption), true);
  g_box_type = type;
  g_box_wanted = true;
  return 0;
}
