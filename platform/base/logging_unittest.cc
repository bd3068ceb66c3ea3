#include "base/logging.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/location.h"
#include "base/scoped_temp_dir.h"
#include "base/thread_restrictions.h"
#include "gtest/gtest.h"

extern char** environ;

namespace logging {
namespace {

struct Captured {
  int severity;
  std::string text;
  std::string function;
};

// Captures records for the duration of a test and restores the defaults.
class LoggingTest : public testing::Test {
 protected:
  void SetUp() override {
    SetLogMessageHandlerForTesting([this](int severity, const char*, int, const char* function,
                                          size_t start, const std::string& str) {
      records_.push_back({severity, str.substr(start), function ? function : ""});
      return true;
    });
  }
  void TearDown() override {
    SetLogMessageHandlerForTesting(nullptr);
    SetDCheckEnabled(false);
    SetMinLogLevel(0);
  }
  std::vector<Captured> records_;
};

TEST_F(LoggingTest, DebugChecksAreLoggedAndEvaluatedOnlyWhenEnabled) {
  for (bool enabled : {false, true}) {
    records_.clear();
    SetDCheckEnabled(enabled);
    int evaluations = 0;
    auto fails = [&] {
      ++evaluations;
      return false;
    };
    DCHECK(fails()) << "extra";
    NOTREACHED();
    DCHECK(1 + 1 == 2);
    base::ThreadRestrictions::SetIOAllowed(false);
    base::ThreadRestrictions::AssertIOAllowed();
    base::ThreadRestrictions::SetIOAllowed(true);
    EXPECT_EQ(evaluations, enabled ? 1 : 0);
    if (!enabled) {
      EXPECT_TRUE(records_.empty());
      continue;
    }
    ASSERT_EQ(records_.size(), 3u);
    EXPECT_EQ(records_[0].text, "Check failed: fails(). extra\n");
    EXPECT_EQ(records_[0].severity, LOG_ERROR_REPORT);
    EXPECT_EQ(records_[1].text, "Check failed: false. \n");
    EXPECT_EQ(records_[2].text.rfind("Check failed: !t_io_disallowed. ", 0), 0u);
  }
}

TEST_F(LoggingTest, RecordsCarryFunctionAndFileAndVerboseNeedsLevelMinusOne) {
  LOG(INFO) << "hello " << 5;
  VLOG(1) << "hidden";
  SetMinLogLevel(-1);
  VLOG(1) << "shown";
  VLOG(2) << "too verbose";
  SetMinLogLevel(LOG_WARNING);
  LOG(INFO) << "below minimum";
  LOG(ERROR) << "kept";
  ASSERT_EQ(records_.size(), 3u);
  EXPECT_EQ(records_[0].text, "hello 5\n");
  EXPECT_EQ(records_[0].function, "TestBody");
  EXPECT_EQ(records_[1].text, "shown\n");
  EXPECT_EQ(records_[1].severity, -1);
  EXPECT_EQ(records_[2].text, "kept\n");
}

TEST_F(LoggingTest, RecordPrefixNamesSeverityFunctionAndFile) {
  SetLogMessageHandlerForTesting(nullptr);
  std::string full;
  SetLogMessageHandlerForTesting(
      [&](int, const char*, int, const char*, size_t, const std::string& str) {
        full = str;
        return true;
      });
  LogMessage("/src/client/core/starter_loop.cc", 42, "StarterLoop::Run", LOG_WARNING).stream()
      << "text";
  EXPECT_NE(full.find(":WARNING:StarterLoop::Run:starter_loop.cc(42)] text\n"), std::string::npos)
      << full;
  tracked_objects::Location where("CLoginWnd::Notify", "/src/client/windows/login_wnd.cc", 7);
  LOG_AT(ERROR, where) << "posted";
  EXPECT_NE(full.find(":ERROR:CLoginWnd::Notify:login_wnd.cc(7)] posted\n"), std::string::npos)
      << full;
  EXPECT_EQ(full[0], '[');
}

TEST(LoggingDeathTest, CheckFailureAlwaysLogsAndAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  SetDCheckEnabled(false);
  int value = 3;
  EXPECT_DEATH(CHECK(value == 4) << "boom", "Check failed: value == 4. boom");
  CHECK(value == 3);
}

// Runs the child program and returns its exit code; stderr goes to |err_path|.
int RunChild(const std::vector<std::string>& args, const std::string& err_path) {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
  self[n > 0 ? n : 0] = '\0';
  std::string dir(self);
  dir = dir.substr(0, dir.rfind('/'));
  std::string program = dir + "/base_logging_test_child";
  std::vector<std::string> argv_store = {program};
  argv_store.insert(argv_store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_store)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0)
    return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

int CountLines(const std::string& text, const std::string& needle) {
  int count = 0;
  for (size_t pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1))
    ++count;
  return count;
}

TEST(LoggingFileTest, FileIsAppendedAcrossRunsAndStderrGetsACopyOnlyWithTheSwitch) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  std::string log = (dir.path() / "client.log").string();
  std::string err1 = (dir.path() / "err1").string();
  std::string err2 = (dir.path() / "err2").string();
  ASSERT_EQ(RunChild({"--log-file=" + log, "--tag=first"}, err1), 0);
  ASSERT_EQ(RunChild({"--log-file=" + log, "--tag=second", "enable", "-debug", "log", "enable",
                      "-debug", "check"},
                     err2),
            0);
  std::string text = ReadFile(log);
  EXPECT_EQ(CountLines(text, "record first 0"), 1);
  EXPECT_EQ(CountLines(text, "record second 0"), 1);
  EXPECT_LT(text.find("record first"), text.find("record second"));
  EXPECT_EQ(CountLines(text, "verbose first"), 1) << "VLOG(1) after SetMinLogLevel(-1)";
  EXPECT_NE(text.find(":INFO:main:logging_test_child.cc("), std::string::npos);
  // Debug checks only in the run that asked for them.
  EXPECT_EQ(CountLines(text, "Check failed: argc < 0. "), 1);
  EXPECT_EQ(ReadFile(err1), "");
  std::string copy = ReadFile(err2);
  EXPECT_EQ(CountLines(copy, "record second 0"), 1);
  EXPECT_EQ(CountLines(copy, "record first"), 0);
}

TEST(LoggingFileTest, MissingDirectoryIsNotCreatedAndTwoWritersDoNotInterleave) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  std::string err = (dir.path() / "err").string();
  EXPECT_EQ(RunChild({"--log-file=" + (dir.path() / "log" / "client.log").string()}, err), 3);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "log"));

  std::string log = (dir.path() / "shared.log").string();
  std::string err_a = (dir.path() / "a").string();
  std::string err_b = (dir.path() / "b").string();
  int rc_a = -1;
  std::thread other([&] {
    rc_a = RunChild({"--log-file=" + log, "--tag=A", "--count=400"}, err_a);
  });
  int rc_b = RunChild({"--log-file=" + log, "--tag=B", "--count=400"}, err_b);
  other.join();
  ASSERT_EQ(rc_a, 0);
  ASSERT_EQ(rc_b, 0);
  std::istringstream lines(ReadFile(log));
  std::string line;
  int a = 0, b = 0, total = 0;
  while (std::getline(lines, line)) {
    ++total;
    ASSERT_EQ(line[0], '[') << line;
    a += line.find("record A ") != std::string::npos;
    b += line.find("record B ") != std::string::npos;
  }
  EXPECT_EQ(a, 400);
  EXPECT_EQ(b, 400);
  EXPECT_EQ(total, 802);  // plus one VLOG line each
}

TEST(LoggingFileTest, SizeArgumentRotatesToOldFile) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  std::string log = (dir.path() / "client.log").string();
  std::string err = (dir.path() / "err").string();
  ASSERT_EQ(RunChild({"--log-file=" + log, "--tag=R", "--count=100", "--size=4000"}, err), 0);
  std::string current = ReadFile(log);
  std::string old = ReadFile(log + ".old");
  EXPECT_LE(current.size(), 4000u);
  EXPECT_LE(old.size(), 4000u);
  EXPECT_GT(old.size(), 3000u);
  // The newest record is in the current file, whole.
  EXPECT_NE(current.find("verbose R\n"), std::string::npos);
  EXPECT_EQ(current.back(), '\n');
}

}  // namespace
}  // namespace logging
