// Runs the product's programs headless against a test's own program
// directory, machine root, home folders and temporary folder, and drives
// their windows with tern-automate.
#ifndef TESTS_INSTALL_PROGRAM_HARNESS_H_
#define TESTS_INSTALL_PROGRAM_HARNESS_H_

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/scoped_temp_dir.h"

namespace tern_test {

class ProgramHarness {
 public:
  // Sets this process's environment to the test's folders too, so that the
  // registry and shell-folder calls of the test see the same machine.
  ProgramHarness();
  ~ProgramHarness();

  const std::filesystem::path& root() const { return temp_.path(); }
  std::filesystem::path program_dir() const { return root() / "Tern 加速器"; }
  std::filesystem::path desktop() const { return root() / "Desktop"; }
  std::filesystem::path programs() const { return root() / "share" / "applications"; }
  std::filesystem::path temp() const { return root() / "tmp"; }

  // The build's program directory (tern-automate, the programs).
  static std::filesystem::path BuildProgramDir();

  // Lays this build's product into program_dir() with the installer program
  // (registration and shortcuts included). A copy of "sleep"
  // stands in for rix.exe unless |real_client|.
  bool Install(bool real_client = false);

  // Starts |program| with |args| and the harness's environment; its output
  // goes to a log file in root().
  pid_t Start(const std::filesystem::path& program, const std::vector<std::string>& args = {});
  // Starts a copy of "sleep" named rix.exe from program_dir().
  pid_t StartFakeClient();
  // Waits up to |timeout_ms| for |pid| to exit; its exit status, or -1.
  int WaitExit(pid_t pid, int timeout_ms);
  bool Running(pid_t pid);

  // Runs tern-automate with |args|; its output, and its exit status in
  // |status| when given.
  std::string Automate(const std::vector<std::string>& args, int* status = nullptr);
  // Polls until the control's state line |want| (e.g. "visible=1") shows.
  bool WaitForState(const std::string& window,
                    const std::string& control,
                    const std::string& want,
                    int timeout_ms = 20000);
  bool WaitForText(const std::string& window,
                   const std::string& control,
                   const std::string& want,
                   int timeout_ms = 20000);
  // Polls |done| until it holds.
  bool WaitUntil(const std::function<bool()>& done, int timeout_ms = 20000);
  // Waits until |path| no longer exists.
  bool WaitUntilGone(const std::filesystem::path& path, int timeout_ms = 20000);

  std::string ReadLog(const std::filesystem::path& program) const;

 private:
  base::ScopedTempDir temp_;
  std::vector<pid_t> children_;
  std::vector<std::pair<std::string, std::string>> saved_env_;
};

}  // namespace tern_test

#endif  // TESTS_INSTALL_PROGRAM_HARNESS_H_
