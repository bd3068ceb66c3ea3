#include "tools/net/net_command.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <string>

#include "base/program_directory_for_testing.h"
#include "base/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace {

// Runs a program of the program directory through the shell (so quoting
// works as on a command line) and collects what it prints.
int RunTool(const std::string& command_line, std::string* out) {
  return base::RunProgramForTesting(command_line, out);
}

TEST(NetToolTest, StartAndStopAsConfiguredFromAChildProcess) {
  base::ScopedTempDir root;
  ASSERT_TRUE(root.CreateUniqueTempDir());
  setenv("TERN_MACHINE_ROOT", root.GetPath().c_str(), 1);
  struct Case {
    const char* command;
    int exit_code;
    const char* output;
  } cases[] = {
      {"tern-machine service Svc 'display=Demo Service' state=stopped behaviour=atonce", 0, ""},
      {"net.exe start svc", 0,
       "The Demo Service service is starting.\n"
       "The Demo Service service was started successfully.\n"},
      {"net.exe START 'demo service'", 2, "The requested service has already been started.\n"},
      {"net.exe Stop SVC", 0,
       "The Demo Service service is stopping.\n"
       "The Demo Service service was stopped successfully.\n"},
      {"net.exe stop svc", 2, "The Demo Service service is not started.\n"},
      {"net.exe start NoSuchService", 2, "The service name is invalid.\n"},
      {"tern-machine service Svc behaviour=fail", 0, ""},
      {"net.exe start svc", 2, "service could not be started.\n\nA system error has occurred."},
      {"tern-machine service Svc behaviour=missing", 0, ""},
      {"net.exe start svc", 2, "The service name is invalid.\n"},
      {"tern-machine service Svc behaviour=wait hint=300", 0, ""},
      {"net.exe start svc", 0, "The Demo Service service was started successfully.\n"},
      {"net.exe start", 0, "These Windows services are started:\n\n"},
      {"net.exe start svc extra", 1, "The syntax of this command is:"},
      {"net.exe stop", 1, "The syntax of this command is:"},
      {"net.exe", 1, "The syntax of this command is:"},
      {"tern-machine service Svc state=sleeping", 2, "bad setting state=sleeping"},
      {"tern-machine service Svc hint=-5", 2, "bad setting hint=-5"},
      {"tern-machine frobnicate", 2, "usage: tern-machine"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    std::string out;
    EXPECT_EQ(RunTool(c.command, &out), c.exit_code) << out;
    EXPECT_NE(out.find(c.output), std::string::npos) << out;
  }

  // The slow start waited for the wait hint; the list shows seeded services
  // too; every change is in the effects log.
  std::string out;
  ASSERT_EQ(RunTool("net.exe start", &out), 0);
  EXPECT_NE(out.find("   DHCP Client\n"), std::string::npos) << out;
  EXPECT_NE(out.find("   Demo Service\n"), std::string::npos) << out;
  out.clear();
  ASSERT_EQ(RunTool("tern-machine services", &out), 0);
  EXPECT_NE(out.find("Svc\tDemo Service\tstate=running start=demand behaviour=wait hint=300\n"),
            std::string::npos)
      << out;
  out.clear();
  ASSERT_EQ(RunTool("tern-machine effects", &out), 0);
  EXPECT_NE(out.find("\tnet\tstart Svc\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\tnet\tstop Svc\n"), std::string::npos) << out;
  unsetenv("TERN_MACHINE_ROOT");
}

}  // namespace
