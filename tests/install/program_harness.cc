#include "tests/install/program_harness.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace tern_test {
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

void Pause() {
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

}  // namespace

ProgramHarness::ProgramHarness() {
  temp_.CreateUniqueTempDir();
  fs::create_directories(temp());
  fs::create_directories(root() / "home");
  const std::pair<const char*, std::string> env[] = {
      {"TERN_MACHINE_ROOT", (root() / "machine").string()},
      {"XDG_DESKTOP_DIR", desktop().string()},
      {"XDG_DATA_HOME", (root() / "share").string()},
      {"TMPDIR", temp().string()},
      {"HOME", (root() / "home").string()},
      {"TERN_HEADLESS", "1"},
      {"TERN_AUTOMATION", (root() / "ui.sock").string()},
  };
  for (const auto& [name, value] : env) {
    const char* old = getenv(name);
    saved_env_.emplace_back(name, old ? std::string("=") + old : std::string());
    setenv(name, value.c_str(), 1);
  }
}

ProgramHarness::~ProgramHarness() {
  for (pid_t pid : children_) {
    if (Running(pid)) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  for (const auto& [name, value] : saved_env_) {
    if (value.empty())
      unsetenv(name.c_str());
    else
      setenv(name.c_str(), value.c_str() + 1, 1);
  }
}

fs::path ProgramHarness::BuildProgramDir() {
  const char* dir = getenv("TERN_PROGRAM_DIR");
  return dir ? fs::path(dir) : fs::path(TERN_DEFAULT_PROGRAM_DIR);
}

bool ProgramHarness::Install(bool real_client) {
  fs::path package = BuildProgramDir().parent_path() / "package";
  pid_t pid =
      Start(package / "tern-installer", {"--from", (package / "current").string(), "--version",
                                         TERN_BUILD_CLIENT_VERSION, program_dir().string()});
  if (WaitExit(pid, 60000) != 0)
    return false;
  std::error_code error;
  if (real_client)
    return fs::exists(program_dir() / "rix.exe");
  fs::copy_file("/bin/sleep", program_dir() / "rix.exe", fs::copy_options::overwrite_existing,
                error);
  return !error;
}

pid_t ProgramHarness::Start(const fs::path& program, const std::vector<std::string>& args) {
  std::vector<std::string> words = {program.string()};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  std::string log = (root() / (program.filename().string() + ".log")).string();
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed)
    return -1;
  children_.push_back(pid);
  return pid;
}

pid_t ProgramHarness::StartFakeClient() {
  return Start(program_dir() / "rix.exe", {"300"});
}

int ProgramHarness::WaitExit(pid_t pid, int timeout_ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (done < 0 || Clock::now() >= deadline)
      return -1;
    Pause();
  }
}

bool ProgramHarness::Running(pid_t pid) {
  return waitpid(pid, nullptr, WNOHANG) == 0;
}

std::string ProgramHarness::Automate(const std::vector<std::string>& args, int* status) {
  // Programs start slowly on a loaded machine or under the sanitizers.
  std::string command = "'" + (BuildProgramDir() / "tern-automate").string() + "' --timeout 30000";
  for (const std::string& arg : args) {
    std::string quoted = "'";
    for (char c : arg)
      quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += " " + quoted + "'";
  }
  std::string out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe)
    return out;
  char buffer[512];
  while (size_t n = fread(buffer, 1, sizeof(buffer), pipe))
    out.append(buffer, n);
  int result = pclose(pipe);
  if (status)
    *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  return out;
}

bool ProgramHarness::WaitForState(const std::string& window,
                                  const std::string& control,
                                  const std::string& want,
                                  int timeout_ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  do {
    if (Automate({"state", window, control}).find(want) != std::string::npos)
      return true;
    Pause();
  } while (Clock::now() < deadline);
  return false;
}

bool ProgramHarness::WaitForText(const std::string& window,
                                 const std::string& control,
                                 const std::string& want,
                                 int timeout_ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  do {
    if (Automate({"text", window, control}) == want + "\n")
      return true;
    Pause();
  } while (Clock::now() < deadline);
  return false;
}

bool ProgramHarness::WaitUntil(const std::function<bool()>& done, int timeout_ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (Clock::now() >= deadline)
      return false;
    Pause();
  }
  return true;
}

bool ProgramHarness::WaitUntilGone(const fs::path& path, int timeout_ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  std::error_code error;
  while (fs::exists(fs::symlink_status(path, error))) {
    if (Clock::now() >= deadline)
      return false;
    Pause();
  }
  return true;
}

std::string ProgramHarness::ReadLog(const fs::path& program) const {
  std::ifstream in(root() / (program.filename().string() + ".log"));
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tern_test
