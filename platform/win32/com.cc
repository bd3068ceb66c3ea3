#include "win32/com.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "win32/firewall.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IErrorInfo = {0x1CF2B120,
                            0x547D,
                            0x101B,
                            {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

namespace {

struct ThreadComState {
  int count = 0;
  DWORD model = 0;
  int ole_count = 0;
  IErrorInfo* error_info = nullptr;

  ~ThreadComState() {
    if (error_info)
      error_info->Release();
  }
};

ThreadComState& ThisThread() {
  thread_local ThreadComState state;
  return state;
}

class ErrorInfo : public IErrorInfo {
 public:
  ErrorInfo(const GUID& guid, const std::wstring& source, const std::wstring& description)
      : guid_(guid), source_(source), description_(description) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object)
      return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
      *object = static_cast<IErrorInfo*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0)
      delete this;
    return left;
  }
  HRESULT GetGUID(GUID* guid) override {
    if (!guid)
      return E_POINTER;
    *guid = guid_;
    return S_OK;
  }
  HRESULT GetSource(BSTR* source) override { return Copy(source_, source); }
  HRESULT GetDescription(BSTR* description) override { return Copy(description_, description); }

 private:
  static HRESULT Copy(const std::wstring& text, BSTR* out) {
    if (!out)
      return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
  }

  std::atomic<ULONG> refs_{1};
  GUID guid_;
  std::wstring source_;
  std::wstring description_;
};

struct KnownMessage {
  HRESULT hr;
  const wchar_t* text;
};

// The system's texts for the codes this layer and its callers meet.
const KnownMessage kKnownMessages[] = {
    {S_OK, L"The operation completed successfully."},
    {S_FALSE, L"Incorrect function."},
    {E_FAIL, L"Unspecified error"},
    {E_NOTIMPL, L"Not implemented"},
    {E_NOINTERFACE, L"No such interface supported"},
    {E_POINTER, L"Invalid pointer"},
    {E_ABORT, L"Operation aborted"},
    {E_UNEXPECTED, L"Catastrophic failure"},
    {CLASS_E_NOAGGREGATION, L"Class does not support aggregation (or class object is remote)"},
    {REGDB_E_CLASSNOTREG, L"Class not registered"},
    {CO_E_NOTINITIALIZED, L"CoInitialize has not been called."},
    {RPC_E_CHANGED_MODE, L"Cannot change thread mode after it is set."},
};

const KnownMessage kWin32Messages[] = {
    {ERROR_FILE_NOT_FOUND, L"The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, L"The system cannot find the path specified."},
    {ERROR_ACCESS_DENIED, L"Access is denied."},
    {ERROR_INVALID_HANDLE, L"The handle is invalid."},
    {ERROR_OUTOFMEMORY, L"Not enough memory resources are available to complete this operation."},
    {ERROR_INVALID_PARAMETER, L"The parameter is incorrect."},
    {ERROR_ALREADY_EXISTS, L"Cannot create a file when that file already exists."},
    {ERROR_BUSY, L"The requested resource is in use."},
    {ERROR_CANTWRITE, L"The configuration registry key could not be written."},
    {ERROR_NOT_FOUND, L"Element not found."},
};

}  // namespace

HRESULT CoInitializeEx(LPVOID, DWORD co_init) {
  DWORD model = co_init & COINIT_APARTMENTTHREADED;
  ThreadComState& state = ThisThread();
  if (state.count > 0) {
    if (state.model != model)
      return RPC_E_CHANGED_MODE;
    ++state.count;
    return S_FALSE;
  }
  state.count = 1;
  state.model = model;
  return S_OK;
}

HRESULT CoInitialize(LPVOID reserved) {
  return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() {
  ThreadComState& state = ThisThread();
  if (state.count > 0)
    --state.count;
}

HRESULT OleInitialize(LPVOID reserved) {
  HRESULT hr = CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(hr))
    ++ThisThread().ole_count;
  return hr;
}

void OleUninitialize() {
  ThreadComState& state = ThisThread();
  if (state.ole_count == 0)
    return;
  --state.ole_count;
  CoUninitialize();
}

HRESULT CoCreateInstance(REFCLSID clsid,
                         IUnknown* outer,
                         DWORD cls_context,
                         REFIID riid,
                         LPVOID* object) {
  if (!object)
    return E_POINTER;
  *object = nullptr;
  if (ThisThread().count == 0)
    return CO_E_NOTINITIALIZED;
  if (outer)
    return CLASS_E_NOAGGREGATION;
  if (!(cls_context & CLSCTX_INPROC_SERVER))
    return REGDB_E_CLASSNOTREG;
  return win32::CreateFirewallObject(clsid, riid, object);
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  // The byte length sits in front of the characters, as on Windows.
  auto* block =
      static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) + (length + 1) * sizeof(OLECHAR)));
  if (!block)
    return nullptr;
  block[0] = static_cast<uint32_t>(length * sizeof(OLECHAR));
  BSTR result = reinterpret_cast<BSTR>(block + 1);
  if (text)
    std::wmemcpy(result, text, length);
  else
    std::wmemset(result, 0, length);
  result[length] = 0;
  return result;
}

BSTR SysAllocString(const OLECHAR* text) {
  if (!text)
    return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(std::wcslen(text)));
}

void SysFreeString(BSTR text) {
  if (text)
    std::free(reinterpret_cast<uint32_t*>(text) - 1);
}

UINT SysStringLen(BSTR text) {
  if (!text)
    return 0;
  return (reinterpret_cast<uint32_t*>(text) - 1)[0] / sizeof(OLECHAR);
}

HRESULT SetErrorInfo(ULONG, IErrorInfo* info) {
  ThreadComState& state = ThisThread();
  if (info)
    info->AddRef();
  if (state.error_info)
    state.error_info->Release();
  state.error_info = info;
  return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** info) {
  if (!info)
    return E_POINTER;
  ThreadComState& state = ThisThread();
  *info = state.error_info;
  state.error_info = nullptr;
  return *info ? S_OK : S_FALSE;
}

namespace win32 {

bool IsComInitializedOnThisThread() {
  return ThisThread().count > 0;
}

void SetComErrorInfo(REFGUID interface_id,
                     const std::wstring& source,
                     const std::wstring& description) {
  auto* info = new ErrorInfo(interface_id, source, description);
  SetErrorInfo(0, info);
  info->Release();
}

std::wstring HResultMessage(HRESULT hr) {
  for (const KnownMessage& m : kKnownMessages) {
    if (m.hr == hr)
      return m.text;
  }
  if (HRESULT_FACILITY(hr) == FACILITY_WIN32) {
    for (const KnownMessage& m : kWin32Messages) {
      if (static_cast<DWORD>(m.hr) == HRESULT_CODE(hr))
        return m.text;
    }
  }
  wchar_t buffer[40];
  std::swprintf(buffer, sizeof(buffer) / sizeof(buffer[0]), L"Unknown error 0x%08X",
                static_cast<unsigned>(hr));
  return buffer;
}

}  // namespace win32
