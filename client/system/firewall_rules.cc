#include "client/system/firewall_rules.h"

#include <stdio.h>

#include "base/logging.h"
#include "win32/code_page.h"
#include "win32/com.h"
#include "win32/firewall.h"

const wchar_t kFirewallRuleDescription[] = L"Tern智能加速器防火墙规则";
const wchar_t kInboundRuleName[] = L"Tern智能加速器_IN";
const wchar_t kOutboundRuleName[] = L"Tern智能加速器_OUT";

namespace {

const wchar_t kProductRuleName[] = L"Tern智能加速器";
// Enough for any number of copies a real machine gathers; it only stops a
// misbehaving policy from holding start-up.
constexpr int kMaxRemovalsPerName = 256;

// Owns one COM interface pointer.
template <typename T>
class ScopedCom {
 public:
  ScopedCom() = default;
  ~ScopedCom() { Reset(); }
  ScopedCom(const ScopedCom&) = delete;
  ScopedCom& operator=(const ScopedCom&) = delete;
  void Reset() {
    if (p_)
      p_->Release();
    p_ = nullptr;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T** Receive() {
    Reset();
    return &p_;
  }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

 private:
  T* p_ = nullptr;
};

class ScopedBstr {
 public:
  explicit ScopedBstr(const std::wstring& text)
      : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~ScopedBstr() { SysFreeString(value_); }
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  operator BSTR() const { return value_; }

 private:
  BSTR value_;
};

struct Pass {
  const wchar_t* old_name;
  const wchar_t* name;
  NET_FW_RULE_DIRECTION direction;
  const char* create_failed;
  const char* add_failed;
};

// Removes the rules of |name| one by one: a policy may hold several rules
// of one name, and Remove takes away only one of them per call.
void RemoveAllNamed(INetFwRules* rules, const wchar_t* name) {
  ScopedBstr bstr(name);
  for (int i = 0; i < kMaxRemovalsPerName; ++i) {
    ScopedCom<INetFwRule> rule;
    if (FAILED(rules->Item(bstr, rule.Receive())) || !rule.get())
      return;
    if (FAILED(rules->Remove(bstr)))
      return;
  }
}

bool RunPass(INetFwRules* rules,
             const Pass& pass,
             const std::wstring& description,
             const std::wstring& application_path) {
  RemoveAllNamed(rules, pass.old_name);
  RemoveAllNamed(rules, kProductRuleName);
  RemoveAllNamed(rules, pass.name);

  ScopedBstr name(pass.name);
  ScopedBstr path(application_path);
  ScopedCom<INetFwRule> existing;
  if (SUCCEEDED(rules->Item(name, existing.Receive())) && existing.get()) {
    HRESULT hr = existing->put_ApplicationName(path);
    DCHECK(SUCCEEDED(hr));
    return true;
  }

  ScopedCom<INetFwRule> rule;
  HRESULT hr = CoCreateInstance(CLSID_NetFwRule, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwRule,
                                rule.ReceiveVoid());
  if (FAILED(hr)) {
    LOG(ERROR) << pass.create_failed;
    LogHResult(hr);
    return false;
  }
  ScopedBstr text(description);
  hr = rule->put_ApplicationName(path);
  DCHECK(SUCCEEDED(hr));
  hr = rule->put_Direction(pass.direction);
  DCHECK(SUCCEEDED(hr));
  hr = rule->put_Description(text);
  DCHECK(SUCCEEDED(hr));
  hr = rule->put_Protocol(NET_FW_IP_PROTOCOL_ANY);
  DCHECK(SUCCEEDED(hr));
  hr = rule->put_Enabled(VARIANT_TRUE);
  DCHECK(SUCCEEDED(hr));
  hr = rule->put_Action(NET_FW_ACTION_ALLOW);
  DCHECK(SUCCEEDED(hr));
  hr = rule->put_Name(name);
  DCHECK(SUCCEEDED(hr));
  hr = rules->Add(rule.get());
  if (FAILED(hr)) {
    LOG(ERROR) << pass.add_failed;
    LogHResult(hr);
    return false;
  }
  return true;
}

}  // namespace

void LogHResult(HRESULT hr) {
  ScopedCom<IErrorInfo> info;
  BSTR description = nullptr;
  if (GetErrorInfo(0, info.Receive()) == S_OK && info.get() &&
      SUCCEEDED(info->GetDescription(&description))) {
    LOG(ERROR) << win32::WideToUtf8(win32::BstrToWide(description));
    SysFreeString(description);
    return;
  }
  if (HRESULT_FACILITY(hr) == FACILITY_ITF) {
    LOG(ERROR) << "FACILITY_ITF - This error is interface specific. No further information is "
                  "available.";
    return;
  }
  char code[32];
  snprintf(code, sizeof(code), "HRESULT is: 0x%08lx ",
           static_cast<unsigned long>(hr) & 0xFFFFFFFFul);
  LOG(ERROR) << code << win32::WideToUtf8(win32::HResultMessage(hr));
}

bool EnsureFirewallRules(const std::wstring& description, const std::wstring& application_path) {
  ScopedCom<INetFwPolicy2> policy;
  HRESULT hr = CoCreateInstance(CLSID_NetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER,
                                IID_INetFwPolicy2, policy.ReceiveVoid());
  if (FAILED(hr)) {
    LOG(ERROR) << "failed to create instance";
    LogHResult(hr);
    return false;
  }
  ScopedCom<INetFwRules> rules;
  hr = policy->get_Rules(rules.Receive());
  if (FAILED(hr)) {
    LOG(ERROR) << "failed to get firewall rules";
    LogHResult(hr);
    return false;
  }
  static const Pass kPasses[] = {
      {L"kelvo_inbound", kInboundRuleName, NET_FW_RULE_DIR_IN,
       "failed to create instance of inbound rules", "failed to add inbound rules"},
      {L"kelvo_outbound", kOutboundRuleName, NET_FW_RULE_DIR_OUT,
       "failed to create instance of outbound rules", "failed to add outbound rules"},
  };
  bool ok = true;
  for (const Pass& pass : kPasses)
    ok = RunPass(rules.get(), pass, description, application_path) && ok;
  return ok;
}
