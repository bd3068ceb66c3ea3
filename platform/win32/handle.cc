#include "win32/handle.h"

#include <map>
#include <mutex>

#include "win32/handle_internal.h"
#include "win32/last_error.h"

namespace win32 {

namespace {

struct Entry {
  std::shared_ptr<KernelObject> object;
  bool inherit = false;
};

std::mutex g_mutex;
std::map<ULONG_PTR, Entry>& Table() {
  static std::map<ULONG_PTR, Entry> table;
  return table;
}
// Handle values look like Windows ones: small multiples of 4.
ULONG_PTR g_next = 0x104;

}  // namespace

DWORD KernelObject::Wait(DWORD) {
  SetLastError(ERROR_INVALID_HANDLE);
  return WAIT_FAILED;
}

HANDLE AddHandle(std::shared_ptr<KernelObject> object, bool inherit) {
  std::lock_guard<std::mutex> lock(g_mutex);
  ULONG_PTR value = g_next;
  g_next += 4;
  Table()[value] = Entry{std::move(object), inherit};
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookUpHandle(HANDLE handle, bool* inherit) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = Table().find(reinterpret_cast<ULONG_PTR>(handle));
  if (it == Table().end())
    return nullptr;
  if (inherit)
    *inherit = it->second.inherit;
  return it->second.object;
}

bool RemoveHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> doomed;  // destroyed outside the lock
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = Table().find(reinterpret_cast<ULONG_PTR>(handle));
  if (it == Table().end())
    return false;
  doomed = std::move(it->second.object);
  Table().erase(it);
  return true;
}

bool SetHandleInherit(HANDLE handle, bool inherit) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = Table().find(reinterpret_cast<ULONG_PTR>(handle));
  if (it == Table().end())
    return false;
  it->second.inherit = inherit;
  return true;
}

void InheritableDescriptors(std::vector<int>* fds) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (const auto& [value, entry] : Table()) {
    if (entry.inherit && entry.object->fd() >= 0)
      fds->push_back(entry.object->fd());
  }
}

}  // namespace win32

BOOL CloseHandle(HANDLE object) {
  if (!win32::RemoveHandle(object)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL SetHandleInformation(HANDLE object, DWORD mask, DWORD flags) {
  if (!win32::LookUpHandle(object)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (mask & HANDLE_FLAG_INHERIT)
    win32::SetHandleInherit(object, (flags & HANDLE_FLAG_INHERIT) != 0);
  return TRUE;
}

BOOL GetHandleInformation(HANDLE object, LPDWORD flags) {
  bool inherit = false;
  if (!win32::LookUpHandle(object, &inherit) || !flags) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *flags = inherit ? HANDLE_FLAG_INHERIT : 0;
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  auto object = win32::LookUpHandle(handle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return object->Wait(milliseconds);
}
