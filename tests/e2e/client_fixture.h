// The shared end-to-end fixture: a tern-service on free ports with its own
// data folder, a program directory laid out in a temporary folder, programs
// started headless from it with their own machine root and automation
// socket, and the waits the journeys need. Window tests of the client derive
// from ClientFixture and read as the user's steps:
//
//   auto client = StartClient();
//   ASSERT_TRUE(client->ui().WaitForWindow("LoginWnd"));
//   client->ui().Type("LoginWnd", "account_edit", "13800000001");
#ifndef TESTS_E2E_CLIENT_FIXTURE_H_
#define TESTS_E2E_CLIENT_FIXTURE_H_

#include <gtest/gtest.h>
#include <sys/types.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "server/testing/service_process.h"
#include "tests/e2e/automation_client.h"

namespace tern::e2e {

// The service's certificate in a program directory, named by config.ini's
// ca_file: the programs trust it and the system's store, nothing else.
inline constexpr char kServiceCertificate[] = "tern-service.pem";

// Where the build put the programs (TERN_PROGRAM_DIR, else the build's own).
std::string BuildProgramDirectory();

// Copies rix.exe and libServiceBridge.so into |directory| (the client finds
// its files beside itself), links the tools it runs, makes log/ and data/,
// and writes a config.ini whose [service_hosts] all point at |service_url|
// (none when it is empty).
bool LayOutProgramDirectory(const std::string& directory, const std::string& service_url);
// Rewrites config.ini with the three hosts (an empty one is written empty)
// and the ca_file.
void WriteServiceHosts(const std::string& directory,
                       const std::string& account,
                       const std::string& node,
                       const std::string& billing);

std::string ReadFile(const std::string& path);

// One program started headless; killed when it is still running at the end.
class Program {
 public:
  Program(pid_t pid, std::string socket_path, std::string output_path);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  const Automation& ui() const { return ui_; }
  pid_t pid() const { return pid_; }
  bool Running();
  // The exit code, or -1 when it did not exit in time (or died by a signal;
  // then term_signal() tells which).
  int WaitForExit(Millis timeout = kDefaultWait);
  int term_signal() const { return term_signal_; }
  // What it wrote to standard output and standard error so far.
  std::string Output() const;

 private:
  pid_t pid_;
  bool exited_ = false;
  int exit_code_ = -1;
  int term_signal_ = 0;
  Automation ui_;
  std::string output_path_;
};

class ClientFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts |program| (a file name in the program directory) headless with
  // its own automation socket; the machine root is the fixture's.
  std::unique_ptr<Program> StartProgram(const std::string& program,
                                        const std::vector<std::string>& args = {},
                                        const std::map<std::string, std::string>& env = {});
  std::unique_ptr<Program> StartClient(const std::vector<std::string>& args = {}) {
    return StartProgram("rix.exe", args);
  }

  // The last SMS code the service sent to |number| ("" when none yet).
  std::string LastCode(const std::string& number) const;
  std::string WaitForCode(const std::string& number, const std::string& other_than = "") const;
  // An account made directly in the service.
  void CreateAccount(const std::string& number, const std::string& password) const;
  // What tern-machine says about the fixture's machine root.
  std::string MachineTool(const std::vector<std::string>& args) const;
  std::string Config() const { return ReadFile(program_dir_ + "/config.ini"); }

  // The options tern-service starts with; |temp_dir| is the test's folder.
  virtual std::vector<std::string> ServiceOptions(const std::string& temp_dir) {
    (void)temp_dir;
    return {"--sms-interval", "0"};
  }

  std::unique_ptr<ScopedTempDir> dir_;
  std::unique_ptr<ServiceProcess> service_;
  std::string program_dir_;
  std::string machine_root_;

 private:
  int started_ = 0;
};

}  // namespace tern::e2e

#endif  // TESTS_E2E_CLIENT_FIXTURE_H_
