#include "win32/tray.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "win32/last_error.h"
#include "win32/message_queue.h"

namespace {

struct Tray {
  std::mutex mu;
  std::vector<win32::TrayIconInfo> icons;
};

Tray& GetTray() {
  static Tray* tray = new Tray;
  return *tray;
}

std::wstring TipOf(const NOTIFYICONDATAW& d) {
  size_t n = 0;
  while (n < 128 && d.szTip[n])
    ++n;
  return std::wstring(d.szTip, n);
}

std::atomic<win32::TrayObserver> g_observer{nullptr};

BOOL ChangeTray(DWORD message, PNOTIFYICONDATAW data, win32::TrayIconInfo* changed) {
  auto& t = GetTray();
  std::lock_guard<std::mutex> lock(t.mu);
  auto it = std::find_if(t.icons.begin(), t.icons.end(), [&](const win32::TrayIconInfo& i) {
    return i.hwnd == data->hWnd && i.id == data->uID;
  });
  switch (message) {
    case NIM_ADD: {
      if (it != t.icons.end())
        return FALSE;
      win32::TrayIconInfo info;
      info.hwnd = data->hWnd;
      info.id = data->uID;
      if (data->uFlags & NIF_MESSAGE)
        info.callback_message = data->uCallbackMessage;
      if (data->uFlags & NIF_ICON)
        info.icon = data->hIcon;
      if (data->uFlags & NIF_TIP)
        info.tip = TipOf(*data);
      t.icons.push_back(info);
      *changed = info;
      return TRUE;
    }
    case NIM_MODIFY:
      if (it == t.icons.end())
        return FALSE;
      if (data->uFlags & NIF_MESSAGE)
        it->callback_message = data->uCallbackMessage;
      if (data->uFlags & NIF_ICON)
        it->icon = data->hIcon;
      if (data->uFlags & NIF_TIP)
        it->tip = TipOf(*data);
      *changed = *it;
      return TRUE;
    case NIM_DELETE:
      if (it == t.icons.end())
        return FALSE;
      *changed = *it;
      t.icons.erase(it);
      return TRUE;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
}

}  // namespace

BOOL Shell_NotifyIconW(DWORD message, PNOTIFYICONDATAW data) {
  if (!data || !IsWindow(data->hWnd)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  win32::TrayIconInfo changed;
  if (!ChangeTray(message, data, &changed))
    return FALSE;
  if (win32::TrayObserver observer = g_observer.load())
    observer(message, changed);
  return TRUE;
}

namespace win32 {

void SetTrayObserver(TrayObserver observer) {
  g_observer = observer;
}

std::vector<TrayIconInfo> ListTrayIcons() {
  auto& t = GetTray();
  std::lock_guard<std::mutex> lock(t.mu);
  // Icons of windows that died without deleting them are gone from the shell.
  t.icons.erase(std::remove_if(t.icons.begin(), t.icons.end(),
                               [](const TrayIconInfo& i) { return !IsWindow(i.hwnd); }),
                t.icons.end());
  return t.icons;
}

BOOL SendTrayEvent(HWND hwnd, UINT id, UINT mouse_message) {
  for (const auto& icon : ListTrayIcons()) {
    if (icon.hwnd == hwnd && icon.id == id) {
      if (!icon.callback_message)
        return FALSE;
      return PostMessageW(hwnd, icon.callback_message, id, mouse_message);
    }
  }
  SetLastError(ERROR_NOT_FOUND);
  return FALSE;
}

}  // namespace win32
