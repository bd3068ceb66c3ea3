// The notification-area icon of a window: its mouse events arrive at the
// window as the callback message with the mouse message in lParam
// (WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONUP, ...). UI thread only.
#ifndef DUILIB_TRAY_ICON_H_
#define DUILIB_TRAY_ICON_H_

#include "duilib/ui_base.h"
#include "win32/tray.h"

namespace DuiLib {

#define UIMSG_TRAYICON (WM_APP + 0x100)

class CTrayIcon {
 public:
  CTrayIcon() = default;
  ~CTrayIcon();
  CTrayIcon(const CTrayIcon&) = delete;
  CTrayIcon& operator=(const CTrayIcon&) = delete;

  bool CreateTrayIcon(HWND receiver,
                      UINT icon_resource,
                      const wchar_t* tip = nullptr,
                      UINT message = UIMSG_TRAYICON);
  void DeleteTrayIcon();
  bool SetTooltipText(const wchar_t* tip);
  CDuiString GetTooltipText() const { return tip_; }
  bool SetIcon(UINT icon_resource);
  bool IsEnabled() const { return enabled_; }

 private:
  bool Update(DWORD flags);
  HWND hwnd_ = nullptr;
  UINT icon_ = 0;
  UINT message_ = UIMSG_TRAYICON;
  CDuiString tip_;
  bool enabled_ = false;
};

}  // namespace DuiLib

#endif  // DUILIB_TRAY_ICON_H_
