#include "win32/firewall.h"

#include <stdlib.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/scoped_temp_dir.h"
#include "gtest/gtest.h"
#include "machine/store.h"
#include "win32/com.h"

namespace {

// Frees a BSTR at the end of the scope.
struct Bstr {
  explicit Bstr(const wchar_t* text) : value(SysAllocString(text)) {}
  ~Bstr() { SysFreeString(value); }
  operator BSTR() const { return value; }
  BSTR value;
};

template <typename T>
struct ComPtr {
  ~ComPtr() {
    if (p)
      p->Release();
  }
  T* operator->() const { return p; }
  void** out() { return reinterpret_cast<void**>(&p); }
  T* p = nullptr;
};

class FirewallTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    setenv("TERN_MACHINE_ROOT", temp_.GetPath().c_str(), 1);
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    ComPtr<INetFwPolicy2> policy;
    ASSERT_EQ(CoCreateInstance(CLSID_NetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwPolicy2,
                               policy.out()),
              S_OK);
    ASSERT_EQ(policy->get_Rules(&rules_.p), S_OK);
    ASSERT_EQ(machine::Store::Open(&store_), machine::Status::kOk);
  }
  void TearDown() override {
    CoUninitialize();
    unsetenv("TERN_MACHINE_ROOT");
  }

  void AddNamed(const wchar_t* name, const wchar_t* path) {
    ComPtr<INetFwRule> rule;
    ASSERT_EQ(CoCreateInstance(CLSID_NetFwRule, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwRule,
                               rule.out()),
              S_OK);
    ASSERT_EQ(rule->put_Name(Bstr(name)), S_OK);
    ASSERT_EQ(rule->put_ApplicationName(Bstr(path)), S_OK);
    ASSERT_EQ(rules_->Add(rule.p), S_OK);
  }
  std::vector<machine::FirewallRule> Stored() {
    std::vector<machine::FirewallRule> all;
    EXPECT_EQ(store_->ListFirewallRules(&all), machine::Status::kOk);
    return all;
  }

  base::ScopedTempDir temp_;
  ComPtr<INetFwRules> rules_;
  std::unique_ptr<machine::Store> store_;
};

TEST_F(FirewallTest, AddedRuleKeepsEveryPropertyAndStaysLive) {
  ComPtr<INetFwRule> rule;
  ASSERT_EQ(
      CoCreateInstance(CLSID_NetFwRule, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwRule, rule.out()),
      S_OK);
  VARIANT_BOOL enabled = VARIANT_TRUE;
  ASSERT_EQ(rule->get_Enabled(&enabled), S_OK);
  EXPECT_EQ(enabled, VARIANT_FALSE);  // new rules start disabled
  ASSERT_EQ(rule->put_ApplicationName(Bstr(L"/opt/tern/rix.exe")), S_OK);
  ASSERT_EQ(rule->put_Direction(NET_FW_RULE_DIR_OUT), S_OK);
  ASSERT_EQ(rule->put_Description(Bstr(L"Tern智能加速器防火墙规则")), S_OK);
  ASSERT_EQ(rule->put_Protocol(NET_FW_IP_PROTOCOL_ANY), S_OK);
  ASSERT_EQ(rule->put_Enabled(VARIANT_TRUE), S_OK);
  ASSERT_EQ(rule->put_Action(NET_FW_ACTION_ALLOW), S_OK);
  ASSERT_EQ(rule->put_Name(Bstr(L"Tern智能加速器_OUT")), S_OK);
  EXPECT_TRUE(Stored().empty());  // detached until added
  ASSERT_EQ(rules_->Add(rule.p), S_OK);

  std::vector<machine::FirewallRule> all = Stored();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].name, "Tern智能加速器_OUT");
  EXPECT_EQ(all[0].description, "Tern智能加速器防火墙规则");
  EXPECT_EQ(all[0].application_name, "/opt/tern/rix.exe");
  EXPECT_EQ(all[0].direction, 2);
  EXPECT_EQ(all[0].protocol, 256);
  EXPECT_EQ(all[0].action, 1);
  EXPECT_TRUE(all[0].enabled);
  EXPECT_EQ(all[0].profiles, NET_FW_PROFILE2_ALL);

  // The added object and one looked up by name both write through.
  ASSERT_EQ(rule->put_RemotePorts(Bstr(L"443")), S_OK);
  ComPtr<INetFwRule> found;
  ASSERT_EQ(rules_->Item(Bstr(L"tern智能加速器_out"), &found.p), S_OK);
  ASSERT_EQ(found->put_ApplicationName(Bstr(L"/new/rix.exe")), S_OK);
  all = Stored();
  EXPECT_EQ(all[0].remote_ports, "443");
  EXPECT_EQ(all[0].application_name, "/new/rix.exe");
  LONG count = 0;
  ASSERT_EQ(rules_->get_Count(&count), S_OK);
  EXPECT_EQ(count, 1);

  // Once the stored rule is gone its live objects say so.
  ASSERT_EQ(rules_->Remove(Bstr(L"Tern智能加速器_OUT")), S_OK);
  EXPECT_EQ(found->put_Enabled(VARIANT_FALSE), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST_F(FirewallTest, RemoveTakesOneRuleOfTheNameAndItemFindsTheRest) {
  AddNamed(L"kelvo_inbound", L"/a");
  AddNamed(L"KELVO_INBOUND", L"/b");
  AddNamed(L"other", L"/c");
  ASSERT_EQ(rules_->Remove(Bstr(L"Kelvo_Inbound")), S_OK);
  ComPtr<INetFwRule> left;
  ASSERT_EQ(rules_->Item(Bstr(L"kelvo_inbound"), &left.p), S_OK);
  BSTR path = nullptr;
  ASSERT_EQ(left->get_ApplicationName(&path), S_OK);
  EXPECT_EQ(win32::BstrToWide(path), L"/b");
  SysFreeString(path);
  ASSERT_EQ(rules_->Remove(Bstr(L"kelvo_inbound")), S_OK);
  EXPECT_EQ(rules_->Remove(Bstr(L"kelvo_inbound")), S_OK);  // nothing left: still S_OK
  ComPtr<INetFwRule> none;
  EXPECT_EQ(rules_->Item(Bstr(L"kelvo_inbound"), &none.p),
            HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(none.p, nullptr);
  ASSERT_EQ(Stored().size(), 1u);
  EXPECT_EQ(Stored()[0].name, "other");
}

TEST_F(FirewallTest, BadValuesAreRefusedWithErrorInformation) {
  ComPtr<INetFwRule> rule;
  ASSERT_EQ(
      CoCreateInstance(CLSID_NetFwRule, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwRule, rule.out()),
      S_OK);
  EXPECT_EQ(rule->put_Protocol(257), E_INVALIDARG);
  EXPECT_EQ(rule->put_Protocol(-1), E_INVALIDARG);
  EXPECT_EQ(rule->put_Direction(static_cast<NET_FW_RULE_DIRECTION>(3)), E_INVALIDARG);
  EXPECT_EQ(rule->put_Action(static_cast<NET_FW_ACTION>(2)), E_INVALIDARG);
  EXPECT_EQ(rule->put_Profiles(0), E_INVALIDARG);
  EXPECT_EQ(rule->put_Name(nullptr), E_INVALIDARG);
  EXPECT_EQ(rule->get_Name(nullptr), E_POINTER);

  EXPECT_EQ(rules_->Add(rule.p), E_INVALIDARG);  // no name
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, &info.p), S_OK);
  BSTR text = nullptr;
  ASSERT_EQ(info->GetDescription(&text), S_OK);
  EXPECT_EQ(win32::BstrToWide(text), L"A firewall rule needs a name.");
  SysFreeString(text);
  ComPtr<IErrorInfo> again;
  EXPECT_EQ(GetErrorInfo(0, &again.p), S_FALSE);  // handed over once
  EXPECT_TRUE(Stored().empty());
}

TEST(ComTest, InitialisationAndCreationFollowTheComRules) {
  struct Case {
    const char* what;
    const CLSID* clsid;
    IUnknown* outer;
    DWORD context;
    const IID* iid;
    HRESULT expected;
  } cases[] = {
      {"policy", &CLSID_NetFwPolicy2, nullptr, CLSCTX_ALL, &IID_INetFwPolicy2, S_OK},
      {"rule as IUnknown", &CLSID_NetFwRule, nullptr, CLSCTX_INPROC_SERVER, &IID_IUnknown, S_OK},
      {"wrong interface", &CLSID_NetFwRule, nullptr, CLSCTX_INPROC_SERVER, &IID_INetFwPolicy2,
       E_NOINTERFACE},
      {"unknown class", &IID_INetFwRule, nullptr, CLSCTX_INPROC_SERVER, &IID_IUnknown,
       REGDB_E_CLASSNOTREG},
      {"out of process", &CLSID_NetFwRule, nullptr, CLSCTX_LOCAL_SERVER, &IID_INetFwRule,
       REGDB_E_CLASSNOTREG},
      {"aggregation", &CLSID_NetFwRule, reinterpret_cast<IUnknown*>(8), CLSCTX_INPROC_SERVER,
       &IID_INetFwRule, CLASS_E_NOAGGREGATION},
  };
  std::thread([&] {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(
        CoCreateInstance(CLSID_NetFwRule, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwRule, &object),
        CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      IUnknown* made = nullptr;
      EXPECT_EQ(
          CoCreateInstance(*c.clsid, c.outer, c.context, *c.iid, reinterpret_cast<void**>(&made)),
          c.expected);
      EXPECT_EQ(made != nullptr, c.expected == S_OK);
      if (made) {
        EXPECT_EQ(made->Release(), 0u);
      }
    }
    CoUninitialize();
    CoUninitialize();
    EXPECT_FALSE(win32::IsComInitializedOnThisThread());
    // OleUninitialize without OleInitialize leaves COM alone.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    OleUninitialize();
    EXPECT_TRUE(win32::IsComInitializedOnThisThread());
    CoUninitialize();
  }).join();
}

TEST(ComTest, StringsAndMessages) {
  BSTR text = SysAllocStringLen(L"ab\0cd", 5);
  EXPECT_EQ(SysStringLen(text), 5u);
  EXPECT_EQ(win32::BstrToWide(text), std::wstring(L"ab\0cd", 5));
  SysFreeString(text);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);

  EXPECT_EQ(HRESULT_FACILITY(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)), 7u);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), static_cast<HRESULT>(0x80070002));
  EXPECT_EQ(win32::HResultMessage(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)),
            L"The system cannot find the file specified.");
  EXPECT_EQ(win32::HResultMessage(REGDB_E_CLASSNOTREG), L"Class not registered");
  EXPECT_EQ(win32::HResultMessage(static_cast<HRESULT>(0x80041234)), L"Unknown error 0x80041234");
}

}  // namespace
