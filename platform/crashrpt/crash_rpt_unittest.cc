#include "crashrpt/crash_rpt.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/scoped_temp_dir.h"
#include "crashrpt/crash_record.h"
#include "gtest/gtest.h"

extern char** environ;

namespace {

std::string ProgramDir() {
  const char* dir = getenv("TERN_PROGRAM_DIR");
  return dir ? dir : ".";
}

std::string TestsDir() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  std::string path(buffer, n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.rfind('/'));
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

struct ChildRun {
  int status = 0;
  std::string errors;  // the child's standard error
};

// Runs the crashing child with extra environment entries and waits for it.
ChildRun RunChild(const std::vector<std::string>& args,
                  const std::vector<std::string>& environment) {
  std::vector<std::string> env_storage(environment);
  for (char** e = environ; *e; ++e)
    env_storage.push_back(*e);
  std::vector<char*> envp;
  for (std::string& e : env_storage)
    envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> arg_storage = {TestsDir() + "/crashrpt_test_child"};
  arg_storage.insert(arg_storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : arg_storage)
    argv.push_back(a.data());
  argv.push_back(nullptr);

  int pipe_fds[2];
  ChildRun run;
  if (pipe2(pipe_fds, O_CLOEXEC) != 0)
    return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 2);
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (spawned != 0) {
    close(pipe_fds[0]);
    run.status = -1;
    return run;
  }
  // The sender inherits the child's standard error and may outlive it (with
  // its box): read what is there once the child has ended, not until EOF.
  waitpid(pid, &run.status, 0);
  fcntl(pipe_fds[0], F_SETFL, O_NONBLOCK);
  char buffer[512];
  ssize_t n;
  while ((n = read(pipe_fds[0], buffer, sizeof(buffer))) > 0)
    run.errors.append(buffer, static_cast<size_t>(n));
  close(pipe_fds[0]);
  return run;
}

class CrashReportTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.CreateUniqueTempDir());
    root_ = dir_.path().string();
    save_ = root_ + "/coredump";
    log_ = root_ + "/client.log";
  }

  ChildRun Crash(const std::string& mode, const std::vector<std::string>& environment = {}) {
    return RunChild({mode, save_, log_, ProgramDir()}, environment);
  }

  // The report folders written so far.
  std::vector<std::string> Reports() {
    std::vector<std::string> folders;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(save_, error))
      folders.push_back(entry.path().string());
    return folders;
  }

  base::ScopedTempDir dir_;
  std::string root_, save_, log_;
};

TEST_F(CrashReportTest, ASegmentationFaultLeavesAReportNamingTheCrashingFunction) {
  ChildRun run = Crash("segv");
  ASSERT_TRUE(WIFSIGNALED(run.status)) << run.errors;
  EXPECT_EQ(SIGSEGV, WTERMSIG(run.status));

  std::vector<std::string> reports = Reports();
  ASSERT_EQ(1u, reports.size()) << run.errors;
  std::string folder_name = std::filesystem::path(reports[0]).filename().string();
  EXPECT_EQ(0u, folder_name.rfind("TernTest_", 0)) << folder_name;
  std::string report = ReadFile(reports[0] + "/report.txt");
  EXPECT_NE(std::string::npos, report.find("Application: TernTest\nVersion: 1.1.4\n")) << report;
  EXPECT_NE(std::string::npos, report.find("Signal: 11 (SIGSEGV)")) << report;
  EXPECT_NE(std::string::npos, report.find("Fault address: 0x10\n")) << report;
  // The first frame is the function that faulted.
  size_t backtrace = report.find("Backtrace of thread");
  ASSERT_NE(std::string::npos, backtrace);
  std::string first_frame = report.substr(report.find("#0 ", backtrace));
  first_frame = first_frame.substr(0, first_frame.find('\n'));
  EXPECT_NE(std::string::npos, first_frame.find("CrashInTheNamedFunction")) << report;
  EXPECT_NE(std::string::npos, report.find(" in main")) << report;
  EXPECT_NE(std::string::npos, report.find("WorkerThread")) << report;
  EXPECT_NE(std::string::npos, report.find("(crashed)")) << report;
  EXPECT_NE(std::string::npos, report.find("crashrpt_test_child\n")) << report;
  EXPECT_NE(std::string::npos, report.find("libc.so")) << report;
  EXPECT_NE(std::string::npos, report.find("before the crash")) << report;

  // The callback ran both stages; its lines reached the log.
  EXPECT_NE(std::string::npos, run.errors.find("stage 10\n")) << run.errors;
  EXPECT_NE(std::string::npos, run.errors.find("stage 20: " + reports[0] + "\n")) << run.errors;
  std::string log = ReadFile(log_);
  EXPECT_NE(std::string::npos,
            log.find(":ERROR:CrashCallback:crash_rpt.cc(0)] Stage after exception pointers've "
                     "been retrieved.\n"))
      << log;
  EXPECT_NE(std::string::npos, log.find("] The application has crashed! \n")) << log;
}

TEST_F(CrashReportTest, AnAbortIsReportedToo) {
  ChildRun run = Crash("abort");
  ASSERT_TRUE(WIFSIGNALED(run.status)) << run.errors;
  EXPECT_EQ(SIGABRT, WTERMSIG(run.status));
  std::vector<std::string> reports = Reports();
  ASSERT_EQ(1u, reports.size()) << run.errors;
  std::string report = ReadFile(reports[0] + "/report.txt");
  EXPECT_NE(std::string::npos, report.find("(SIGABRT)")) << report;
  EXPECT_NE(std::string::npos, report.find("AbortInTheNamedFunction")) << report;
}

TEST_F(CrashReportTest, ACrashHoldingTheLogLockStillGetsItsReportAndLines) {
  ChildRun run = Crash("loglock");
  ASSERT_TRUE(WIFSIGNALED(run.status)) << run.errors;
  EXPECT_EQ(SIGSEGV, WTERMSIG(run.status));
  std::vector<std::string> reports = Reports();
  ASSERT_EQ(1u, reports.size()) << run.errors;
  std::string report = ReadFile(reports[0] + "/report.txt");
  EXPECT_NE(std::string::npos, report.find("CrashInTheNamedFunction")) << report;
  EXPECT_NE(std::string::npos, report.find("before the crash")) << report;
  std::string log = ReadFile(log_);
  EXPECT_NE(std::string::npos, log.find("The application has crashed!")) << log;
  EXPECT_EQ(std::string::npos, log.find("this record crashes")) << log;
}

TEST_F(CrashReportTest, ASecondCrashWhileReportingEndsTheProcess) {
  ChildRun run = Crash("double");
  ASSERT_TRUE(WIFSIGNALED(run.status)) << run.errors;
  EXPECT_EQ(SIGSEGV, WTERMSIG(run.status));
  EXPECT_TRUE(Reports().empty());
  EXPECT_EQ(std::string::npos, run.errors.find("stage 10")) << run.errors;
}

TEST_F(CrashReportTest, AfterUninstallNoReportIsWritten) {
  ChildRun run = Crash("uninstalled");
  // The handler that was there before takes the fault (the sanitizer's exits
  // with an error instead of the signal).
  EXPECT_FALSE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.errors;
  EXPECT_TRUE(Reports().empty());
  EXPECT_EQ(std::string::npos, run.errors.find("stage 10")) << run.errors;
}

TEST_F(CrashReportTest, TheSenderShowsTheCallbacksMessageBox) {
  std::string socket = root_ + "/ui.sock";
  ChildRun run = Crash("box", {"TERN_HEADLESS=1", "TERN_AUTOMATION=" + socket});
  ASSERT_TRUE(WIFSIGNALED(run.status)) << run.errors;
  ASSERT_EQ(1u, Reports().size()) << run.errors;

  std::string automate = ProgramDir() + "/tern-automate --socket " + socket + " --timeout 20000 ";
  ASSERT_EQ(0, system((automate + "wait '#32770' >/dev/null").c_str()));
  FILE* pipe = popen((automate + "msgbox").c_str(), "r");
  ASSERT_NE(nullptr, pipe);
  char buffer[1024] = {};
  size_t got = fread(buffer, 1, sizeof(buffer) - 1, pipe);
  pclose(pipe);
  EXPECT_NE(std::string::npos,
            std::string(buffer, got).find("Tern意外地停止了工作，请尝试重启客户端。"))
      << buffer;
  EXPECT_EQ(0, system((automate + "msgbox ok >/dev/null").c_str()));
}

TEST(CrashInstallTest, BadRecordsAndAMissingSenderAreRefusedWithAReason) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  std::wstring missing = dir.path().wstring() + L"/no-sender/";
  std::wstring save = dir.path().wstring() + L"/coredump";
  CrInstallInfo info = {};
  info.size = sizeof(info) - 1;
  wchar_t reason[512];
  EXPECT_NE(0, crInstall(&info));
  EXPECT_GT(crGetLastErrorMsg(reason, 512), 0);
  EXPECT_NE(nullptr, wcsstr(reason, L"size"));

  info.size = sizeof(info);
  info.crash_sender_path = missing.c_str();
  info.save_dir = save.c_str();
  EXPECT_NE(0, crInstall(&info));
  crGetLastErrorMsg(reason, 512);
  EXPECT_NE(nullptr, wcsstr(reason, L"crash sender")) << reason;
  // Cut to the buffer.
  EXPECT_EQ(4, crGetLastErrorMsg(reason, 5));
  EXPECT_EQ(-1, crGetLastErrorMsg(reason, 0));
  EXPECT_EQ(1, crUninstall());

  std::wstring sender = std::filesystem::path(ProgramDir()).wstring() + L"/";
  info.crash_sender_path = sender.c_str();
  info.flags = CR_INST_ALL_POSSIBLE_HANDLERS;
  EXPECT_EQ(0, crInstall(&info));
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "coredump"));
  EXPECT_NE(0, crInstall(&info));  // once only
  EXPECT_EQ(-1, crLogCrashLine(L"outside a crash"));
  EXPECT_EQ(0, crUninstall());
}

TEST(CrashRecordTest, TextsSurviveTheRecord) {
  char buffer[512];
  crashrpt::RecordWriter writer(buffer, sizeof(buffer));
  writer.Number("pid", 4242);
  writer.Hex("frame", 0x1234abcd);
  writer.Hex("frame", 0);
  writer.Text("line", "two\nlines \\ and\r");
  writer.Text("box_caption", "错误信息");
  writer.Raw("end\n");
  crashrpt::CrashRecord record = crashrpt::ParseRecord(std::string(buffer, writer.length()));
  EXPECT_TRUE(record.complete);
  EXPECT_EQ(4242, record.pid);
  EXPECT_EQ((std::vector<uintptr_t>{0x1234abcd, 0}), record.frames);
  EXPECT_EQ(std::vector<std::string>{"two\nlines \\ and\r"}, record.lines);
  EXPECT_EQ("错误信息", record.box_caption);

  // A record cut short by a full buffer says so.
  char small[16];
  crashrpt::RecordWriter cut(small, sizeof(small));
  cut.Text("app", "a name much longer than the buffer");
  cut.Raw("end\n");
  EXPECT_FALSE(crashrpt::ParseRecord(std::string(small, cut.length())).complete);
}

}  // namespace
