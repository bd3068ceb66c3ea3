// Voluntary context switches of an idle window program (duilib-demo) over
// 10 s, summed over all its threads, after start-up has settled: under Xvfb
// with SDL's X11 driver, and headless for the anchor. An idle program that
// sleeps until input or a timer arrives makes 0.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "duilib/x_server_for_testing.h"

namespace {

std::string ProgramDir() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  std::string path(buf, n > 0 ? n : 0);
  return path.substr(0, path.rfind('/'));
}

long VoluntarySwitches(pid_t pid) {
  long total = 0;
  std::string dir = "/proc/" + std::to_string(pid) + "/task";
  DIR* d = opendir(dir.c_str());
  if (!d)
    return -1;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.')
      continue;
    std::ifstream status(dir + "/" + e->d_name + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
        total += std::stol(line.substr(line.find(':') + 1));
    }
  }
  closedir(d);
  return total;
}

void Idle(benchmark::State& state, bool on_display) {
  DuiLib::XServerForTesting x;
  if (on_display && (!DuiLib::XServerForTesting::Available() || !x.Start(false))) {
    state.SkipWithError("Xvfb is not available");
    return;
  }
  char dir_template[] = "/tmp/tern-idle-XXXXXX";
  std::string dir = mkdtemp(dir_template);
  std::string socket = dir + "/ui.sock";
  std::vector<std::string> env = {"TERN_AUTOMATION=" + socket, "TERN_MACHINE_ROOT=" + dir + "/m",
                                  "HOME=" + dir};
  if (!on_display)
    env.push_back("TERN_HEADLESS=1");
  pid_t pid = x.Launch({ProgramDir() + "/duilib-demo"}, env);
  std::string wait = "'" + ProgramDir() + "/tern-automate' --socket '" + socket +
                     "' --timeout 20000 wait DemoWnd >/dev/null 2>&1";
  if (pid <= 0 || std::system(wait.c_str()) != 0) {
    state.SkipWithError("the demo did not start");
    DuiLib::XServerForTesting::Stop(pid);
    return;
  }
  // Start-up (first paint, the automation answer) settles first.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  long switches = 0;
  for (auto _ : state) {
    long before = VoluntarySwitches(pid);
    auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    long after = VoluntarySwitches(pid);
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    switches = after - before;
  }
  state.counters["voluntary_switches_10s"] = static_cast<double>(switches);
  DuiLib::XServerForTesting::Stop(pid);
  std::system(("rm -rf '" + dir + "'").c_str());
}

void BM_IdleWindowProgramOnXvfb(benchmark::State& state) {
  Idle(state, true);
}
void BM_IdleWindowProgramHeadless(benchmark::State& state) {
  Idle(state, false);
}

BENCHMARK(BM_IdleWindowProgramOnXvfb)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_IdleWindowProgramHeadless)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
