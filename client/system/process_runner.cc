#include "client/system/process_runner.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>

#include "win32/code_page.h"
#include "win32/handle.h"
#include "win32/pipe.h"
#include "win32/process.h"

namespace {

constexpr DWORD kTimeoutMs = 15000;
constexpr DWORD kChunkSize = 512;

std::atomic<DWORD> g_timeout_ms{kTimeoutMs};

void Report(const char* line) {
  std::fputs(line, stdout);
  std::fflush(stdout);
}

// Closes its handle on every path.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ~ScopedHandle() { Close(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  HANDLE get() const { return handle_; }
  HANDLE* receive() { return &handle_; }
  HANDLE release() {
    HANDLE h = handle_;
    handle_ = nullptr;
    return h;
  }
  void Close() {
    if (handle_ && handle_ != INVALID_HANDLE_VALUE)
      CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_;
};

// What the reader thread collects; shared so that a reader outliving a
// timed-out call writes into memory that still exists.
struct Output {
  std::string text;
};

}  // namespace

void SetRunCommandTimeoutForTesting(DWORD milliseconds) {
  g_timeout_ms = milliseconds;
}

std::string RunCommand(const std::string& command_line) {
  SECURITY_ATTRIBUTES attributes = {};
  attributes.nLength = sizeof(attributes);
  attributes.bInheritHandle = TRUE;
  ScopedHandle read_end, write_end;
  if (!CreatePipe(read_end.receive(), write_end.receive(), &attributes, 0)) {
    Report("cannot create pipe for child stdout");
    return std::string();
  }
  if (!SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0)) {
    Report("SetHandleInformation failed for child stdout pipe");
    return std::string();
  }
  std::wstring wide = win32::MultiByteToWide(command_line, CP_ACP);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  startup.hStdInput = nullptr;
  startup.hStdOutput = write_end.get();
  startup.hStdError = write_end.get();
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, wide.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &info)) {
    Report("cannot create process\n");
    return std::string();
  }
  ScopedHandle process(info.hProcess), thread(info.hThread);
  write_end.Close();  // so that reading ends when the child exits

  // Read while the child runs: a child writing more than the pipe holds
  // would otherwise never end.
  auto output = std::make_shared<Output>();
  HANDLE reader_handle = read_end.release();
  std::thread reader([output, reader_handle] {
    char chunk[kChunkSize];
    DWORD read = 0;
    while (ReadFile(reader_handle, chunk, kChunkSize, &read, nullptr) && read > 0)
      output->text.append(chunk, read);
    CloseHandle(reader_handle);
  });

  DWORD timeout = g_timeout_ms;
  if (WaitForSingleObject(process.get(), timeout) == WAIT_TIMEOUT ||
      WaitForSingleObject(process.get(), timeout) == WAIT_FAILED) {
    Report("WaitForSingleObject failed on child process handle");
    reader.detach();  // ends with the child, which is left running
    return std::string();
  }
  reader.join();
  return output->text;
}
