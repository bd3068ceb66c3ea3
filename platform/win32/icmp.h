// ICMP echo (IP Helper) on Linux ICMP sockets: raw sockets when the process
// may open them (root), otherwise the kernel's datagram "ping" sockets.
#ifndef WIN32_ICMP_H_
#define WIN32_ICMP_H_

#include "win32/types.h"

typedef ULONG IPAddr;  // IPv4 address in network byte order.
typedef ULONG IP_STATUS;

// Status values of an echo, as IcmpSendEcho reports them through the reply
// and through GetLastError when no reply came.
#define IP_STATUS_BASE 11000
#define IP_SUCCESS 0
#define IP_BUF_TOO_SMALL 11001
#define IP_DEST_NET_UNREACHABLE 11002
#define IP_DEST_HOST_UNREACHABLE 11003
#define IP_DEST_PROT_UNREACHABLE 11004
#define IP_DEST_PORT_UNREACHABLE 11005
#define IP_NO_RESOURCES 11006
#define IP_HW_ERROR 11008
#define IP_PACKET_TOO_BIG 11009
#define IP_REQ_TIMED_OUT 11010
#define IP_BAD_REQ 11011
#define IP_BAD_ROUTE 11012
#define IP_TTL_EXPIRED_TRANSIT 11013
#define IP_TTL_EXPIRED_REASSEM 11014
#define IP_PARAM_PROBLEM 11015
#define IP_SOURCE_QUENCH 11016
#define IP_GENERAL_FAILURE 11050

typedef struct ip_option_information {
  UCHAR Ttl;
  UCHAR Tos;
  UCHAR Flags;
  UCHAR OptionsSize;
  UCHAR* OptionsData;
} IP_OPTION_INFORMATION, *PIP_OPTION_INFORMATION;

typedef struct icmp_echo_reply {
  IPAddr Address;
  ULONG Status;
  ULONG RoundTripTime;  // milliseconds
  USHORT DataSize;
  USHORT Reserved;
  PVOID Data;  // points into the caller's reply buffer, after the record
  struct ip_option_information Options;
} ICMP_ECHO_REPLY, *PICMP_ECHO_REPLY;

typedef void (*PIO_APC_ROUTINE)(PVOID context, PVOID io_status_block, ULONG reserved);

// Returns INVALID_HANDLE_VALUE (GetLastError set) when no ICMP socket can be
// opened. A handle may be used from several threads; sends are serialised.
HANDLE IcmpCreateFile();
BOOL IcmpCloseHandle(HANDLE icmp_handle);

// Sends one echo request and waits up to |timeout| ms for its reply. Returns
// the number of replies written to |reply_buffer| (0 or 1); on 0,
// GetLastError holds an IP_* status or a system error code. The buffer must
// hold at least one ICMP_ECHO_REPLY; echoed data is copied behind it as far
// as it fits.
DWORD IcmpSendEcho(HANDLE icmp_handle,
                   IPAddr destination,
                   LPVOID request_data,
                   WORD request_size,
                   PIP_OPTION_INFORMATION request_options,
                   LPVOID reply_buffer,
                   DWORD reply_size,
                   DWORD timeout);

// As IcmpSendEcho, sent from |source| (0 = any). Only the synchronous form is
// provided: a non-null |event| or |apc_routine| fails with
// ERROR_NOT_SUPPORTED.
DWORD IcmpSendEcho2Ex(HANDLE icmp_handle,
                      HANDLE event,
                      PIO_APC_ROUTINE apc_routine,
                      PVOID apc_context,
                      IPAddr source,
                      IPAddr destination,
                      LPVOID request_data,
                      WORD request_size,
                      PIP_OPTION_INFORMATION request_options,
                      LPVOID reply_buffer,
                      DWORD reply_size,
                      DWORD timeout);

// Makes later IcmpCreateFile calls open datagram "ping" sockets even where raw
// sockets are allowed, so both kinds can be exercised as root.
void IcmpPreferDatagramSocketsForTesting(bool prefer);

#endif  // WIN32_ICMP_H_
