// The registry, kept in the machine store. Error codes are the ones Windows
// gives. Keys opened without KEY_WOW64_32KEY / KEY_WOW64_64KEY see the
// 32-bit view (our programs stand in for 32-bit Windows programs); only
// HKEY_LOCAL_MACHINE\SOFTWARE differs between the views.
//
// REG_SZ data crosses this interface as WCHAR strings: sizes are in bytes of
// wchar_t (4 per character here), terminating 0 included.
#ifndef WIN32_REGISTRY_H_
#define WIN32_REGISTRY_H_

#include "win32/types.h"

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u)))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000003u)))
#define HKEY_PERFORMANCE_DATA (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000004u)))
#define HKEY_CURRENT_CONFIG (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000005u)))
#define HKEY_DYN_DATA (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000006u)))
#define HKEY_CURRENT_USER_LOCAL_SETTINGS \
  (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000007u)))
#define HKEY_PERFORMANCE_TEXT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000050u)))
#define HKEY_PERFORMANCE_NLSTEXT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000060u)))

// Value types.
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

// Access rights.
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_32KEY 0x0200
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_RES 0x0300
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE 0x20019
#define KEY_ALL_ACCESS 0xF003F

// Options and dispositions.
#define REG_OPTION_NON_VOLATILE 0x00000000
#define REG_OPTION_VOLATILE 0x00000001
#define REG_CREATED_NEW_KEY 0x00000001
#define REG_OPENED_EXISTING_KEY 0x00000002

// RegGetValue type restrictions and flags.
#define RRF_RT_REG_NONE 0x00000001
#define RRF_RT_REG_SZ 0x00000002
#define RRF_RT_REG_EXPAND_SZ 0x00000004
#define RRF_RT_REG_BINARY 0x00000008
#define RRF_RT_REG_DWORD 0x00000010
#define RRF_RT_REG_MULTI_SZ 0x00000020
#define RRF_RT_REG_QWORD 0x00000040
#define RRF_RT_DWORD (RRF_RT_REG_BINARY | RRF_RT_REG_DWORD)
#define RRF_RT_QWORD (RRF_RT_REG_BINARY | RRF_RT_REG_QWORD)
#define RRF_RT_ANY 0x0000FFFF
#define RRF_NOEXPAND 0x10000000
#define RRF_ZEROONFAILURE 0x20000000

LSTATUS RegCreateKeyExW(HKEY key,
                        LPCWSTR sub_key,
                        DWORD reserved,
                        LPWSTR class_name,
                        DWORD options,
                        REGSAM sam_desired,
                        const LPSECURITY_ATTRIBUTES security_attributes,
                        PHKEY result,
                        LPDWORD disposition);
LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD options, REGSAM sam_desired, PHKEY result);
LSTATUS RegCloseKey(HKEY key);

// pv_data null with pcb_data set asks for the size. A type outside |flags|
// gives ERROR_UNSUPPORTED_TYPE; a buffer too small ERROR_MORE_DATA with the
// size needed in *pcb_data.
LSTATUS RegGetValueW(HKEY key,
                     LPCWSTR sub_key,
                     LPCWSTR value_name,
                     DWORD flags,
                     LPDWORD type,
                     PVOID data,
                     LPDWORD data_size);
LSTATUS RegQueryValueExW(HKEY key,
                         LPCWSTR value_name,
                         LPDWORD reserved,
                         LPDWORD type,
                         LPBYTE data,
                         LPDWORD data_size);
LSTATUS RegSetValueExW(HKEY key,
                       LPCWSTR value_name,
                       DWORD reserved,
                       DWORD type,
                       const BYTE* data,
                       DWORD data_size);
LSTATUS RegDeleteValueW(HKEY key, LPCWSTR value_name);
// A key with subkeys is not deleted (ERROR_ACCESS_DENIED, as on Windows).
LSTATUS RegDeleteKeyExW(HKEY key, LPCWSTR sub_key, REGSAM sam_desired, DWORD reserved);
LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR sub_key);
LSTATUS RegEnumKeyExW(HKEY key,
                      DWORD index,
                      LPWSTR name,
                      LPDWORD name_length,
                      LPDWORD reserved,
                      LPWSTR class_name,
                      LPDWORD class_length,
                      PFILETIME last_write_time);

#endif  // WIN32_REGISTRY_H_
