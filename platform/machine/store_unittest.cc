#include "machine/store.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "machine/machine_root.h"

namespace machine {
namespace {

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/machine_store_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    setenv("TERN_MACHINE_ROOT", root_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("TERN_MACHINE_ROOT");
    std::filesystem::remove_all(root_);
  }
  std::unique_ptr<Store> OpenStore() {
    std::unique_ptr<Store> store;
    EXPECT_EQ(Store::Open(&store), Status::kOk);
    return store;
  }
  std::string root_;
};

RegistryValue Dword(const std::string& name, uint32_t v) {
  RegistryValue value;
  value.name = name;
  value.type = 4;
  value.data = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
  return value;
}

TEST_F(StoreTest, RootFollowsEnvironment) {
  auto store = OpenStore();
  EXPECT_EQ(store->path(), root_ + "/machine.db");
  ASSERT_EQ(store->SetSetting("k", "first"), Status::kOk);

  std::string other = root_ + "/other";
  setenv("TERN_MACHINE_ROOT", other.c_str(), 1);
  auto second = OpenStore();
  EXPECT_EQ(second->path(), other + "/machine.db");
  std::string value;
  EXPECT_EQ(second->GetSetting("k", &value), Status::kNotFound);

  unsetenv("TERN_MACHINE_ROOT");
  setenv("XDG_STATE_HOME", "/xdg/state", 1);
  EXPECT_EQ(RootDirectory(), "/xdg/state/tern-machine");
}

TEST_F(StoreTest, RegistryKeysAreCaseInsensitiveAndKeepFirstCase) {
  auto store = OpenStore();
  bool created = false;
  ASSERT_EQ(store->CreateRegistryKey("HKEY_CURRENT_USER", RegistryView::k32, "Software\\Tern\\Sub",
                                     &created),
            Status::kOk);
  EXPECT_TRUE(created);
  ASSERT_EQ(store->CreateRegistryKey("HKEY_CURRENT_USER", RegistryView::k32, "\\SOFTWARE\\tern\\",
                                     &created),
            Status::kOk);
  EXPECT_FALSE(created);  // made as a parent of Sub
  EXPECT_EQ(store->RegistryKeyExists("hkey_current_user", RegistryView::k32, "software\\TERN\\sub"),
            Status::kOk);
  EXPECT_EQ(store->RegistryKeyExists("HKEY_LOCAL_MACHINE", RegistryView::k32, "Software\\Tern"),
            Status::kNotFound);

  ASSERT_EQ(store->SetRegistryValue("HKEY_CURRENT_USER", RegistryView::k32, "software\\tern",
                                    Dword("Level", 5)),
            Status::kOk);
  ASSERT_EQ(store->SetRegistryValue("HKEY_CURRENT_USER", RegistryView::k32, "software\\tern",
                                    Dword("LEVEL", 7)),
            Status::kOk);
  RegistryValue out;
  ASSERT_EQ(store->GetRegistryValue("HKEY_CURRENT_USER", RegistryView::k64, "Software\\Tern",
                                    "level", &out),
            Status::kOk);
  EXPECT_EQ(out.name, "Level");
  EXPECT_EQ(out.data, Dword("", 7).data);

  std::vector<std::string> names;
  ASSERT_EQ(store->ListRegistrySubkeys("HKEY_CURRENT_USER", RegistryView::k32, "software", &names),
            Status::kOk);
  EXPECT_EQ(names, std::vector<std::string>({"Tern"}));
  EXPECT_EQ(FoldCase("ÄBC Straße"), "äbc straße");
  // Bytes that are not UTF-8 stay as they are: an overlong "/" is not a
  // separator that could match another key's name.
  EXPECT_EQ(FoldCase("A\xC0\xAF\xFF"), "a\xC0\xAF\xFF");
}

TEST_F(StoreTest, OnlyMachineSoftwareDependsOnTheView) {
  auto store = OpenStore();
  ASSERT_EQ(store->CreateRegistryKey("HKEY_LOCAL_MACHINE", RegistryView::k32,
                                     "SOFTWARE\\Microsoft\\Uninstall\\kelvo", nullptr),
            Status::kOk);
  ASSERT_EQ(store->CreateRegistryKey("HKEY_LOCAL_MACHINE", RegistryView::k32,
                                     "SYSTEM\\CurrentControlSet\\Services\\Rasman", nullptr),
            Status::kOk);
  EXPECT_EQ(store->RegistryKeyExists("HKEY_LOCAL_MACHINE", RegistryView::k64,
                                     "SOFTWARE\\Microsoft\\Uninstall\\kelvo"),
            Status::kNotFound);
  EXPECT_EQ(store->RegistryKeyExists("HKEY_LOCAL_MACHINE", RegistryView::k64, "SOFTWARE"),
            Status::kOk);
  EXPECT_EQ(store->RegistryKeyExists("HKEY_LOCAL_MACHINE", RegistryView::k64,
                                     "SYSTEM\\CurrentControlSet\\Services\\Rasman"),
            Status::kOk);
}

TEST_F(StoreTest, RegistryErrors) {
  auto store = OpenStore();
  const char* hive = "HKEY_LOCAL_MACHINE";
  ASSERT_EQ(store->CreateRegistryKey(hive, RegistryView::k32, "A\\B", nullptr), Status::kOk);
  ASSERT_EQ(store->SetRegistryValue(hive, RegistryView::k32, "A\\B", Dword("v", 1)), Status::kOk);
  EXPECT_EQ(store->SetRegistryValue(hive, RegistryView::k32, "A\\C", Dword("v", 1)),
            Status::kNotFound);
  EXPECT_EQ(store->DeleteRegistryKey(hive, RegistryView::k32, "A"), Status::kHasChildren);
  EXPECT_EQ(store->DeleteRegistryKey(hive, RegistryView::k32, ""), Status::kInvalidArgument);
  EXPECT_EQ(store->DeleteRegistryValue(hive, RegistryView::k32, "A\\B", "missing"),
            Status::kNotFound);
  EXPECT_EQ(store->DeleteRegistryKey(hive, RegistryView::k32, "a\\b"), Status::kOk);
  RegistryValue out;
  EXPECT_EQ(store->GetRegistryValue(hive, RegistryView::k32, "A\\B", "v", &out), Status::kNotFound);
  // A key made again later does not inherit the old values.
  ASSERT_EQ(store->CreateRegistryKey(hive, RegistryView::k32, "A\\B", nullptr), Status::kOk);
  EXPECT_EQ(store->GetRegistryValue(hive, RegistryView::k32, "A\\B", "v", &out), Status::kNotFound);
  EXPECT_EQ(store->DeleteRegistryKey(hive, RegistryView::k32, "A\\missing"), Status::kNotFound);
}

TEST_F(StoreTest, TransactionRollsBackUnlessCommitted) {
  auto store = OpenStore();
  {
    Store::Transaction txn(store.get());
    ASSERT_EQ(txn.status(), Status::kOk);
    ASSERT_EQ(store->AddRoute({0, "1.2.3.4", "255.255.255.255", "10.0.0.1", 2, ""}, nullptr),
              Status::kOk);
    Store::Transaction nested(store.get());
    EXPECT_EQ(nested.status(), Status::kInvalidArgument);
  }
  std::vector<RouteRecord> routes;
  ASSERT_EQ(store->ListRoutes(&routes), Status::kOk);
  EXPECT_TRUE(routes.empty());
  {
    Store::Transaction txn(store.get());
    ASSERT_EQ(store->AddRoute({0, "1.2.3.4", "255.255.255.255", "10.0.0.1", 2, ""}, nullptr),
              Status::kOk);
    EXPECT_EQ(store->AddRoute({0, "1.2.3.4", "255.255.255.255", "10.0.0.1", 3, ""}, nullptr),
              Status::kExists);
    ASSERT_EQ(txn.Commit(), Status::kOk);
  }
  ASSERT_EQ(OpenStore()->ListRoutes(&routes), Status::kOk);
  ASSERT_EQ(routes.size(), 1u);
  EXPECT_EQ(routes[0].metric, 2);
  int removed = 0;
  EXPECT_EQ(store->DeleteRoutes("1.2.3.4", "", &removed), Status::kOk);
  EXPECT_EQ(removed, 1);
}

TEST_F(StoreTest, TablesRoundTrip) {
  auto store = OpenStore();
  ServiceRecord svc;
  svc.name = "IKEEXT";
  svc.display_name = "IKE and AuthIP IPsec Keying Modules";
  svc.on_start = ServiceStartBehaviour::kAfterWaitHint;
  svc.wait_hint_ms = 3000;
  ASSERT_EQ(store->PutService(svc), Status::kOk);
  ServiceRecord got;
  ASSERT_EQ(store->GetService("ikeext", &got), Status::kOk);
  EXPECT_EQ(got.display_name, svc.display_name);
  EXPECT_EQ(got.on_start, ServiceStartBehaviour::kAfterWaitHint);
  EXPECT_EQ(got.wait_hint_ms, 3000u);
  EXPECT_EQ(store->DeleteService("Missing"), Status::kNotFound);

  FirewallRule rule;
  rule.name = "rix";
  rule.application_name = "/opt/tern/rix.exe";
  int64_t first = 0, second = 0;
  ASSERT_EQ(store->AddFirewallRule(rule, &first), Status::kOk);
  rule.direction = 2;
  ASSERT_EQ(store->AddFirewallRule(rule, &second), Status::kOk);
  std::vector<FirewallRule> rules;
  ASSERT_EQ(store->FindFirewallRules("rix", &rules), Status::kOk);
  ASSERT_EQ(rules.size(), 2u);
  EXPECT_EQ(rules[1].direction, 2);
  EXPECT_EQ(store->RemoveFirewallRule(first), Status::kOk);
  EXPECT_EQ(store->RemoveFirewallRule(first), Status::kNotFound);

  bool override_on = true;
  ASSERT_EQ(store->GetAdapterOverride(&override_on), Status::kOk);
  EXPECT_FALSE(override_on);
  ASSERT_EQ(store->AddAdapter({0, "tap0901", "TAP-Win32 Adapter V9", "00-FF-01-02-03-04",
                               "10.8.0.2/255.255.255.0", "10.8.0.1", 6},
                              nullptr),
            Status::kOk);
  ASSERT_EQ(store->SetAdapterOverride(true), Status::kOk);
  ASSERT_EQ(store->GetAdapterOverride(&override_on), Status::kOk);
  EXPECT_TRUE(override_on);
  std::vector<AdapterRecord> adapters;
  ASSERT_EQ(store->ListAdapters(&adapters), Status::kOk);
  ASSERT_EQ(adapters.size(), 1u);
  EXPECT_EQ(adapters[0].gateway, "10.8.0.1");

  int64_t value = 0;
  ASSERT_EQ(store->IncrementCounter("dns_flush", 1, &value), Status::kOk);
  ASSERT_EQ(store->IncrementCounter("dns_flush", 1, &value), Status::kOk);
  EXPECT_EQ(value, 2);
  ASSERT_EQ(store->GetCounter("never", &value), Status::kOk);
  EXPECT_EQ(value, 0);
  ASSERT_EQ(store->AddRestartRequest({0, 0, "reboot", "driver"}, nullptr), Status::kOk);
  std::vector<RestartRequest> restarts;
  ASSERT_EQ(store->ListRestartRequests(&restarts), Status::kOk);
  ASSERT_EQ(restarts.size(), 1u);
  EXPECT_GT(restarts[0].time_ms, 0);
}

// Writers in several processes and threads at once: nothing is lost.
TEST_F(StoreTest, ConcurrentWritersFromProcessesAndThreads) {
  constexpr int kProcesses = 3;
  constexpr int kThreads = 3;
  constexpr int kWrites = 40;
  ASSERT_NE(OpenStore(), nullptr);  // schema in place before the fork
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      std::vector<std::thread> threads;
      bool ok = true;
      for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&ok] {
          for (int i = 0; i < kWrites; ++i) {
            std::unique_ptr<Store> store;
            int64_t v;
            if (Store::Open(&store) != Status::kOk ||
                store->IncrementCounter("c", 1, &v) != Status::kOk) {
              ok = false;
            }
          }
        });
      }
      for (auto& t : threads)
        t.join();
      _exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  int64_t value = 0;
  ASSERT_EQ(OpenStore()->GetCounter("c", &value), Status::kOk);
  EXPECT_EQ(value, kProcesses * kThreads * kWrites);
}

}  // namespace
}  // namespace machine
