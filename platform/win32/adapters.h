// GetAdaptersInfo: the adapters of the machine store (the TAP adapter when
// installed) followed by the host's IPv4 interfaces with the gateway of their
// default route. An adapter without a gateway lists "0.0.0.0", as on Windows.
// When the store's adapter override is set, the store's adapters are the
// whole list.
#ifndef WIN32_ADAPTERS_H_
#define WIN32_ADAPTERS_H_

#include <time.h>

#include "win32/types.h"

#define MAX_ADAPTER_NAME_LENGTH 256
#define MAX_ADAPTER_DESCRIPTION_LENGTH 128
#define MAX_ADAPTER_ADDRESS_LENGTH 8

#define MIB_IF_TYPE_OTHER 1
#define MIB_IF_TYPE_ETHERNET 6
#define MIB_IF_TYPE_PPP 23
#define MIB_IF_TYPE_LOOPBACK 24

typedef struct {
  char String[4 * 4];
} IP_ADDRESS_STRING, *PIP_ADDRESS_STRING, IP_MASK_STRING, *PIP_MASK_STRING;

typedef struct _IP_ADDR_STRING {
  struct _IP_ADDR_STRING* Next;
  IP_ADDRESS_STRING IpAddress;
  IP_MASK_STRING IpMask;
  DWORD Context;
} IP_ADDR_STRING, *PIP_ADDR_STRING;

typedef struct _IP_ADAPTER_INFO {
  struct _IP_ADAPTER_INFO* Next;
  DWORD ComboIndex;
  char AdapterName[MAX_ADAPTER_NAME_LENGTH + 4];
  char Description[MAX_ADAPTER_DESCRIPTION_LENGTH + 4];
  UINT AddressLength;
  BYTE Address[MAX_ADAPTER_ADDRESS_LENGTH];
  DWORD Index;
  UINT Type;
  UINT DhcpEnabled;
  PIP_ADDR_STRING CurrentIpAddress;
  IP_ADDR_STRING IpAddressList;
  IP_ADDR_STRING GatewayList;
  IP_ADDR_STRING DhcpServer;
  BOOL HaveWins;
  IP_ADDR_STRING PrimaryWinsServer;
  IP_ADDR_STRING SecondaryWinsServer;
  time_t LeaseObtained;
  time_t LeaseExpires;
} IP_ADAPTER_INFO, *PIP_ADAPTER_INFO;

// Windows' two-call protocol: when |adapter_info| is null or *|size| is too
// small, *|size| becomes the size needed and the result is
// ERROR_BUFFER_OVERFLOW. ERROR_NO_DATA when there is no adapter,
// ERROR_INVALID_PARAMETER when |size| is null.
ULONG GetAdaptersInfo(PIP_ADAPTER_INFO adapter_info, PULONG size);

#endif  // WIN32_ADAPTERS_H_
