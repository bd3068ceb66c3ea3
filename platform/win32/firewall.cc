#include "win32/firewall.h"

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "machine/machine_root.h"
#include "machine/store.h"
#include "win32/code_page.h"

const CLSID CLSID_NetFwPolicy2 = {0xE2B3C97F,
                                  0x6AE1,
                                  0x41AC,
                                  {0x81, 0x7A, 0xF6, 0xF9, 0x21, 0x66, 0xD7, 0xDD}};
const IID IID_INetFwPolicy2 = {0x98325047,
                               0xC671,
                               0x4174,
                               {0x8D, 0x81, 0xDE, 0xFC, 0xD3, 0xF0, 0x31, 0x86}};
const CLSID CLSID_NetFwRule = {0x2C5BC43E,
                               0x3369,
                               0x4C33,
                               {0xAB, 0x0C, 0xBE, 0x94, 0x69, 0x67, 0x7A, 0xF4}};
const IID IID_INetFwRule = {0xAF230D27,
                            0xBABA,
                            0x4E42,
                            {0xAC, 0xED, 0xF5, 0x24, 0xF2, 0x2C, 0xFC, 0xE2}};
const IID IID_INetFwRules = {0x9C4C6277,
                             0x5027,
                             0x441E,
                             {0xAF, 0xAE, 0xCA, 0x1F, 0x54, 0x2D, 0xA0, 0x09}};

namespace {

const wchar_t kSource[] = L"HNetCfg.FwPolicy2";

// Store failures become HRESULTs with error information for the caller.
HRESULT StoreFailure(REFIID iid, machine::Status status, const wchar_t* what) {
  HRESULT hr = status == machine::Status::kBusy ? HRESULT_FROM_WIN32(ERROR_BUSY) : E_FAIL;
  win32::SetComErrorInfo(iid, kSource,
                         std::wstring(what) + L": the firewall rule store failed (" +
                             win32::Utf8ToWide(machine::StatusName(status)) + L").");
  return hr;
}

HRESULT OpenStore(REFIID iid, std::unique_ptr<machine::Store>* store) {
  machine::Status status = machine::Store::Open(store);
  return status == machine::Status::kOk ? S_OK : StoreFailure(iid, status, L"Open");
}

HRESULT OutText(const std::string& utf8, BSTR* out) {
  if (!out)
    return E_POINTER;
  std::wstring wide = win32::Utf8ToWide(utf8);
  *out = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

std::string InText(BSTR text) {
  return win32::WideToUtf8(win32::BstrToWide(text));
}

template <typename Interface>
class RefCounted : public Interface {
 public:
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0)
      delete this;
    return left;
  }

 protected:
  HRESULT Query(REFIID own, REFIID riid, void** object) {
    if (!object)
      return E_POINTER;
    if (riid == IID_IUnknown || riid == own) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

 private:
  std::atomic<ULONG> refs_{1};
};

class NetFwRule : public RefCounted<INetFwRule> {
 public:
  NetFwRule() { rule_.enabled = false; }
  explicit NetFwRule(machine::FirewallRule rule) : rule_(std::move(rule)) {}

  // Makes the object live: later changes go to the stored rule |id|.
  void Bind(int64_t id) { rule_.id = id; }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    return Query(IID_INetFwRule, riid, object);
  }

  HRESULT get_Name(BSTR* v) override { return OutText(rule_.name, v); }
  HRESULT put_Name(BSTR v) override {
    if (!v || !v[0])
      return E_INVALIDARG;
    return Change([&](machine::FirewallRule& r) { r.name = InText(v); });
  }
  HRESULT get_Description(BSTR* v) override { return OutText(rule_.description, v); }
  HRESULT put_Description(BSTR v) override {
    return Change([&](machine::FirewallRule& r) { r.description = InText(v); });
  }
  HRESULT get_ApplicationName(BSTR* v) override { return OutText(rule_.application_name, v); }
  HRESULT put_ApplicationName(BSTR v) override {
    return Change([&](machine::FirewallRule& r) { r.application_name = InText(v); });
  }
  HRESULT get_ServiceName(BSTR* v) override { return OutText(rule_.service_name, v); }
  HRESULT put_ServiceName(BSTR v) override {
    return Change([&](machine::FirewallRule& r) { r.service_name = InText(v); });
  }
  HRESULT get_Protocol(LONG* v) override { return Out(rule_.protocol, v); }
  HRESULT put_Protocol(LONG v) override {
    if ((v < 0 || v > 255) && v != NET_FW_IP_PROTOCOL_ANY)
      return E_INVALIDARG;
    return Change([&](machine::FirewallRule& r) { r.protocol = v; });
  }
  HRESULT get_LocalPorts(BSTR* v) override { return OutText(rule_.local_ports, v); }
  HRESULT put_LocalPorts(BSTR v) override {
    return Change([&](machine::FirewallRule& r) { r.local_ports = InText(v); });
  }
  HRESULT get_RemotePorts(BSTR* v) override { return OutText(rule_.remote_ports, v); }
  HRESULT put_RemotePorts(BSTR v) override {
    return Change([&](machine::FirewallRule& r) { r.remote_ports = InText(v); });
  }
  HRESULT get_LocalAddresses(BSTR* v) override { return OutText(rule_.local_addresses, v); }
  HRESULT put_LocalAddresses(BSTR v) override {
    return Change([&](machine::FirewallRule& r) { r.local_addresses = InText(v); });
  }
  HRESULT get_RemoteAddresses(BSTR* v) override { return OutText(rule_.remote_addresses, v); }
  HRESULT put_RemoteAddresses(BSTR v) override {
    return Change([&](machine::FirewallRule& r) { r.remote_addresses = InText(v); });
  }
  HRESULT get_Direction(NET_FW_RULE_DIRECTION* v) override {
    if (!v)
      return E_POINTER;
    *v = static_cast<NET_FW_RULE_DIRECTION>(rule_.direction);
    return S_OK;
  }
  HRESULT put_Direction(NET_FW_RULE_DIRECTION v) override {
    if (v != NET_FW_RULE_DIR_IN && v != NET_FW_RULE_DIR_OUT)
      return E_INVALIDARG;
    return Change([&](machine::FirewallRule& r) { r.direction = v; });
  }
  HRESULT get_InterfaceTypes(BSTR* v) override { return OutText(rule_.interface_types, v); }
  HRESULT put_InterfaceTypes(BSTR v) override {
    return Change([&](machine::FirewallRule& r) { r.interface_types = InText(v); });
  }
  HRESULT get_Enabled(VARIANT_BOOL* v) override {
    if (!v)
      return E_POINTER;
    *v = rule_.enabled ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT put_Enabled(VARIANT_BOOL v) override {
    return Change([&](machine::FirewallRule& r) { r.enabled = v != VARIANT_FALSE; });
  }
  HRESULT get_Grouping(BSTR* v) override { return OutText(rule_.grouping, v); }
  HRESULT put_Grouping(BSTR v) override {
    return Change([&](machine::FirewallRule& r) { r.grouping = InText(v); });
  }
  HRESULT get_Profiles(LONG* v) override { return Out(rule_.profiles, v); }
  HRESULT put_Profiles(LONG v) override {
    if (v == 0 || (v & ~NET_FW_PROFILE2_ALL) != 0)
      return E_INVALIDARG;
    return Change([&](machine::FirewallRule& r) { r.profiles = v; });
  }
  HRESULT get_Action(NET_FW_ACTION* v) override {
    if (!v)
      return E_POINTER;
    *v = static_cast<NET_FW_ACTION>(rule_.action);
    return S_OK;
  }
  HRESULT put_Action(NET_FW_ACTION v) override {
    if (v != NET_FW_ACTION_BLOCK && v != NET_FW_ACTION_ALLOW)
      return E_INVALIDARG;
    return Change([&](machine::FirewallRule& r) { r.action = v; });
  }

 private:
  static HRESULT Out(int32_t value, LONG* out) {
    if (!out)
      return E_POINTER;
    *out = value;
    return S_OK;
  }

  // Applies a change to the object and, when it is live, to the stored rule;
  // the object keeps its old value when the store refuses.
  template <typename F>
  HRESULT Change(F apply) {
    machine::FirewallRule changed = rule_;
    apply(changed);
    if (changed.id != 0) {
      std::unique_ptr<machine::Store> store;
      HRESULT hr = OpenStore(IID_INetFwRule, &store);
      if (FAILED(hr))
        return hr;
      machine::Status status = store->UpdateFirewallRule(changed);
      if (status == machine::Status::kNotFound) {
        win32::SetComErrorInfo(IID_INetFwRule, kSource,
                               L"The rule was removed from the firewall policy.");
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
      }
      if (status != machine::Status::kOk)
        return StoreFailure(IID_INetFwRule, status, L"Update");
    }
    rule_ = std::move(changed);
    return S_OK;
  }

  machine::FirewallRule rule_;
};

// Reads every property of any INetFwRule implementation.
HRESULT ReadRule(INetFwRule* source, machine::FirewallRule* rule) {
  struct TextField {
    HRESULT (STDMETHODCALLTYPE INetFwRule::*get)(BSTR*);
    std::string machine::FirewallRule::*field;
  };
  static const TextField kTexts[] = {
      {&INetFwRule::get_Name, &machine::FirewallRule::name},
      {&INetFwRule::get_Description, &machine::FirewallRule::description},
      {&INetFwRule::get_ApplicationName, &machine::FirewallRule::application_name},
      {&INetFwRule::get_ServiceName, &machine::FirewallRule::service_name},
      {&INetFwRule::get_Grouping, &machine::FirewallRule::grouping},
      {&INetFwRule::get_LocalPorts, &machine::FirewallRule::local_ports},
      {&INetFwRule::get_RemotePorts, &machine::FirewallRule::remote_ports},
      {&INetFwRule::get_LocalAddresses, &machine::FirewallRule::local_addresses},
      {&INetFwRule::get_RemoteAddresses, &machine::FirewallRule::remote_addresses},
      {&INetFwRule::get_InterfaceTypes, &machine::FirewallRule::interface_types},
  };
  for (const TextField& t : kTexts) {
    BSTR text = nullptr;
    HRESULT hr = (source->*t.get)(&text);
    if (FAILED(hr))
      return hr;
    rule->*t.field = InText(text);
    SysFreeString(text);
  }
  LONG protocol = 0, profiles = 0;
  NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_IN;
  NET_FW_ACTION action = NET_FW_ACTION_ALLOW;
  VARIANT_BOOL enabled = VARIANT_FALSE;
  HRESULT hr;
  if (FAILED(hr = source->get_Protocol(&protocol)) ||
      FAILED(hr = source->get_Profiles(&profiles)) ||
      FAILED(hr = source->get_Direction(&direction)) || FAILED(hr = source->get_Action(&action)) ||
      FAILED(hr = source->get_Enabled(&enabled))) {
    return hr;
  }
  rule->protocol = protocol;
  rule->profiles = profiles;
  rule->direction = direction;
  rule->action = action;
  rule->enabled = enabled != VARIANT_FALSE;
  return S_OK;
}

// The rules named |name| (compared without regard to case), oldest first.
machine::Status FindByName(machine::Store* store,
                           const std::string& name,
                           std::vector<machine::FirewallRule>* found) {
  std::vector<machine::FirewallRule> all;
  machine::Status status = store->ListFirewallRules(&all);
  if (status != machine::Status::kOk)
    return status;
  std::string wanted = machine::FoldCase(name);
  found->clear();
  for (machine::FirewallRule& r : all) {
    if (machine::FoldCase(r.name) == wanted)
      found->push_back(std::move(r));
  }
  return machine::Status::kOk;
}

class NetFwRules : public RefCounted<INetFwRules> {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    return Query(IID_INetFwRules, riid, object);
  }

  HRESULT get_Count(LONG* count) override {
    if (!count)
      return E_POINTER;
    std::unique_ptr<machine::Store> store;
    HRESULT hr = OpenStore(IID_INetFwRules, &store);
    if (FAILED(hr))
      return hr;
    std::vector<machine::FirewallRule> all;
    machine::Status status = store->ListFirewallRules(&all);
    if (status != machine::Status::kOk)
      return StoreFailure(IID_INetFwRules, status, L"Count");
    *count = static_cast<LONG>(all.size());
    return S_OK;
  }

  HRESULT Add(INetFwRule* rule) override {
    if (!rule)
      return E_POINTER;
    machine::FirewallRule record;
    HRESULT hr = ReadRule(rule, &record);
    if (FAILED(hr))
      return hr;
    if (record.name.empty()) {
      win32::SetComErrorInfo(IID_INetFwRules, kSource, L"A firewall rule needs a name.");
      return E_INVALIDARG;
    }
    std::unique_ptr<machine::Store> store;
    hr = OpenStore(IID_INetFwRules, &store);
    if (FAILED(hr))
      return hr;
    int64_t id = 0;
    machine::Status status = store->AddFirewallRule(record, &id);
    if (status != machine::Status::kOk)
      return StoreFailure(IID_INetFwRules, status, L"Add");
    if (auto* own = dynamic_cast<NetFwRule*>(rule))
      own->Bind(id);
    return S_OK;
  }

  HRESULT Remove(BSTR name) override {
    std::unique_ptr<machine::Store> store;
    HRESULT hr = OpenStore(IID_INetFwRules, &store);
    if (FAILED(hr))
      return hr;
    std::vector<machine::FirewallRule> found;
    machine::Status status = FindByName(store.get(), InText(name), &found);
    if (status == machine::Status::kOk && !found.empty())
      status = store->RemoveFirewallRule(found.front().id);
    if (status != machine::Status::kOk && status != machine::Status::kNotFound)
      return StoreFailure(IID_INetFwRules, status, L"Remove");
    return S_OK;
  }

  HRESULT Item(BSTR name, INetFwRule** rule) override {
    if (!rule)
      return E_POINTER;
    *rule = nullptr;
    std::unique_ptr<machine::Store> store;
    HRESULT hr = OpenStore(IID_INetFwRules, &store);
    if (FAILED(hr))
      return hr;
    std::vector<machine::FirewallRule> found;
    machine::Status status = FindByName(store.get(), InText(name), &found);
    if (status != machine::Status::kOk)
      return StoreFailure(IID_INetFwRules, status, L"Item");
    if (found.empty())
      return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    *rule = new NetFwRule(std::move(found.front()));
    return S_OK;
  }
};

class NetFwPolicy2 : public RefCounted<INetFwPolicy2> {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    return Query(IID_INetFwPolicy2, riid, object);
  }
  HRESULT get_Rules(INetFwRules** rules) override {
    if (!rules)
      return E_POINTER;
    *rules = new NetFwRules();
    return S_OK;
  }
};

}  // namespace

namespace win32 {

HRESULT CreateFirewallObject(REFCLSID clsid, REFIID riid, void** object) {
  IUnknown* created;
  if (clsid == CLSID_NetFwPolicy2)
    created = new NetFwPolicy2();
  else if (clsid == CLSID_NetFwRule)
    created = new NetFwRule();
  else
    return REGDB_E_CLASSNOTREG;
  HRESULT hr = created->QueryInterface(riid, object);
  created->Release();
  return hr;
}

}  // namespace win32
