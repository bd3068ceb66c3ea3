#include "client/system/firewall_rules.h"

#include <stdlib.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/logging.h"
#include "base/scoped_temp_dir.h"
#include "gtest/gtest.h"
#include "machine/store.h"
#include "win32/com.h"
#include "win32/firewall.h"

namespace {

class FirewallRulesTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    setenv("TERN_MACHINE_ROOT", temp_.GetPath().c_str(), 1);
    ASSERT_EQ(machine::Store::Open(&store_), machine::Status::kOk);
    CoInitialize(nullptr);
    logging::SetLogMessageHandlerForTesting(
        [this](int severity, const char*, int, const char*, size_t start, const std::string& s) {
          if (severity == logging::LOG_ERROR)
            errors_.push_back(s.substr(start, s.find_last_not_of('\n') + 1 - start));
          return true;
        });
  }
  void TearDown() override {
    logging::SetLogMessageHandlerForTesting(nullptr);
    CoUninitialize();
    store_.reset();
    unsetenv("TERN_MACHINE_ROOT");
  }

  void AddRule(const std::string& name, const std::string& path) {
    machine::FirewallRule rule;
    rule.name = name;
    rule.application_name = path;
    ASSERT_EQ(store_->AddFirewallRule(rule, nullptr), machine::Status::kOk);
  }
  std::vector<machine::FirewallRule> Rules() {
    std::vector<machine::FirewallRule> rules;
    EXPECT_EQ(store_->ListFirewallRules(&rules), machine::Status::kOk);
    return rules;
  }

  base::ScopedTempDir temp_;
  std::unique_ptr<machine::Store> store_;
  std::vector<std::string> errors_;
};

TEST_F(FirewallRulesTest, RepeatedRunsAfterAnUpdateLeaveOneRulePerDirection) {
  // What earlier versions and a half-finished run left behind.
  for (const char* name : {"kelvo_inbound", "kelvo_inbound", "kelvo_outbound", "Tern智能加速器",
                           "Tern智能加速器", "tern智能加速器_in", "Tern智能加速器_OUT"}) {
    AddRule(name, "/old/place/rix.exe");
  }
  AddRule("Other program", "/usr/bin/other");

  for (const wchar_t* path :
       {L"/old/place/rix.exe", L"/new/place/rix.exe", L"/new/place/rix.exe"}) {
    ASSERT_TRUE(EnsureFirewallRules(kFirewallRuleDescription, path));
  }
  std::vector<machine::FirewallRule> rules = Rules();
  ASSERT_EQ(rules.size(), 3u);
  EXPECT_EQ(rules[0].name, "Other program");
  struct Expected {
    const char* name;
    int direction;
  } expected[] = {{"Tern智能加速器_IN", 1}, {"Tern智能加速器_OUT", 2}};
  for (int i = 0; i < 2; ++i) {
    const machine::FirewallRule& r = rules[i + 1];
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.name, expected[i].name);
    EXPECT_EQ(r.direction, expected[i].direction);
    EXPECT_EQ(r.application_name, "/new/place/rix.exe");
    EXPECT_EQ(r.description, "Tern智能加速器防火墙规则");
    EXPECT_EQ(r.protocol, 256);
    EXPECT_EQ(r.action, 1);
    EXPECT_TRUE(r.enabled);
    EXPECT_EQ(r.profiles, NET_FW_PROFILE2_ALL);
  }
  EXPECT_TRUE(errors_.empty());
}

TEST_F(FirewallRulesTest, FailuresAreLoggedWithTheirHResult) {
  std::thread([] {
    // No COM on this thread.
    EXPECT_FALSE(EnsureFirewallRules(kFirewallRuleDescription, L"/opt/rix.exe"));
  }).join();
  ASSERT_EQ(errors_.size(), 2u);
  EXPECT_EQ(errors_[0], "failed to create instance");
  // CO_E_NOTINITIALIZED (0x800401F0) is an interface-facility code.
  EXPECT_EQ(errors_[1],
            "FACILITY_ITF - This error is interface specific. No further information is "
            "available.");

  errors_.clear();
  win32::SetComErrorInfo(IID_INetFwRules, L"test", L"The policy is locked.");
  LogHResult(E_FAIL);
  LogHResult(MAKE_HRESULT(1, FACILITY_ITF, 0x200));
  LogHResult(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  EXPECT_EQ(errors_, (std::vector<std::string>{
                         "The policy is locked.",
                         "FACILITY_ITF - This error is interface specific. No further "
                         "information is available.",
                         "HRESULT is: 0x80070005 Access is denied.",
                     }));
}

}  // namespace
