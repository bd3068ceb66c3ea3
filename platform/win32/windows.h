// Umbrella header: the whole Win32 layer. Each area adds one line here.
#ifndef WIN32_WINDOWS_H_
#define WIN32_WINDOWS_H_

#include "win32/adapters.h"
#include "win32/code_page.h"
#include "win32/com.h"
#include "win32/file.h"
#include "win32/firewall.h"
#include "win32/handle.h"
#include "win32/icmp.h"
#include "win32/last_error.h"
#include "win32/message_box.h"
#include "win32/message_queue.h"
#include "win32/module.h"
#include "win32/netbios.h"
#include "win32/pipe.h"
#include "win32/process.h"
#include "win32/profile.h"
#include "win32/registry.h"
#include "win32/resource.h"
#include "win32/screen_metrics.h"
#include "win32/services.h"
#include "win32/shell_folder.h"
#include "win32/sync.h"
#include "win32/system_time.h"
#include "win32/toolhelp.h"
#include "win32/tray.h"
#include "win32/types.h"
#include "win32/window.h"
#include "win32/winsock.h"
#include "win32/wow64.h"

#endif  // WIN32_WINDOWS_H_
