// The uninstall steps that run on the worker thread.
#ifndef UNINSTAL_UNINSTALL_WORKER_H_
#define UNINSTAL_UNINSTALL_WORKER_H_

#include "win32/types.h"
#include "win32/window.h"

// The private message that carries the progress percentage in wParam.
constexpr UINT kProgressMessage = 1125;

// Removes the adapter, the shortcuts, the registration and the installed
// files, posting progress 43, 93, 96 and 100 to |window|, and starts the
// self-delete script. Runs on the uninstall worker thread; touches the window
// only by posting to it.
void RunUninstall(HWND window);

#endif  // UNINSTAL_UNINSTALL_WORKER_H_
