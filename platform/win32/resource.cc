#include "win32/resource.h"

#include <map>
#include <mutex>
#include <string>

#include "win32/last_error.h"

namespace {

struct Entry {
  const void* data = nullptr;
  size_t size = 0;
};

// Integer identifiers are kept as "#<number>", as Windows spells them.
std::wstring Key(LPCWSTR id) {
  if (IS_INTRESOURCE(id))
    return L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(id));
  return id;
}

struct Store {
  std::mutex mu;
  std::map<std::pair<std::wstring, std::wstring>, Entry*> entries;
};

Store& GetStore() {
  static Store* store = new Store;
  return *store;
}

}  // namespace

namespace win32 {

void RegisterResource(const wchar_t* name, const wchar_t* type, const void* data, size_t size) {
  auto& s = GetStore();
  std::lock_guard<std::mutex> lock(s.mu);
  Entry*& e = s.entries[{Key(name), Key(type)}];
  if (!e)
    e = new Entry;
  e->data = data;
  e->size = size;
}

}  // namespace win32

HRSRC FindResourceW(HMODULE, LPCWSTR name, LPCWSTR type) {
  if (!name || !type) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto& s = GetStore();
  std::lock_guard<std::mutex> lock(s.mu);
  auto it = s.entries.find({Key(name), Key(type)});
  if (it == s.entries.end()) {
    SetLastError(1814);  // ERROR_RESOURCE_NAME_NOT_FOUND
    return nullptr;
  }
  return reinterpret_cast<HRSRC>(it->second);
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
  return resource ? static_cast<HGLOBAL>(resource) : nullptr;
}

DWORD SizeofResource(HMODULE, HRSRC resource) {
  return resource ? static_cast<DWORD>(reinterpret_cast<Entry*>(resource)->size) : 0;
}

LPVOID LockResource(HGLOBAL data) {
  return data ? const_cast<void*>(static_cast<Entry*>(data)->data) : nullptr;
}

BOOL FreeResource(HGLOBAL) {
  return FALSE;
}

HMODULE GetModuleHandleW(LPCWSTR) {
  static HINSTANCE__ self;
  return &self;
}
