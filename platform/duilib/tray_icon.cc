#include "duilib/tray_icon.h"

#include <algorithm>
#include <cwchar>

namespace DuiLib {

CTrayIcon::~CTrayIcon() {
  DeleteTrayIcon();
}

bool CTrayIcon::Update(DWORD flags) {
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof(data);
  data.hWnd = hwnd_;
  data.uID = icon_;
  data.uFlags = flags;
  data.uCallbackMessage = message_;
  data.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(icon_));
  size_t n = std::min<size_t>(127, tip_.GetLength());
  std::wmemcpy(data.szTip, tip_.GetData(), n);
  data.szTip[n] = 0;
  return Shell_NotifyIconW(enabled_ ? NIM_MODIFY : NIM_ADD, &data) != FALSE;
}

bool CTrayIcon::CreateTrayIcon(HWND receiver,
                               UINT icon_resource,
                               const wchar_t* tip,
                               UINT message) {
  DeleteTrayIcon();
  hwnd_ = receiver;
  icon_ = icon_resource;
  message_ = message ? message : UIMSG_TRAYICON;
  tip_ = tip;
  if (!Update(NIF_MESSAGE | NIF_ICON | NIF_TIP))
    return false;
  enabled_ = true;
  return true;
}

void CTrayIcon::DeleteTrayIcon() {
  if (!enabled_)
    return;
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof(data);
  data.hWnd = hwnd_;
  data.uID = icon_;
  Shell_NotifyIconW(NIM_DELETE, &data);
  enabled_ = false;
}

bool CTrayIcon::SetTooltipText(const wchar_t* tip) {
  tip_ = tip;
  return enabled_ && Update(NIF_TIP);
}

bool CTrayIcon::SetIcon(UINT icon_resource) {
  if (!enabled_)
    return false;
  DeleteTrayIcon();
  icon_ = icon_resource;
  if (!Update(NIF_MESSAGE | NIF_ICON | NIF_TIP))
    return false;
  enabled_ = true;
  return true;
}

}  // namespace DuiLib
