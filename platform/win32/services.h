// The service control manager, kept in the machine store's services table.
// Error codes are the ones Windows gives (through SetLastError).
//
// What a start does is the service's configured behaviour in the store: it
// runs at once, stays START_PENDING until its wait hint has passed (derived
// from the time the start began; nothing runs in the background), fails, or
// the service behaves as missing. A service with a wait hint also passes
// through STOP_PENDING when stopped.
//
// A new machine store gets the network services a tunnelling client needs,
// in a mix of states, on the first OpenSCManagerW.
#ifndef WIN32_SERVICES_H_
#define WIN32_SERVICES_H_

#include <string>

#include "win32/types.h"

struct SC_HANDLE__ {
  int unused;
};
typedef SC_HANDLE__* SC_HANDLE;
typedef SC_HANDLE* LPSC_HANDLE;

// Manager access rights.
#define SC_MANAGER_CONNECT 0x0001
#define SC_MANAGER_CREATE_SERVICE 0x0002
#define SC_MANAGER_ENUMERATE_SERVICE 0x0004
#define SC_MANAGER_LOCK 0x0008
#define SC_MANAGER_QUERY_LOCK_STATUS 0x0010
#define SC_MANAGER_MODIFY_BOOT_CONFIG 0x0020
#define SC_MANAGER_ALL_ACCESS 0xF003F

// Service access rights.
#define SERVICE_QUERY_CONFIG 0x0001
#define SERVICE_CHANGE_CONFIG 0x0002
#define SERVICE_QUERY_STATUS 0x0004
#define SERVICE_ENUMERATE_DEPENDENTS 0x0008
#define SERVICE_START 0x0010
#define SERVICE_STOP 0x0020
#define SERVICE_PAUSE_CONTINUE 0x0040
#define SERVICE_INTERROGATE 0x0080
#define SERVICE_USER_DEFINED_CONTROL 0x0100
#define SERVICE_ALL_ACCESS 0xF01FF

#define SERVICES_ACTIVE_DATABASEW L"ServicesActive"

// Service types.
#define SERVICE_KERNEL_DRIVER 0x00000001
#define SERVICE_WIN32_OWN_PROCESS 0x00000010
#define SERVICE_WIN32_SHARE_PROCESS 0x00000020

// Start types.
#define SERVICE_BOOT_START 0x00000000
#define SERVICE_SYSTEM_START 0x00000001
#define SERVICE_AUTO_START 0x00000002
#define SERVICE_DEMAND_START 0x00000003
#define SERVICE_DISABLED 0x00000004
#define SERVICE_NO_CHANGE 0xFFFFFFFF

// Current states.
#define SERVICE_STOPPED 0x00000001
#define SERVICE_START_PENDING 0x00000002
#define SERVICE_STOP_PENDING 0x00000003
#define SERVICE_RUNNING 0x00000004
#define SERVICE_CONTINUE_PENDING 0x00000005
#define SERVICE_PAUSE_PENDING 0x00000006
#define SERVICE_PAUSED 0x00000007

// Controls.
#define SERVICE_CONTROL_STOP 0x00000001
#define SERVICE_CONTROL_PAUSE 0x00000002
#define SERVICE_CONTROL_CONTINUE 0x00000003
#define SERVICE_CONTROL_INTERROGATE 0x00000004
#define SERVICE_ACCEPT_STOP 0x00000001

#define ERROR_INVALID_SERVICE_CONTROL 1052L
#define ERROR_DATABASE_DOES_NOT_EXIST 1065L
#define ERROR_SERVICE_NEVER_STARTED 1077L
#define RPC_S_SERVER_UNAVAILABLE 1722L

typedef struct _SERVICE_STATUS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;
  DWORD dwWin32ExitCode;
  DWORD dwServiceSpecificExitCode;
  DWORD dwCheckPoint;
  DWORD dwWaitHint;
} SERVICE_STATUS, *LPSERVICE_STATUS;

// machine_name: null, "" or "." (the local machine; others are unreachable).
// database_name: null or SERVICES_ACTIVE_DATABASEW.
SC_HANDLE OpenSCManagerW(LPCWSTR machine_name, LPCWSTR database_name, DWORD desired_access);
// Service names are matched without regard to case.
SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR service_name, DWORD desired_access);
BOOL CloseServiceHandle(SC_HANDLE handle);

BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status);
// Only the start type and the display name are kept; asking to change any
// other setting fails with ERROR_CALL_NOT_IMPLEMENTED and changes nothing.
BOOL ChangeServiceConfigW(SC_HANDLE service,
                          DWORD service_type,
                          DWORD start_type,
                          DWORD error_control,
                          LPCWSTR binary_path_name,
                          LPCWSTR load_order_group,
                          LPDWORD tag_id,
                          LPCWSTR dependencies,
                          LPCWSTR service_start_name,
                          LPCWSTR password,
                          LPCWSTR display_name);
BOOL StartServiceW(SC_HANDLE service, DWORD num_service_args, LPCWSTR* service_arg_vectors);
// SERVICE_CONTROL_STOP and SERVICE_CONTROL_INTERROGATE.
BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status);

// *buffer_length is in characters without the terminating 0; a buffer too
// small gives ERROR_INSUFFICIENT_BUFFER with the length needed.
BOOL GetServiceDisplayNameW(SC_HANDLE manager,
                            LPCWSTR service_name,
                            LPWSTR display_name,
                            LPDWORD buffer_length);
BOOL GetServiceKeyNameW(SC_HANDLE manager,
                        LPCWSTR display_name,
                        LPWSTR service_name,
                        LPDWORD buffer_length);

#define OpenSCManager OpenSCManagerW
#define OpenService OpenServiceW
#define ChangeServiceConfig ChangeServiceConfigW
#define StartService StartServiceW
#define GetServiceDisplayName GetServiceDisplayNameW
#define GetServiceKeyName GetServiceKeyNameW

namespace machine {
class Store;
}

namespace win32 {

// Puts the default services into |store| unless it was seeded before (a
// service removed later stays removed). Returns false on a store error.
bool SeedDefaultServices(machine::Store* store);

}  // namespace win32

#endif  // WIN32_SERVICES_H_
