#include "tools/tapinstall/tapinstall_command.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <memory>
#include <string>
#include <vector>

#include "base/scoped_temp_dir.h"
#include "gtest/gtest.h"
#include "machine/store.h"
#include "win32/adapters.h"

namespace {

// Runs a program of the program directory and collects what it prints.
int RunTool(const std::string& command_line, std::string* out) {
  const char* dir = getenv("TERN_PROGRAM_DIR");
  std::string command = std::string(dir ? dir : ".") + "/" + command_line + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe)
    return -1;
  char buffer[512];
  size_t got;
  while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
    out->append(buffer, got);
  int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<IP_ADAPTER_INFO> Adapters() {
  ULONG size = 0;
  std::vector<IP_ADAPTER_INFO> list;
  if (GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW)
    return list;
  std::vector<unsigned char> buffer(size);
  auto* first = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  if (GetAdaptersInfo(first, &size) != ERROR_SUCCESS)
    return list;
  for (IP_ADAPTER_INFO* a = first; a; a = a->Next)
    list.push_back(*a);
  return list;
}

class TapInstallTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.CreateUniqueTempDir());
    setenv("TERN_MACHINE_ROOT", root_.GetPath().c_str(), 1);
  }
  void TearDown() override { unsetenv("TERN_MACHINE_ROOT"); }
  base::ScopedTempDir root_;
};

TEST_F(TapInstallTest, InstallStatusAndRemoveWithDeviceConsoleOutput) {
  for (const char* tool : {"data/tap-win64/tapinstall.exe", "data/tap-win32/tapinstall.exe"}) {
    SCOPED_TRACE(tool);
    struct Case {
      const char* arguments;
      int exit_code;
      const char* output;
    } cases[] = {
        {"status tap0901", 0, "No matching devices found.\n"},
        {"install OemVista.inf tap0901", 0,
         "Device node created. Install is complete when drivers are installed...\n"
         "Updating drivers for tap0901 from OemVista.inf.\n"
         "Drivers installed successfully.\n"},
        {"install OemVista.inf TAP0901", 0,
         "A device node for tap0901 exists already.\n"
         "Updating drivers for tap0901 from OemVista.inf.\n"
         "Drivers installed successfully.\n"},
        {"status tap0901", 0,
         "ROOT\\NET\\0000\n    Name: TAP-Win32 Adapter V9\n    Driver is running.\n"
         "1 matching device(s) found.\n"},
        {"hwids tap0901", 0,
         "ROOT\\NET\\0000\n    Name: TAP-Win32 Adapter V9\n    Hardware IDs:\n        tap0901\n"
         "1 matching device(s) found.\n"},
        {"find tap0901", 0,
         "ROOT\\NET\\0000    : TAP-Win32 Adapter V9\n1 matching device(s) found.\n"},
        {"remove tap0901", 0, "ROOT\\NET\\0000 : Removed\n1 device(s) were removed.\n"},
        {"remove tap0901", 0, "No devices were removed.\n"},
        {"install OemVista.inf wintun", 2, "devcon failed.\n"},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.arguments);
      std::string out;
      EXPECT_EQ(c.exit_code, RunTool(std::string(tool) + " " + c.arguments, &out));
      EXPECT_EQ(c.output, out);
    }
    std::string out;
    EXPECT_EQ(3, RunTool(std::string(tool) + " update", &out));
    EXPECT_NE(std::string::npos, out.find("Usage:")) << out;
  }
}

// The default-gateway search skips the adapter named "TAP-Win32 Adapter V9"
// and gateways "0.0.0.0", and takes the first gateway of the others.
std::string FirstGateway(const std::vector<IP_ADAPTER_INFO>& adapters) {
  for (const IP_ADAPTER_INFO& a : adapters) {
    if (std::string(a.Description) == "TAP-Win32 Adapter V9" ||
        std::string(a.GatewayList.IpAddress.String) == "0.0.0.0") {
      continue;
    }
    return a.GatewayList.IpAddress.String;
  }
  return std::string();
}

TEST_F(TapInstallTest, TheInstalledAdapterComesFirstAndIsSkippedByTheGatewayRule) {
  std::string out;
  ASSERT_EQ(0, RunTool("data/tap-win64/tapinstall.exe install OemVista.inf tap0901", &out)) << out;

  // Against a known machine: the adapter first, then the real interface.
  std::unique_ptr<machine::Store> store;
  ASSERT_EQ(machine::Status::kOk, machine::Store::Open(&store));
  ASSERT_EQ(machine::Status::kOk, store->SetAdapterOverride(true));
  machine::AdapterRecord eth;
  eth.name = "eth0";
  eth.description = "Intel(R) Ethernet";
  eth.addresses = "192.168.3.7/255.255.255.0";
  eth.gateway = "192.168.3.1";
  int64_t id = 0;
  ASSERT_EQ(machine::Status::kOk, store->AddAdapter(eth, &id));
  std::vector<IP_ADAPTER_INFO> adapters = Adapters();
  ASSERT_EQ(2u, adapters.size());
  EXPECT_STREQ("tap0901", adapters[0].AdapterName);
  EXPECT_STREQ("TAP-Win32 Adapter V9", adapters[0].Description);
  EXPECT_STREQ("0.0.0.0", adapters[0].GatewayList.IpAddress.String);
  EXPECT_EQ("192.168.3.1", FirstGateway(adapters));

  // On the host: the adapter, then the host's interfaces, whose gateway wins.
  ASSERT_EQ(machine::Status::kOk, store->SetAdapterOverride(false));
  ASSERT_EQ(machine::Status::kOk, store->RemoveAdapter(id));
  adapters = Adapters();
  ASSERT_FALSE(adapters.empty());
  EXPECT_STREQ("tap0901", adapters[0].AdapterName);
  std::string host_gateway;
  for (size_t i = 1; i < adapters.size() && host_gateway.empty(); ++i) {
    std::string gateway = adapters[i].GatewayList.IpAddress.String;
    EXPECT_FALSE(gateway.empty()) << adapters[i].AdapterName;
    if (gateway != "0.0.0.0")
      host_gateway = gateway;
  }
  EXPECT_EQ(host_gateway, FirstGateway(adapters));
}

}  // namespace
