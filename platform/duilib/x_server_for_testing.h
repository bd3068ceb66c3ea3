// A private X server (Xvfb) on a display number of its own, with an optional
// window manager (openbox), for tests of what a person sees on a desktop.
// Tests skip when Xvfb is not installed.
#ifndef DUILIB_X_SERVER_FOR_TESTING_H_
#define DUILIB_X_SERVER_FOR_TESTING_H_

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace DuiLib {

class XServerForTesting {
 public:
  static bool Available() { return std::system("command -v Xvfb >/dev/null 2>&1") == 0; }

  ~XServerForTesting() {
    Stop(wm_pid_);
    Stop(x_pid_);
  }

  // Starts Xvfb (1280x800) on a free display it picks itself (-displayfd).
  bool Start(bool with_window_manager) {
    int fds[2];
    if (pipe(fds) != 0)
      return false;
    std::string fd = std::to_string(fds[1]);
    std::vector<std::string> args = {"Xvfb", "-displayfd",  fd,          "-screen",
                                     "0",    "1280x800x24", "-nolisten", "tcp"};
    x_pid_ = Spawn(args, {});
    close(fds[1]);
    char buf[32] = {};
    ssize_t n = x_pid_ > 0 ? read(fds[0], buf, sizeof(buf) - 1) : -1;
    close(fds[0]);
    if (n <= 0)
      return false;
    display_ = ":" + std::string(buf, buf + n);
    while (!display_.empty() && (display_.back() == '\n' || display_.back() == ' '))
      display_.pop_back();
    if (with_window_manager) {
      wm_pid_ = Spawn({"openbox", "--sm-disable"}, {"DISPLAY=" + display_});
      // openbox owns the WM_S0 selection once it manages the screen.
      for (int i = 0; i < 100; ++i) {
        if (Shell("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos)
          break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    }
    return true;
  }

  const std::string& display() const { return display_; }

  // Runs a shell command against this display; returns its standard output.
  std::string Shell(const std::string& command) const {
    std::string cmd = "DISPLAY=" + display_ + " " + command + " 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    if (!p)
      return out;
    char buf[512];
    while (fgets(buf, sizeof(buf), p))
      out += buf;
    pclose(p);
    return out;
  }

  // Starts a program with this display and SDL's X11 driver; `env` is added
  // to a clean environment.
  pid_t Launch(const std::vector<std::string>& args, std::vector<std::string> env) const {
    env.push_back("DISPLAY=" + display_);
    env.push_back("SDL_VIDEODRIVER=x11");
    // PATH, and the sanitizers' settings (suppressions) for sanitizer builds.
    for (const char* name :
         {"PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS"}) {
      if (const char* value = std::getenv(name))
        env.push_back(std::string(name) + "=" + value);
    }
    return Spawn(args, env, /*inherit_env=*/false);
  }

  // Waits for `pid` to end; -1 when it is still running after `seconds`.
  static int WaitExit(pid_t pid, int seconds, int* status) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
      pid_t r = waitpid(pid, status, WNOHANG);
      if (r == pid)
        return 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }

  static void Stop(pid_t& pid) {
    if (pid <= 0)
      return;
    kill(pid, SIGTERM);
    int status;
    if (WaitExit(pid, 5, &status) != 0) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
    pid = -1;
  }

 private:
  static pid_t Spawn(const std::vector<std::string>& args,
                     const std::vector<std::string>& env,
                     bool inherit_env = true) {
    std::vector<std::string> all_env;
    if (inherit_env) {
      for (char** e = environ; *e; ++e)
        all_env.push_back(*e);
    }
    all_env.insert(all_env.end(), env.begin(), env.end());
    std::vector<char*> argv, envp;
    std::vector<std::string> copy = args;
    for (auto& a : copy)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : all_env)
      envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0)
      return -1;
    return pid;
  }

  std::string display_;
  pid_t x_pid_ = -1;
  pid_t wm_pid_ = -1;
};

}  // namespace DuiLib

#endif  // DUILIB_X_SERVER_FOR_TESTING_H_
