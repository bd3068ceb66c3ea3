#include "win32/adapters.h"

#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "base/scoped_temp_dir.h"
#include "gtest/gtest.h"
#include "machine/store.h"

namespace {

class AdaptersTest : public testing::Test {
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
  base::ScopedTempDir dir_;
  std::unique_ptr<machine::Store> store_;
};

TEST_F(AdaptersTest, TwoCallProtocolOverTheStoreList) {
  ASSERT_EQ(machine::Status::kOk, store_->SetAdapterOverride(true));
  ULONG size = 0;
  EXPECT_EQ(static_cast<ULONG>(ERROR_NO_DATA), GetAdaptersInfo(nullptr, &size));
  EXPECT_EQ(static_cast<ULONG>(ERROR_INVALID_PARAMETER), GetAdaptersInfo(nullptr, nullptr));

  machine::AdapterRecord eth;
  eth.name = "eth0";
  eth.description = "Intel(R) Ethernet";
  eth.mac = "00-1A-2B-3C-4D-5E";
  eth.addresses = "192.168.3.7/255.255.255.0;10.1.1.1/255.0.0.0";
  eth.gateway = "192.168.3.1";
  machine::AdapterRecord tap;
  tap.name = "tap0901";
  tap.description = "TAP-Win32 Adapter V9";
  tap.addresses = "10.8.0.2/255.255.255.0";
  int64_t id = 0;
  ASSERT_EQ(machine::Status::kOk, store_->AddAdapter(eth, &id));
  ASSERT_EQ(machine::Status::kOk, store_->AddAdapter(tap, &id));

  size = sizeof(IP_ADAPTER_INFO);
  std::vector<unsigned char> buffer(size);
  ASSERT_EQ(static_cast<ULONG>(ERROR_BUFFER_OVERFLOW),
            GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size));
  EXPECT_EQ(2 * sizeof(IP_ADAPTER_INFO) + sizeof(IP_ADDR_STRING), size);
  buffer.assign(size, 0xCC);
  auto* first = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  ASSERT_EQ(static_cast<ULONG>(ERROR_SUCCESS), GetAdaptersInfo(first, &size));

  EXPECT_STREQ("eth0", first->AdapterName);
  EXPECT_STREQ("Intel(R) Ethernet", first->Description);
  ASSERT_EQ(6u, first->AddressLength);
  EXPECT_EQ(0x5E, first->Address[5]);
  EXPECT_STREQ("192.168.3.7", first->IpAddressList.IpAddress.String);
  EXPECT_STREQ("255.255.255.0", first->IpAddressList.IpMask.String);
  ASSERT_NE(nullptr, first->IpAddressList.Next);
  EXPECT_STREQ("10.1.1.1", first->IpAddressList.Next->IpAddress.String);
  EXPECT_STREQ("192.168.3.1", first->GatewayList.IpAddress.String);
  IP_ADAPTER_INFO* second = first->Next;
  ASSERT_NE(nullptr, second);
  EXPECT_STREQ("TAP-Win32 Adapter V9", second->Description);
  EXPECT_STREQ("0.0.0.0", second->GatewayList.IpAddress.String);  // none, as on Windows
  EXPECT_EQ(nullptr, second->Next);
}

TEST_F(AdaptersTest, StoreAdaptersComeBeforeTheHostInterfaces) {
  machine::AdapterRecord tap;
  tap.name = "tap0901";
  tap.description = "TAP-Win32 Adapter V9";
  int64_t id = 0;
  ASSERT_EQ(machine::Status::kOk, store_->AddAdapter(tap, &id));
  ULONG size = 0;
  ASSERT_EQ(static_cast<ULONG>(ERROR_BUFFER_OVERFLOW), GetAdaptersInfo(nullptr, &size));
  std::vector<unsigned char> buffer(size);
  auto* adapter = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  ASSERT_EQ(static_cast<ULONG>(ERROR_SUCCESS), GetAdaptersInfo(adapter, &size));
  std::vector<std::string> names;
  for (; adapter; adapter = adapter->Next) {
    names.push_back(adapter->AdapterName);
    EXPECT_STRNE("lo", adapter->AdapterName);
  }
  ASSERT_FALSE(names.empty());
  EXPECT_EQ("tap0901", names.front());
}

}  // namespace
