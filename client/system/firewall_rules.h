// The client's own Windows Firewall rules: one inbound and one outbound rule
// that let the program through, named after the product. COM must be
// initialised on the calling thread.
#ifndef CLIENT_SYSTEM_FIREWALL_RULES_H_
#define CLIENT_SYSTEM_FIREWALL_RULES_H_

#include <string>

#include "win32/types.h"

extern const wchar_t kFirewallRuleDescription[];  // "Tern智能加速器防火墙规则"
extern const wchar_t kInboundRuleName[];          // "Tern智能加速器_IN"
extern const wchar_t kOutboundRuleName[];         // "Tern智能加速器_OUT"

// Removes every rule of the earlier names and of the two rule names, then
// adds the two rules for |application_path|. True when both are in place;
// failures are logged with their HRESULT.
bool EnsureFirewallRules(const std::wstring& description, const std::wstring& application_path);

// Logs an HRESULT at error level: the thread's COM error description when
// there is one, else the interface-specific note or the system's text.
void LogHResult(HRESULT hr);

#endif  // CLIENT_SYSTEM_FIREWALL_RULES_H_
