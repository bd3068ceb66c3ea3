// Resources built into the program. A program embeds a file with the CMake
// function tern_embed_resource (platform/duilib), which registers it here
// under its name and type before main runs.
#ifndef WIN32_RESOURCE_H_
#define WIN32_RESOURCE_H_

#include "win32/types.h"
#include "win32/window.h"

struct HRSRC__ {
  int unused;
};
typedef HRSRC__* HRSRC;
typedef HANDLE HGLOBAL;

// The module argument is accepted and ignored: each program has one set.
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
DWORD SizeofResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
BOOL FreeResource(HGLOBAL data);
HMODULE GetModuleHandleW(LPCWSTR module_name);

#define FindResource FindResourceW

namespace win32 {

// Registers bytes that stay valid for the life of the process. A later
// registration of the same name and type replaces the earlier one.
void RegisterResource(const wchar_t* name, const wchar_t* type, const void* data, size_t size);

}  // namespace win32

#endif  // WIN32_RESOURCE_H_
