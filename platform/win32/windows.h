// Umbrella header: the whole Win32 layer. Each area adds one line here.
#ifndef WIN32_WINDOWS_H_
#define WIN32_WINDOWS_H_

#include "win32/adapters.h"
#include "win32/code_page.h"
#include "win32/icmp.h"
#include "win32/last_error.h"
#include "win32/module.h"
#include "win32/netbios.h"
#include "win32/profile.h"
#include "win32/system_time.h"
#include "win32/types.h"
#include "win32/winsock.h"
#include "win32/wow64.h"

#endif  // WIN32_WINDOWS_H_
