#include "win32/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/scoped_temp_dir.h"
#include "win32/code_page.h"
#include "win32/handle.h"
#include "win32/last_error.h"
#include "win32/pipe.h"
#include "win32/sync.h"
#include "win32/toolhelp.h"

namespace {

PROCESS_INFORMATION Start(const std::wstring& command, bool expect_ok = true) {
  std::wstring line = command;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  BOOL ok = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                           nullptr, &startup, &info);
  EXPECT_EQ(ok != FALSE, expect_ok) << win32::WideToUtf8(command);
  return info;
}

std::wstring SnapshotName(DWORD pid) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  EXPECT_NE(snapshot, INVALID_HANDLE_VALUE);
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  std::wstring name;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == pid)
      name = entry.szExeFile;
  }
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  CloseHandle(snapshot);
  return name;
}

TEST(CommandLineTest, WindowsSplittingRules) {
  struct Case {
    std::wstring line;
    std::vector<std::wstring> args;
  } cases[] = {
      {L"net start IKEEXT", {L"net", L"start", L"IKEEXT"}},
      {L"  \"C:/Program Files/a\\\"b  x", {L"C:/Program Files/a\\", L"b", L"x"}},
      {L"p \"a b\" c\\\\\"d e\"", {L"p", L"a b", L"c\\d e"}},
      {L"p a\\\\\\\"b", {L"p", L"a\\\"b"}},
      {L"p a\\b \"\"", {L"p", L"a\\b", L""}},
      {L"p \"x\"\"y\"", {L"p", L"x\"y"}},
      {L"", {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(win32::SplitCommandLine(c.line), c.args) << win32::WideToUtf8(c.line);
}

TEST(ProcessTest, ExitCodesWaitsAndTermination) {
  PROCESS_INFORMATION exits = Start(L"sh -c \"exit 3\"");
  EXPECT_EQ(WaitForSingleObject(exits.hProcess, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(exits.hProcess, &code));
  EXPECT_EQ(code, 3u);
  CloseHandle(exits.hThread);
  CloseHandle(exits.hProcess);

  PROCESS_INFORMATION sleeper = Start(L"sleep 30");
  EXPECT_EQ(WaitForSingleObject(sleeper.hProcess, 50), WAIT_TIMEOUT);
  ASSERT_TRUE(GetExitCodeProcess(sleeper.hProcess, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(SnapshotName(sleeper.dwProcessId), L"sleep");
  HANDLE opened = OpenProcess(PROCESS_TERMINATE, FALSE, sleeper.dwProcessId);
  ASSERT_NE(opened, nullptr);
  EXPECT_TRUE(TerminateProcess(opened, 9));
  EXPECT_EQ(WaitForSingleObject(sleeper.hThread, 5000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeProcess(sleeper.hProcess, &code));
  EXPECT_EQ(code, 9u);
  for (HANDLE h : {opened, sleeper.hThread, sleeper.hProcess})
    EXPECT_TRUE(CloseHandle(h));
  EXPECT_FALSE(CloseHandle(opened));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  Start(L"surely-not-a-program-xyz", false);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// ".exe" is appended, letter case is ignored, and a long file name shows
// whole in the snapshot.
TEST(ProcessTest, SearchRulesAndLongNames) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  std::string tool = (dir.GetPath() / "A_Very_Long_Program_Name.exe").string();
  std::filesystem::copy_file("/bin/sleep", tool);
  std::wstring line =
      win32::Utf8ToWide((dir.GetPath() / "a_very_long_program_name").string()) + L" 30";
  PROCESS_INFORMATION info = Start(line);
  ASSERT_NE(info.hProcess, nullptr);
  EXPECT_EQ(SnapshotName(info.dwProcessId), L"A_Very_Long_Program_Name.exe");
  TerminateProcess(info.hProcess, 0);
  WaitForSingleObject(info.hProcess, INFINITE);
  CloseHandle(info.hProcess);
  CloseHandle(info.hThread);
}

TEST(ProcessTest, OnlyInheritableHandlesReachTheChild) {
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, &sa, 0));
  ASSERT_TRUE(SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0));
  DWORD flags = 1;
  ASSERT_TRUE(GetHandleInformation(read_end, &flags));
  EXPECT_EQ(flags, 0u);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  // The child lists its open descriptors.
  std::wstring line = L"ls -l /proc/self/fd";
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &startup, &info));
  CloseHandle(write_end);
  std::string out;
  char buffer[64];
  DWORD n = 0;
  while (ReadFile(read_end, buffer, sizeof(buffer), &n, nullptr))
    out.append(buffer, n);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  // Standard output and error, the inheritable write end itself, /dev/null
  // as input and ls's own directory: the read end and every other
  // descriptor of this process stay behind.
  size_t pipes = 0;
  for (size_t at = out.find("pipe:"); at != std::string::npos; at = out.find("pipe:", at + 1))
    ++pipes;
  EXPECT_EQ(pipes, 3u) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 6) << out;
  WaitForSingleObject(info.hProcess, INFINITE);
  CloseHandle(info.hProcess);
  CloseHandle(info.hThread);
  CloseHandle(read_end);
}

class MutexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.CreateUniqueTempDir());
    setenv("TERN_MACHINE_ROOT", root_.GetPath().c_str(), 1);
  }
  void TearDown() override { unsetenv("TERN_MACHINE_ROOT"); }
  base::ScopedTempDir root_;
};

TEST_F(MutexTest, HeldAcrossProcessesAndReleasedWhenTheHolderDies) {
  const wchar_t kName[] = L"Global\\rix_single_instance";
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t holder = fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    HANDLE h = CreateMutexW(nullptr, TRUE, kName);
    char status = (h && GetLastError() == ERROR_SUCCESS) ? 'y' : 'n';
    (void)!write(ready[1], &status, 1);
    pause();
    _exit(0);
  }
  char status = 0;
  ASSERT_EQ(read(ready[0], &status, 1), 1);
  EXPECT_EQ(status, 'y');

  HANDLE mine = CreateMutexW(nullptr, TRUE, L"global\\RIX_SINGLE_INSTANCE");
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(WaitForSingleObject(mine, 30), WAIT_TIMEOUT);
  EXPECT_FALSE(ReleaseMutex(mine));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));

  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_EQ(WaitForSingleObject(mine, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(mine, 0), WAIT_OBJECT_0);  // recursive
  EXPECT_TRUE(ReleaseMutex(mine));
  EXPECT_TRUE(ReleaseMutex(mine));
  EXPECT_TRUE(CloseHandle(mine));

  // Nobody holds the name any more: the next one is new.
  HANDLE fresh = CreateMutexW(nullptr, FALSE, kName);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  HANDLE second = CreateMutexW(nullptr, FALSE, kName);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  CloseHandle(second);
  CloseHandle(fresh);
  close(ready[0]);
  close(ready[1]);
}

}  // namespace
