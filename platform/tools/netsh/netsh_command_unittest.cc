#include "tools/netsh/netsh_command.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "base/program_directory_for_testing.h"
#include "base/scoped_temp_dir.h"
#include "gtest/gtest.h"
#include "machine/store.h"

namespace {

int RunTool(const std::string& command_line, std::string* out) {
  return base::RunProgramForTesting(command_line, out);
}

TEST(NetworkRepairToolsTest, ResetsAreRecordedInTheMachineStore) {
  base::ScopedTempDir root;
  ASSERT_TRUE(root.CreateUniqueTempDir());
  setenv("TERN_MACHINE_ROOT", root.GetPath().c_str(), 1);
  std::string log_file = (root.GetPath() / "resetlog.txt").string();
  struct Case {
    std::string command;
    int exit_code;
    const char* output;
  } cases[] = {
      {"netsh.exe INT IP RESET", 0, "Resetting Route, OK!\n"},
      {"netsh.exe interface ipv4 reset " + log_file, 0,
       "Restart the computer to complete this action.\n"},
      {"netsh.exe winhttp set proxy 127.0.0.1:8888 '<local>'", 0,
       "    Proxy Server(s) :  127.0.0.1:8888\n    Bypass List     :  <local>\n"},
      {"netsh.exe WINHTTP RESET PROXY", 0, "    Direct access (no proxy server).\n"},
      {"netsh.exe winhttp show proxy", 0, "    Direct access (no proxy server).\n"},
      {"netsh.exe int ip reset " + root.GetPath().string() + "/no/such/dir/log.txt", 1,
       "cannot open the log file"},
      {"netsh.exe int ip flush", 1, "The following command was not found: int ip flush.\n"},
      {"netsh.exe winhttp reset proxy now", 1, "The following command was not found:"},
      {"netsh.exe", 1, "Usage: netsh"},
      {"ipconfig.exe /FLUSHDNS", 0, "Successfully flushed the DNS Resolver Cache.\n"},
      {"ipconfig.exe -flushdns", 0, "Successfully flushed the DNS Resolver Cache.\n"},
      {"ipconfig.exe /?", 0, "/flushdns    Purges the DNS Resolver cache."},
      {"ipconfig.exe /flush", 1, "Error: unrecognized or incomplete command line.\n"},
      {"ipconfig.exe /flushdns /all", 1, "Error: unrecognized or incomplete command line.\n"},
      {"ipconfig.exe", 1, "Error: unrecognized or incomplete command line.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    std::string out;
    EXPECT_EQ(RunTool(c.command, &out), c.exit_code) << out;
    EXPECT_NE(out.find(c.output), std::string::npos) << out;
  }

  std::unique_ptr<machine::Store> store;
  ASSERT_EQ(machine::Store::Open(&store), machine::Status::kOk);
  struct Counter {
    const char* name;
    int64_t value;
  } counters[] = {{"ip_reset", 2}, {"winhttp_proxy_reset", 1}, {"dns_flush", 2}};
  for (const Counter& c : counters) {
    int64_t value = -1;
    ASSERT_EQ(store->GetCounter(c.name, &value), machine::Status::kOk);
    EXPECT_EQ(value, c.value) << c.name;
  }
  std::string proxy = "unset";
  ASSERT_EQ(store->GetSetting("winhttp_proxy", &proxy), machine::Status::kOk);
  EXPECT_EQ(proxy, "");
  std::vector<machine::EffectRecord> effects;
  ASSERT_EQ(store->ListEffects(&effects), machine::Status::kOk);
  ASSERT_EQ(effects.size(), 6u);
  EXPECT_EQ(effects[0].tool + " " + effects[0].text, "netsh int ip reset");
  EXPECT_EQ(effects[5].tool + " " + effects[5].text, "ipconfig flushdns");
  std::ifstream log(log_file);
  std::stringstream logged;
  logged << log.rdbuf();
  EXPECT_NE(logged.str().find("Resetting Global, OK!\n"), std::string::npos);
  unsetenv("TERN_MACHINE_ROOT");
}

}  // namespace
