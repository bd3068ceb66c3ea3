// The part of COM our programs use: per-thread initialisation, in-process
// object creation for the classes this layer implements, BSTR strings,
// VARIANT_BOOL and the thread's error information.
#ifndef WIN32_COM_H_
#define WIN32_COM_H_

#include <string>

#include "win32/types.h"

#define STDMETHODCALLTYPE
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
    return false;
  for (int i = 0; i < 8; ++i) {
    if (a.Data4[i] != b.Data4[i])
      return false;
  }
  return true;
}
inline bool operator==(REFGUID a, REFGUID b) {
  return IsEqualGUID(a, b);
}
#define IsEqualIID IsEqualGUID
#define IsEqualCLSID IsEqualGUID

// Strings: a length-prefixed, 0-terminated WCHAR buffer; null is "".
typedef WCHAR OLECHAR;
typedef OLECHAR* BSTR;
typedef const OLECHAR* LPCOLESTR;
typedef OLECHAR* LPOLESTR;

typedef short VARIANT_BOOL;
#define VARIANT_TRUE (static_cast<VARIANT_BOOL>(-1))
#define VARIANT_FALSE (static_cast<VARIANT_BOOL>(0))

// HRESULTs.
#define E_NOINTERFACE (static_cast<HRESULT>(0x80004002L))
#define E_POINTER (static_cast<HRESULT>(0x80004003L))
#define E_ABORT (static_cast<HRESULT>(0x80004004L))
#define E_UNEXPECTED (static_cast<HRESULT>(0x8000FFFFL))
#define E_ACCESSDENIED (static_cast<HRESULT>(0x80070005L))
#define CLASS_E_NOAGGREGATION (static_cast<HRESULT>(0x80040110L))
#define REGDB_E_CLASSNOTREG (static_cast<HRESULT>(0x80040154L))
#define CO_E_NOTINITIALIZED (static_cast<HRESULT>(0x800401F0L))
#define RPC_E_CHANGED_MODE (static_cast<HRESULT>(0x80010106L))
#define FACILITY_NULL 0
#define FACILITY_RPC 1
#define FACILITY_DISPATCH 2
#define FACILITY_ITF 4
#define FACILITY_WIN32 7
#define HRESULT_FACILITY(hr) ((static_cast<DWORD>(hr) >> 16) & 0x1FFF)
#define HRESULT_CODE(hr) (static_cast<DWORD>(hr) & 0xFFFF)
#define MAKE_HRESULT(sev, fac, code)                                                        \
  (static_cast<HRESULT>((static_cast<DWORD>(sev) << 31) | (static_cast<DWORD>(fac) << 16) | \
                        static_cast<DWORD>(code)))
inline HRESULT HRESULT_FROM_WIN32(DWORD error) {
  return static_cast<LONG>(error) <= 0
             ? static_cast<HRESULT>(error)
             : static_cast<HRESULT>((error & 0x0000FFFF) | (FACILITY_WIN32 << 16) | 0x80000000u);
}

// Contexts and apartment models.
#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_ALL \
  (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2

// {00000000-0000-0000-C000-000000000046}
extern const IID IID_IUnknown;
// {1CF2B120-547D-101B-8E65-08002B2BD119}
extern const IID IID_IErrorInfo;

struct IUnknown {
  STDMETHOD(QueryInterface)(REFIID riid, void** object) = 0;
  STDMETHOD_(ULONG, AddRef)() = 0;
  STDMETHOD_(ULONG, Release)() = 0;

 protected:
  virtual ~IUnknown() = default;
};

struct IErrorInfo : IUnknown {
  STDMETHOD(GetGUID)(GUID* guid) = 0;
  STDMETHOD(GetSource)(BSTR* source) = 0;
  STDMETHOD(GetDescription)(BSTR* description) = 0;
};

// Counted per thread: the first call on a thread gives S_OK, later ones in
// the same model S_FALSE, another model RPC_E_CHANGED_MODE (not counted).
HRESULT CoInitialize(LPVOID reserved);
HRESULT CoInitializeEx(LPVOID reserved, DWORD co_init);
void CoUninitialize();
HRESULT OleInitialize(LPVOID reserved);
// Undoes one OleInitialize of this thread; nothing when there is none.
void OleUninitialize();

// Creates an object of a class this layer implements (the Windows Firewall
// policy and rule). COM must be initialised on the calling thread.
HRESULT CoCreateInstance(REFCLSID clsid,
                         IUnknown* outer,
                         DWORD cls_context,
                         REFIID riid,
                         LPVOID* object);

BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);

// The calling thread's error information: GetErrorInfo hands it over (and
// clears it), S_FALSE with null when there is none.
HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info);
HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info);

namespace win32 {

// Whether COM is initialised on the calling thread.
bool IsComInitializedOnThisThread();

// Sets the thread's error information to a new object with these texts.
void SetComErrorInfo(REFGUID interface_id,
                     const std::wstring& source,
                     const std::wstring& description);

// The system's text for an HRESULT ("Unknown error 0x%08X" when it has none),
// without a trailing line break.
std::wstring HResultMessage(HRESULT hr);

// The text of a BSTR, "" for null.
inline std::wstring BstrToWide(BSTR text) {
  return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

}  // namespace win32

#endif  // WIN32_COM_H_
