#include "win32/registry.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "machine/machine_root.h"
#include "machine/store.h"
#include "win32/code_page.h"
#include "win32/last_error.h"
#include "win32/shell_folder.h"

namespace {

struct KeyRef {
  std::string hive;
  machine::RegistryView view = machine::RegistryView::k32;
  std::string path;  // UTF-8, "\" separated
};

std::mutex g_keys_mutex;
std::map<ULONG_PTR, KeyRef>& OpenKeys() {
  static std::map<ULONG_PTR, KeyRef> keys;
  return keys;
}
ULONG_PTR g_next_key = 0x1000;

bool PredefinedKey(HKEY key, KeyRef* ref) {
  ULONG_PTR value = reinterpret_cast<ULONG_PTR>(key);
  ref->view = machine::RegistryView::k32;
  ref->path.clear();
  switch (value) {
    case 0x80000000u:
      ref->hive = "HKEY_CLASSES_ROOT";
      return true;
    case 0x80000001u:
      ref->hive = "HKEY_CURRENT_USER";
      return true;
    case 0x80000002u:
      ref->hive = "HKEY_LOCAL_MACHINE";
      return true;
    case 0x80000003u:
      ref->hive = "HKEY_USERS";
      return true;
    case 0x80000004u:
    case 0x80000050u:
    case 0x80000060u:
      ref->hive = "HKEY_PERFORMANCE_DATA";
      return true;
    case 0x80000005u:
      ref->hive = "HKEY_CURRENT_CONFIG";
      return true;
    case 0x80000006u:
      ref->hive = "HKEY_DYN_DATA";
      return true;
    case 0x80000007u:
      // Windows maps it into the user's classes.
      ref->hive = "HKEY_CURRENT_USER";
      ref->path = "Software\\Classes\\Local Settings";
      return true;
    default:
      return false;
  }
}

bool LookUp(HKEY key, KeyRef* ref) {
  if (PredefinedKey(key, ref))
    return true;
  std::lock_guard<std::mutex> lock(g_keys_mutex);
  auto it = OpenKeys().find(reinterpret_cast<ULONG_PTR>(key));
  if (it == OpenKeys().end())
    return false;
  *ref = it->second;
  return true;
}

HKEY Register(const KeyRef& ref) {
  std::lock_guard<std::mutex> lock(g_keys_mutex);
  ULONG_PTR value = g_next_key;
  g_next_key += 4;
  OpenKeys()[value] = ref;
  return reinterpret_cast<HKEY>(value);
}

machine::RegistryView ViewFor(REGSAM sam, machine::RegistryView inherited) {
  if (sam & KEY_WOW64_64KEY)
    return machine::RegistryView::k64;
  if (sam & KEY_WOW64_32KEY)
    return machine::RegistryView::k32;
  return inherited;
}

KeyRef Child(const KeyRef& parent, LPCWSTR sub_key, REGSAM sam) {
  KeyRef child = parent;
  child.view = ViewFor(sam, parent.view);
  if (sub_key && *sub_key) {
    std::string sub = win32::WideToUtf8(sub_key);
    child.path = child.path.empty() ? sub : child.path + "\\" + sub;
  }
  return child;
}

LSTATUS StoreError(machine::Status status, LSTATUS fallback) {
  switch (status) {
    case machine::Status::kOk:
      return ERROR_SUCCESS;
    case machine::Status::kNotFound:
      return ERROR_FILE_NOT_FOUND;
    case machine::Status::kHasChildren:
      return ERROR_ACCESS_DENIED;
    case machine::Status::kInvalidArgument:
      return ERROR_INVALID_PARAMETER;
    default:
      return fallback;
  }
}

LSTATUS OpenStore(std::unique_ptr<machine::Store>* store) {
  return machine::Store::Open(store) == machine::Status::kOk ? ERROR_SUCCESS
                                                             : ERROR_REGISTRY_CORRUPT;
}

LSTATUS Finish(LSTATUS status) {
  SetLastError(static_cast<DWORD>(status));
  return status;
}

// Bytes as the caller sees them (REG_SZ as wchar_t with terminators).
std::vector<uint8_t> ToCaller(const machine::RegistryValue& value) {
  if (value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ) {
    std::string text(value.data.begin(), value.data.end());
    std::wstring wide = win32::Utf8ToWide(text);
    // Stored strings of a list keep their own 0; the list (or the single
    // string) gets one more.
    wide.push_back(L'\0');
    if (value.type == REG_MULTI_SZ && text.empty())
      wide.push_back(L'\0');
    std::vector<uint8_t> out(wide.size() * sizeof(wchar_t));
    std::memcpy(out.data(), wide.data(), out.size());
    return out;
  }
  return value.data;
}

std::vector<uint8_t> FromCaller(DWORD type, const BYTE* data, DWORD size) {
  if (!data || size == 0)
    return {};
  if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
    std::wstring wide(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
    if (type == REG_MULTI_SZ) {
      // Keep one 0 after each string, drop the list's final one.
      while (wide.size() >= 2 && wide[wide.size() - 1] == L'\0' && wide[wide.size() - 2] == L'\0')
        wide.pop_back();
      if (wide == std::wstring(1, L'\0'))
        wide.clear();
    } else {
      size_t end = wide.find(L'\0');
      if (end != std::wstring::npos)
        wide.resize(end);
    }
    std::string text = win32::WideToUtf8(wide);
    return std::vector<uint8_t>(text.begin(), text.end());
  }
  return std::vector<uint8_t>(data, data + size);
}

DWORD TypeFlag(DWORD type) {
  switch (type) {
    case REG_NONE:
      return RRF_RT_REG_NONE;
    case REG_SZ:
      return RRF_RT_REG_SZ;
    case REG_EXPAND_SZ:
      return RRF_RT_REG_EXPAND_SZ;
    case REG_BINARY:
      return RRF_RT_REG_BINARY;
    case REG_DWORD:
      return RRF_RT_REG_DWORD;
    case REG_MULTI_SZ:
      return RRF_RT_REG_MULTI_SZ;
    case REG_QWORD:
      return RRF_RT_REG_QWORD;
    default:
      return 0;
  }
}

// The path folded and with single separators, for comparing key names.
std::string CanonicalPath(const std::string& path) {
  std::string out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos)
      end = path.size();
    if (end > start) {
      if (!out.empty())
        out += '\\';
      out += path.substr(start, end - start);
    }
    start = end + 1;
  }
  return machine::FoldCase(out);
}

// Explorer keeps the user's "Shell Folders" values in step with the folders
// themselves; here they are set from the folders whenever the key is used.
void RefreshShellFolders(machine::Store* store, const KeyRef& ref) {
  static const std::string kKey = CanonicalPath(win32::WideToUtf8(SHELL_FOLDERS_KEY));
  if (ref.hive != "HKEY_CURRENT_USER" || CanonicalPath(ref.path) != kKey)
    return;
  static const struct {
    const char* name;
    int csidl;
  } kFolders[] = {{"Desktop", CSIDL_DESKTOPDIRECTORY},
                  {"Programs", CSIDL_PROGRAMS},
                  {"AppData", CSIDL_APPDATA}};
  machine::Store::Transaction transaction(store);
  if (store->CreateRegistryKey(ref.hive, ref.view, ref.path, nullptr) != machine::Status::kOk)
    return;
  for (const auto& folder : kFolders) {
    std::string path = win32::ShellFolderPath(folder.csidl);
    machine::RegistryValue value;
    value.name = folder.name;
    value.type = REG_SZ;
    value.data.assign(path.begin(), path.end());
    machine::RegistryValue old;
    if (store->GetRegistryValue(ref.hive, ref.view, ref.path, folder.name, &old) ==
            machine::Status::kOk &&
        old.type == value.type && old.data == value.data) {
      continue;
    }
    store->SetRegistryValue(ref.hive, ref.view, ref.path, value);
  }
  transaction.Commit();
}

LSTATUS ReadValue(const KeyRef& ref, LPCWSTR value_name, machine::RegistryValue* value) {
  std::unique_ptr<machine::Store> store;
  LSTATUS status = OpenStore(&store);
  if (status != ERROR_SUCCESS)
    return status;
  RefreshShellFolders(store.get(), ref);
  machine::Status s = store->RegistryKeyExists(ref.hive, ref.view, ref.path);
  if (s != machine::Status::kOk)
    return s == machine::Status::kNotFound ? ERROR_KEY_DELETED : StoreError(s, ERROR_CANTREAD);
  std::string name = value_name ? win32::WideToUtf8(value_name) : std::string();
  return StoreError(store->GetRegistryValue(ref.hive, ref.view, ref.path, name, value),
                    ERROR_CANTREAD);
}

}  // namespace

LSTATUS RegCreateKeyExW(HKEY key,
                        LPCWSTR sub_key,
                        DWORD,
                        LPWSTR,
                        DWORD,
                        REGSAM sam_desired,
                        const LPSECURITY_ATTRIBUTES,
                        PHKEY result,
                        LPDWORD disposition) {
  KeyRef parent;
  if (!result)
    return Finish(ERROR_INVALID_PARAMETER);
  *result = nullptr;
  if (!LookUp(key, &parent))
    return Finish(ERROR_INVALID_HANDLE);
  if (!sub_key)
    return Finish(ERROR_INVALID_PARAMETER);
  KeyRef child = Child(parent, sub_key, sam_desired);
  std::unique_ptr<machine::Store> store;
  LSTATUS status = OpenStore(&store);
  if (status != ERROR_SUCCESS)
    return Finish(status);
  bool created = false;
  machine::Status s = store->CreateRegistryKey(child.hive, child.view, child.path, &created);
  RefreshShellFolders(store.get(), child);
  if (s != machine::Status::kOk)
    return Finish(StoreError(s, ERROR_CANTWRITE));
  if (disposition)
    *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = Register(child);
  return Finish(ERROR_SUCCESS);
}

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD, REGSAM sam_desired, PHKEY result) {
  KeyRef parent;
  if (!result)
    return Finish(ERROR_INVALID_PARAMETER);
  *result = nullptr;
  if (!LookUp(key, &parent))
    return Finish(ERROR_INVALID_HANDLE);
  KeyRef child = Child(parent, sub_key, sam_desired);
  std::unique_ptr<machine::Store> store;
  LSTATUS status = OpenStore(&store);
  if (status != ERROR_SUCCESS)
    return Finish(status);
  RefreshShellFolders(store.get(), child);
  machine::Status s = store->RegistryKeyExists(child.hive, child.view, child.path);
  if (s != machine::Status::kOk)
    return Finish(StoreError(s, ERROR_CANTREAD));
  *result = Register(child);
  return Finish(ERROR_SUCCESS);
}

LSTATUS RegCloseKey(HKEY key) {
  KeyRef ref;
  if (PredefinedKey(key, &ref))
    return Finish(ERROR_SUCCESS);
  std::lock_guard<std::mutex> lock(g_keys_mutex);
  if (OpenKeys().erase(reinterpret_cast<ULONG_PTR>(key)) == 0)
    return Finish(ERROR_INVALID_HANDLE);
  return Finish(ERROR_SUCCESS);
}

LSTATUS RegGetValueW(HKEY key,
                     LPCWSTR sub_key,
                     LPCWSTR value_name,
                     DWORD flags,
                     LPDWORD type,
                     PVOID data,
                     LPDWORD data_size) {
  KeyRef ref;
  if (!LookUp(key, &ref))
    return Finish(ERROR_INVALID_HANDLE);
  if ((flags & RRF_RT_ANY) == 0 || (data && !data_size))
    return Finish(ERROR_INVALID_PARAMETER);
  ref = Child(ref, sub_key, 0);
  machine::RegistryValue value;
  LSTATUS status = ReadValue(ref, value_name, &value);
  if (status == ERROR_KEY_DELETED && sub_key && *sub_key)
    status = ERROR_FILE_NOT_FOUND;
  auto fail = [&](LSTATUS error) {
    if (data && data_size && (flags & RRF_ZEROONFAILURE))
      std::memset(data, 0, *data_size);
    return Finish(error);
  };
  if (status != ERROR_SUCCESS)
    return fail(status);
  if ((TypeFlag(value.type) & flags) == 0)
    return fail(ERROR_UNSUPPORTED_TYPE);
  std::vector<uint8_t> bytes = ToCaller(value);
  if (type)
    *type = value.type;
  if (!data) {
    if (data_size)
      *data_size = static_cast<DWORD>(bytes.size());
    return Finish(ERROR_SUCCESS);
  }
  if (*data_size < bytes.size()) {
    DWORD given = *data_size;
    *data_size = static_cast<DWORD>(bytes.size());
    if (flags & RRF_ZEROONFAILURE)
      std::memset(data, 0, given);
    return Finish(ERROR_MORE_DATA);
  }
  std::memcpy(data, bytes.data(), bytes.size());
  *data_size = static_cast<DWORD>(bytes.size());
  return Finish(ERROR_SUCCESS);
}

LSTATUS RegQueryValueExW(HKEY key,
                         LPCWSTR value_name,
                         LPDWORD,
                         LPDWORD type,
                         LPBYTE data,
                         LPDWORD data_size) {
  KeyRef ref;
  if (!LookUp(key, &ref))
    return Finish(ERROR_INVALID_HANDLE);
  if (data && !data_size)
    return Finish(ERROR_INVALID_PARAMETER);
  machine::RegistryValue value;
  LSTATUS status = ReadValue(ref, value_name, &value);
  if (status != ERROR_SUCCESS)
    return Finish(status);
  std::vector<uint8_t> bytes = ToCaller(value);
  if (type)
    *type = value.type;
  if (data_size) {
    DWORD given = *data_size;
    *data_size = static_cast<DWORD>(bytes.size());
    if (data && given < bytes.size())
      return Finish(ERROR_MORE_DATA);
  }
  if (data)
    std::memcpy(data, bytes.data(), bytes.size());
  return Finish(ERROR_SUCCESS);
}

LSTATUS RegSetValueExW(HKEY key,
                       LPCWSTR value_name,
                       DWORD,
                       DWORD type,
                       const BYTE* data,
                       DWORD data_size) {
  KeyRef ref;
  if (!LookUp(key, &ref))
    return Finish(ERROR_INVALID_HANDLE);
  if (data_size && !data)
    return Finish(ERROR_NOACCESS);
  std::unique_ptr<machine::Store> store;
  LSTATUS status = OpenStore(&store);
  if (status != ERROR_SUCCESS)
    return Finish(status);
  machine::RegistryValue value;
  value.name = value_name ? win32::WideToUtf8(value_name) : std::string();
  value.type = type;
  value.data = FromCaller(type, data, data_size);
  machine::Status s = store->SetRegistryValue(ref.hive, ref.view, ref.path, value);
  if (s == machine::Status::kNotFound)
    return Finish(ERROR_KEY_DELETED);
  return Finish(StoreError(s, ERROR_CANTWRITE));
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR value_name) {
  KeyRef ref;
  if (!LookUp(key, &ref))
    return Finish(ERROR_INVALID_HANDLE);
  std::unique_ptr<machine::Store> store;
  LSTATUS status = OpenStore(&store);
  if (status != ERROR_SUCCESS)
    return Finish(status);
  std::string name = value_name ? win32::WideToUtf8(value_name) : std::string();
  return Finish(
      StoreError(store->DeleteRegistryValue(ref.hive, ref.view, ref.path, name), ERROR_CANTWRITE));
}

LSTATUS RegDeleteKeyExW(HKEY key, LPCWSTR sub_key, REGSAM sam_desired, DWORD) {
  KeyRef parent;
  if (!LookUp(key, &parent))
    return Finish(ERROR_INVALID_HANDLE);
  if (!sub_key)
    return Finish(ERROR_INVALID_PARAMETER);
  KeyRef child = Child(parent, sub_key, sam_desired);
  std::unique_ptr<machine::Store> store;
  LSTATUS status = OpenStore(&store);
  if (status != ERROR_SUCCESS)
    return Finish(status);
  machine::Status s = store->DeleteRegistryKey(child.hive, child.view, child.path);
  if (s == machine::Status::kInvalidArgument)
    return Finish(ERROR_ACCESS_DENIED);  // the hive or an open root itself
  return Finish(StoreError(s, ERROR_CANTWRITE));
}

LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR sub_key) {
  return RegDeleteKeyExW(key, sub_key, 0, 0);
}

LSTATUS RegEnumKeyExW(HKEY key,
                      DWORD index,
                      LPWSTR name,
                      LPDWORD name_length,
                      LPDWORD,
                      LPWSTR class_name,
                      LPDWORD class_length,
                      PFILETIME last_write_time) {
  KeyRef ref;
  if (!LookUp(key, &ref))
    return Finish(ERROR_INVALID_HANDLE);
  if (!name || !name_length)
    return Finish(ERROR_INVALID_PARAMETER);
  std::unique_ptr<machine::Store> store;
  LSTATUS status = OpenStore(&store);
  if (status != ERROR_SUCCESS)
    return Finish(status);
  std::vector<std::string> names;
  machine::Status s = store->ListRegistrySubkeys(ref.hive, ref.view, ref.path, &names);
  if (s != machine::Status::kOk)
    return Finish(s == machine::Status::kNotFound ? ERROR_KEY_DELETED
                                                  : StoreError(s, ERROR_CANTREAD));
  if (index >= names.size())
    return Finish(ERROR_NO_MORE_ITEMS);
  std::wstring wide = win32::Utf8ToWide(names[index]);
  if (*name_length <= wide.size())
    return Finish(ERROR_MORE_DATA);
  std::memcpy(name, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  *name_length = static_cast<DWORD>(wide.size());
  if (class_name && class_length && *class_length > 0)
    class_name[0] = L'\0';
  if (class_length)
    *class_length = 0;
  if (last_write_time)
    *last_write_time = FILETIME{0, 0};
  return Finish(ERROR_SUCCESS);
}
