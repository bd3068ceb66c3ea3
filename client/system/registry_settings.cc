#include "client/system/registry_settings.h"

#include <exception>

#include "base/logging.h"
#include "client/config/registry_key.h"
#include "win32/message_box.h"
#include "win32/registry.h"

namespace {

const wchar_t kUacKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const wchar_t kRasManKey[] = L"SYSTEM\\CurrentControlSet\\Services\\RasMan\\Parameters";
const wchar_t kPolicyAgentKey[] = L"SYSTEM\\CurrentControlSet\\Services\\PolicyAgent";
const wchar_t kCaption[] = L"温馨提示";

}  // namespace

void CheckUacLevel() {
  try {
    winreg::RegistryKey key(HKEY_LOCAL_MACHINE, kUacKey);
    key.Open(HKEY_LOCAL_MACHINE, kUacKey, KEY_READ | KEY_WRITE);
    DWORD consent = key.GetDword(L"ConsentPromptBehaviorAdmin");
    DWORD secure_desktop = key.GetDword(L"PromptOnSecureDesktop");
    if (consent != 0 || secure_desktop != 0)
      return;
    if (MessageBoxW(nullptr, L"系统UAC权限过低，无法运行此程序，点击确定提升UAC权限", kCaption,
                    MB_OKCANCEL) != IDOK) {
      return;
    }
    key.SetDword(L"ConsentPromptBehaviorAdmin", 5);
    key.SetDword(L"PromptOnSecureDesktop", 1);
    MessageBoxW(nullptr, L"UAC权限提升成功，如果无法进行加速，请重启电脑再进行尝试！", kCaption,
                MB_OK);
  } catch (const std::exception& e) {
    VLOG(0) << "modify UAC level reg failed," << e.what();
  }
}

void ApplyTunnelRegistrySettings() {
  try {
    winreg::RegistryKey ras(HKEY_LOCAL_MACHINE, kRasManKey);
    ras.SetDword(L"ProhibitIPSec", 1);
    ras.SetDword(L"AllowL2TPWeakCrypto", 0);
    ras.SetDword(L"AllowPPTPWeakCrypto", 0);
    winreg::RegistryKey policy_agent(HKEY_LOCAL_MACHINE, kPolicyAgentKey);
    policy_agent.SetDword(L"AssumeUDPEncapsulationContextOnSendRule", 2);
    ras.Close();
    policy_agent.Close();
  } catch (const std::exception& e) {
    VLOG(0) << "modify UAC level reg failed," << e.what();
  }
}
