#include "client/system/os_info.h"

#include <stdlib.h>
#include <sys/utsname.h>

#include <memory>
#include <string>
#include <vector>

#include "base/scoped_temp_dir.h"
#include "gtest/gtest.h"
#include "machine/store.h"

namespace {

class OsInfoTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.CreateUniqueTempDir());
    setenv("TERN_MACHINE_ROOT", dir_.path().c_str(), 1);
    ASSERT_EQ(machine::Status::kOk, machine::Store::Open(&store_));
  }
  void TearDown() override {
    store_.reset();
    unsetenv("TERN_MACHINE_ROOT");
  }

  void Adapter(const char* description, const char* gateway) {
    machine::AdapterRecord record;
    record.name = description;
    record.description = description;
    record.addresses = "10.0.0.5/255.255.255.0";
    record.gateway = gateway;
    int64_t id = 0;
    ASSERT_EQ(machine::Status::kOk, store_->AddAdapter(record, &id));
  }

  base::ScopedTempDir dir_;
  std::unique_ptr<machine::Store> store_;
};

TEST_F(OsInfoTest, GatewayOfTheFirstPhysicalAdapter) {
  struct Case {
    std::vector<std::pair<const char*, const char*>> adapters;
    const char* gateway;
  } cases[] = {
      {{}, ""},
      {{{"TAP-Win32 Adapter V9", "10.8.0.1"}, {"eth0", "0.0.0.0"}}, ""},
      {{{"TAP-Win32 Adapter V9", "10.8.0.1"}, {"eth0", "0.0.0.0"}, {"wlan0", "192.168.3.1"}},
       "192.168.3.1"},
      {{{"eth0", "172.16.0.1"}, {"wlan0", "192.168.3.1"}}, "172.16.0.1"},
      // An adapter without a gateway lists "0.0.0.0", the TAP adapter as installed too.
      {{{"eth0", ""}, {"wlan0", "192.168.3.1"}}, "192.168.3.1"},
      {{{"TAP-Win32 Adapter V9", ""}, {"eth0", "172.16.0.1"}}, "172.16.0.1"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(machine::Status::kOk, store_->SetAdapterOverride(true));
    std::vector<machine::AdapterRecord> old;
    ASSERT_EQ(machine::Status::kOk, store_->ListAdapters(&old));
    for (const machine::AdapterRecord& record : old)
      ASSERT_EQ(machine::Status::kOk, store_->RemoveAdapter(record.id));
    for (const auto& adapter : c.adapters)
      Adapter(adapter.first, adapter.second);
    EXPECT_EQ(c.gateway, GetDefaultGateway()) << c.adapters.size();
  }
}

TEST_F(OsInfoTest, DescriptionFromTheSearchVersion) {
  struct Case {
    const wchar_t* version;
    bool wow64;
    const char* description;
  } cases[] = {
      {L"10.0.17134.1", true, "windows10.0x64"},
      {L"7.0.7601.17514", false, "windows7.0x32"},
      {L"6.1", true, "windows6.1x64"},
      {L"", true, "windowsx64"},
      {L"", false, "windowsx32"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.description, FormatOsDescription(c.version, c.wow64));

  utsname info{};
  ASSERT_EQ(0, uname(&info));
  std::string bits = std::string(info.machine).find("64") != std::string::npos ? "x64" : "x32";
  EXPECT_EQ("windows" + bits, GetOsDescription()) << "no value yet";

  machine::RegistryValue value;
  value.name = "Version";
  value.type = 1;
  std::string text = "10.0.17134.1";
  value.data.assign(text.begin(), text.end());
  ASSERT_EQ(machine::Status::kOk,
            store_->SetRegistryValue("HKEY_LOCAL_MACHINE", machine::RegistryView::k32,
                                     "SOFTWARE\\Microsoft\\Windows Desktop Search", value));
  EXPECT_EQ("windows10.0" + bits, GetOsDescription());
}

}  // namespace
