// From starting a program to its first window painted: rix.exe's login
// window and, as the anchor measured in the same run, duilib-demo's window.
// Headless; "painted" is when the automation socket hands back the window's
// pixels. Warm runs share the fontconfig cache; cold runs start each time
// with an empty one.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/automation_client.h"
#include "tests/e2e/client_fixture.h"

extern char** environ;

namespace {

using namespace tern::e2e;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

struct Target {
  std::string program;
  std::string window_class;
  std::string close_control;
};

class Workspace {
 public:
  Workspace() {
    char dir[] = "/tmp/tern-start-bench-XXXXXX";
    root_ = mkdtemp(dir);
    LayOutProgramDirectory(root_ + "/program", "https://127.0.0.1:1");
    fs::create_symlink(BuildProgramDirectory() + "/duilib-demo", root_ + "/program/duilib-demo");
    // The system's fonts with a cache folder of our own.
    std::ofstream(root_ + "/fonts.conf")
        << "<?xml version=\"1.0\"?>\n<fontconfig>\n<dir>/usr/share/fonts</dir>\n"
        << "<dir>/usr/local/share/fonts</dir>\n<cachedir>" << root_ << "/fc-cache</cachedir>\n"
        << "<include ignore_missing=\"yes\">/etc/fonts/conf.d</include>\n</fontconfig>\n";
  }
  ~Workspace() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  const std::string& root() const { return root_; }

 private:
  std::string root_;
};

Workspace& workspace() {
  static Workspace w;
  return w;
}

pid_t Spawn(const std::string& path, const std::map<std::string, std::string>& extra) {
  std::map<std::string, std::string> vars;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    size_t eq = entry.find('=');
    if (eq != std::string::npos)
      vars[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  vars.erase("DISPLAY");
  for (const auto& [k, v] : extra)
    vars[k] = v;
  std::vector<std::string> strings;
  for (const auto& [k, v] : vars)
    strings.push_back(k + "=" + v);
  std::vector<char*> envp;
  for (std::string& s : strings)
    envp.push_back(s.data());
  envp.push_back(nullptr);
  std::string arg0 = path;
  char* argv[] = {arg0.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Seconds from spawn to painted pixels, or a negative value on failure.
double StartOnce(const Target& target, bool cold, int run) {
  const std::string& root = workspace().root();
  std::string socket = root + "/ui" + std::to_string(run) + ".sock";
  std::map<std::string, std::string> env = {{"TERN_HEADLESS", "1"},
                                            {"TERN_AUTOMATION", socket},
                                            {"TERN_MACHINE_ROOT", root + "/machine"}};
  if (cold) {
    std::error_code ec;
    fs::remove_all(root + "/fc-cache", ec);
    env["FONTCONFIG_FILE"] = root + "/fonts.conf";
  }
  Automation ui(socket);
  std::string png = root + "/shot.png";
  auto start = Clock::now();
  pid_t pid = Spawn(root + "/program/" + target.program, env);
  bool painted = false;
  auto deadline = start + std::chrono::seconds(30);
  while (Clock::now() < deadline) {
    if (ui.IsWindowVisible(target.window_class) && ui.SavePng(target.window_class, png)) {
      painted = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ui.Click(target.window_class, target.close_control);
  int status = 0;
  for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (waitpid(pid, &status, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  fs::remove(socket);
  return painted ? seconds : -1;
}

void BM_StartToFirstPaint(benchmark::State& state, Target target, bool cold) {
  int run = 0;
  StartOnce(target, cold, run++);  // warms the page cache for the program files
  for (auto _ : state) {
    double seconds = StartOnce(target, cold, run++);
    if (seconds < 0) {
      state.SkipWithError("the window was not painted within 30 s");
      break;
    }
    state.SetIterationTime(seconds);
  }
}

const Target kRix{"rix.exe", "LoginWnd", "login_wnd_close"};
const Target kDemo{"duilib-demo", "DemoWnd", "close_btn"};

BENCHMARK_CAPTURE(BM_StartToFirstPaint, duilib_demo_warm, kDemo, false)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK_CAPTURE(BM_StartToFirstPaint, rix_login_warm, kRix, false)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK_CAPTURE(BM_StartToFirstPaint, duilib_demo_cold_fonts, kDemo, true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_StartToFirstPaint, rix_login_cold_fonts, kRix, true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
