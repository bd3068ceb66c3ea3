// Shows the program's tray icons in the desktop's tray: each icon becomes a
// freedesktop StatusNotifierItem on the session bus (GDBus on a thread of its
// own that sleeps until the bus has something), registered with the
// StatusNotifierWatcher. Activate is a left click on the icon, SecondaryActivate
// a double click and ContextMenu a right click, delivered as the shell does.
// Where no tray host runs, a window hidden to the tray stays on the taskbar
// minimised instead, and restoring it there is a left click on its icon.
#ifndef DUILIB_TRAY_HOST_H_
#define DUILIB_TRAY_HOST_H_

#include "duilib/ui_base.h"

namespace DuiLib::tray_host {

// Called on the UI thread by CPaintManagerUI::SetInstance; does nothing
// without a session bus or headless (TERN_HEADLESS=1). Later calls do nothing.
void Start();
// Any thread. True while a StatusNotifierWatcher is on the bus.
bool HostAvailable();
// Any thread. The id of the first tray icon of `hwnd`; false when it has none.
bool IconOf(HWND hwnd, UINT* id);

}  // namespace DuiLib::tray_host

#endif  // DUILIB_TRAY_HOST_H_
