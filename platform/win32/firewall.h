// Windows Firewall through its COM interfaces, over the machine store's rules
// table. Create the objects with CoCreateInstance (CLSCTX_INPROC_SERVER):
// NetFwPolicy2 for INetFwPolicy2, NetFwRule for INetFwRule.
//
// A rule object made with CoCreateInstance is detached until it is added;
// rule objects returned by INetFwRules::Item, and those added, are live:
// their put_ methods write through to the store. Rule names are matched
// without regard to case; several rules may share a name, and Remove takes
// away one of them (the oldest) per call, S_OK even when none matched.
// An object belongs to the thread that made it.
#ifndef WIN32_FIREWALL_H_
#define WIN32_FIREWALL_H_

#include "win32/com.h"
#include "win32/types.h"

typedef enum NET_FW_RULE_DIRECTION_ {
  NET_FW_RULE_DIR_IN = 1,
  NET_FW_RULE_DIR_OUT = 2,
  NET_FW_RULE_DIR_MAX = 3,
} NET_FW_RULE_DIRECTION;

typedef enum NET_FW_ACTION_ {
  NET_FW_ACTION_BLOCK = 0,
  NET_FW_ACTION_ALLOW = 1,
  NET_FW_ACTION_MAX = 2,
} NET_FW_ACTION;

typedef enum NET_FW_IP_PROTOCOL_ {
  NET_FW_IP_PROTOCOL_TCP = 6,
  NET_FW_IP_PROTOCOL_UDP = 17,
  NET_FW_IP_PROTOCOL_ANY = 256,
} NET_FW_IP_PROTOCOL;

typedef enum NET_FW_PROFILE_TYPE2_ {
  NET_FW_PROFILE2_DOMAIN = 0x1,
  NET_FW_PROFILE2_PRIVATE = 0x2,
  NET_FW_PROFILE2_PUBLIC = 0x4,
  NET_FW_PROFILE2_ALL = 0x7FFFFFFF,
} NET_FW_PROFILE_TYPE2;

// {E2B3C97F-6AE1-41AC-817A-F6F92166D7DD}
extern const CLSID CLSID_NetFwPolicy2;
// {98325047-C671-4174-8D81-DEFCD3F03186}
extern const IID IID_INetFwPolicy2;
// {2C5BC43E-3369-4C33-AB0C-BE9469677AF4}
extern const CLSID CLSID_NetFwRule;
// {AF230D27-BABA-4E42-ACED-F524F22CFCE2}
extern const IID IID_INetFwRule;
// {9C4C6277-5027-441E-AFAE-CA1F542DA009}
extern const IID IID_INetFwRules;

// Text getters hand out a new BSTR the caller frees with SysFreeString.
struct INetFwRule : IUnknown {
  STDMETHOD(get_Name)(BSTR* name) = 0;
  STDMETHOD(put_Name)(BSTR name) = 0;
  STDMETHOD(get_Description)(BSTR* description) = 0;
  STDMETHOD(put_Description)(BSTR description) = 0;
  STDMETHOD(get_ApplicationName)(BSTR* image_file_name) = 0;
  STDMETHOD(put_ApplicationName)(BSTR image_file_name) = 0;
  STDMETHOD(get_ServiceName)(BSTR* service_name) = 0;
  STDMETHOD(put_ServiceName)(BSTR service_name) = 0;
  // 0..255 or NET_FW_IP_PROTOCOL_ANY; anything else is E_INVALIDARG.
  STDMETHOD(get_Protocol)(LONG* protocol) = 0;
  STDMETHOD(put_Protocol)(LONG protocol) = 0;
  STDMETHOD(get_LocalPorts)(BSTR* ports) = 0;
  STDMETHOD(put_LocalPorts)(BSTR ports) = 0;
  STDMETHOD(get_RemotePorts)(BSTR* ports) = 0;
  STDMETHOD(put_RemotePorts)(BSTR ports) = 0;
  STDMETHOD(get_LocalAddresses)(BSTR* addresses) = 0;
  STDMETHOD(put_LocalAddresses)(BSTR addresses) = 0;
  STDMETHOD(get_RemoteAddresses)(BSTR* addresses) = 0;
  STDMETHOD(put_RemoteAddresses)(BSTR addresses) = 0;
  STDMETHOD(get_Direction)(NET_FW_RULE_DIRECTION* direction) = 0;
  STDMETHOD(put_Direction)(NET_FW_RULE_DIRECTION direction) = 0;
  STDMETHOD(get_InterfaceTypes)(BSTR* interface_types) = 0;
  STDMETHOD(put_InterfaceTypes)(BSTR interface_types) = 0;
  // A new rule is disabled, as on Windows.
  STDMETHOD(get_Enabled)(VARIANT_BOOL* enabled) = 0;
  STDMETHOD(put_Enabled)(VARIANT_BOOL enabled) = 0;
  STDMETHOD(get_Grouping)(BSTR* context) = 0;
  STDMETHOD(put_Grouping)(BSTR context) = 0;
  STDMETHOD(get_Profiles)(LONG* profile_types) = 0;
  STDMETHOD(put_Profiles)(LONG profile_types) = 0;
  STDMETHOD(get_Action)(NET_FW_ACTION* action) = 0;
  STDMETHOD(put_Action)(NET_FW_ACTION action) = 0;
};

struct INetFwRules : IUnknown {
  STDMETHOD(get_Count)(LONG* count) = 0;
  // Reads the rule through its getters, so any INetFwRule may be added. A
  // rule without a name is E_INVALIDARG.
  STDMETHOD(Add)(INetFwRule* rule) = 0;
  STDMETHOD(Remove)(BSTR name) = 0;
  // HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) and null when no rule has the name.
  STDMETHOD(Item)(BSTR name, INetFwRule** rule) = 0;
};

struct INetFwPolicy2 : IUnknown {
  STDMETHOD(get_Rules)(INetFwRules** rules) = 0;
};

namespace win32 {

// The class factory behind CoCreateInstance for the firewall classes;
// REGDB_E_CLASSNOTREG for any other class.
HRESULT CreateFirewallObject(REFCLSID clsid, REFIID riid, void** object);

}  // namespace win32

#endif  // WIN32_FIREWALL_H_
