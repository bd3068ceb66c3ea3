#include "client/system/registry_settings.h"

#include <stdlib.h>

#include <string>
#include <vector>

#include "base/scoped_temp_dir.h"
#include "client/config/registry_key.h"
#include "gtest/gtest.h"
#include "win32/message_box.h"
#include "win32/registry.h"

namespace {

const wchar_t kUacKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const wchar_t kRasManKey[] = L"SYSTEM\\CurrentControlSet\\Services\\RasMan\\Parameters";
const wchar_t kPolicyAgentKey[] = L"SYSTEM\\CurrentControlSet\\Services\\PolicyAgent";
constexpr DWORD kMissing = 0xFFFFFFFF;

struct Box {
  std::wstring text;
  std::wstring caption;
  UINT type;
};
std::vector<Box> g_boxes;
int g_answer = IDOK;

int FakeMessageBox(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
  g_boxes.push_back({text, caption, type});
  return type == MB_OKCANCEL ? g_answer : IDOK;
}

class RegistrySettingsTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    setenv("TERN_MACHINE_ROOT", temp_.GetPath().c_str(), 1);
    win32::SetMessageBoxImplementation(FakeMessageBox);
    g_boxes.clear();
  }
  void TearDown() override {
    win32::SetMessageBoxImplementation(nullptr);
    unsetenv("TERN_MACHINE_ROOT");
  }

  base::ScopedTempDir temp_;
};

TEST_F(RegistrySettingsTest, UacPromptOnlyForNeverNotify) {
  const std::wstring ask = L"系统UAC权限过低，无法运行此程序，点击确定提升UAC权限";
  const std::wstring done = L"UAC权限提升成功，如果无法进行加速，请重启电脑再进行尝试！";
  struct Case {
    DWORD consent, secure_desktop;
    int answer;
    std::vector<std::wstring> shown;
    DWORD consent_after, secure_desktop_after;
  } cases[] = {
      {0, 0, IDOK, {ask, done}, 5, 1},
      {0, 0, IDCANCEL, {ask}, 0, 0},
      {0, 1, IDOK, {}, 0, 1},
      {5, 0, IDOK, {}, 5, 0},
      {0, kMissing, IDOK, {}, 0, kMissing},
      {kMissing, kMissing, IDOK, {}, kMissing, kMissing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.consent << "/" << c.secure_desktop << " " << c.answer);
    {
      winreg::RegistryKey key(HKEY_LOCAL_MACHINE, kUacKey);
      RegDeleteValueW(key.Get(), L"ConsentPromptBehaviorAdmin");
      RegDeleteValueW(key.Get(), L"PromptOnSecureDesktop");
      if (c.consent != kMissing)
        key.SetDword(L"ConsentPromptBehaviorAdmin", c.consent);
      if (c.secure_desktop != kMissing)
        key.SetDword(L"PromptOnSecureDesktop", c.secure_desktop);
    }
    g_boxes.clear();
    g_answer = c.answer;
    CheckUacLevel();
    std::vector<std::wstring> shown;
    for (const Box& b : g_boxes) {
      shown.push_back(b.text);
      EXPECT_EQ(b.caption, L"温馨提示");
    }
    EXPECT_EQ(shown, c.shown);
    if (!g_boxes.empty()) {
      EXPECT_EQ(g_boxes[0].type, static_cast<UINT>(MB_OKCANCEL));
    }
    winreg::RegistryKey key(HKEY_LOCAL_MACHINE, kUacKey);
    EXPECT_EQ(key.GetDword(L"ConsentPromptBehaviorAdmin"), c.consent_after);
    EXPECT_EQ(key.GetDword(L"PromptOnSecureDesktop"), c.secure_desktop_after);
  }
}

TEST_F(RegistrySettingsTest, TunnelValuesAreRewrittenAtEveryStart) {
  for (DWORD scribble : {7u, 0u}) {
    {
      winreg::RegistryKey ras(HKEY_LOCAL_MACHINE, kRasManKey);
      ras.SetDword(L"ProhibitIPSec", scribble);
      ras.SetDword(L"AllowL2TPWeakCrypto", scribble + 1);
      ras.SetDword(L"AllowPPTPWeakCrypto", scribble + 1);
      winreg::RegistryKey agent(HKEY_LOCAL_MACHINE, kPolicyAgentKey);
      agent.SetDword(L"AssumeUDPEncapsulationContextOnSendRule", scribble);
    }
    ApplyTunnelRegistrySettings();
    winreg::RegistryKey ras(HKEY_LOCAL_MACHINE, kRasManKey);
    EXPECT_EQ(ras.GetDword(L"ProhibitIPSec"), 1u);
    EXPECT_EQ(ras.GetDword(L"AllowL2TPWeakCrypto"), 0u);
    EXPECT_EQ(ras.GetDword(L"AllowPPTPWeakCrypto"), 0u);
    winreg::RegistryKey agent(HKEY_LOCAL_MACHINE, kPolicyAgentKey);
    EXPECT_EQ(agent.GetDword(L"AssumeUDPEncapsulationContextOnSendRule"), 2u);
  }
  EXPECT_TRUE(g_boxes.empty());
}

}  // namespace
