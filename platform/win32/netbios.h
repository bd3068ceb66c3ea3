// The NetBIOS adapter-status subset: enumerate adapters (LANAs), reset one,
// read its adapter status. Adapters are the machine's real network interfaces
// that have a 6-byte hardware address, loopback excluded, in interface-index
// order; LANA n is the n-th of them. The environment variable
// TERN_NETBIOS_HIDE (interface names separated by commas, or "*" for all)
// hides interfaces, so that a machine without adapters can be shown.
#ifndef WIN32_NETBIOS_H_
#define WIN32_NETBIOS_H_

#include "win32/types.h"

#define NCBNAMSZ 16
#define MAX_LANA 254

// Commands.
#define NCBRESET 0x32
#define NCBASTAT 0x33
#define NCBENUM 0x37
#define ASYNCH 0x80

// Return codes.
#define NRC_GOODRET 0x00
#define NRC_BUFLEN 0x01
#define NRC_ILLCMD 0x03
#define NRC_BRIDGE 0x23
#define NRC_ENVNOTDEF 0x34
#define NRC_SYSTEM 0x40

typedef struct _NCB {
  UCHAR ncb_command;
  UCHAR ncb_retcode;
  UCHAR ncb_lsn;
  UCHAR ncb_num;
  UCHAR* ncb_buffer;
  WORD ncb_length;
  UCHAR ncb_callname[NCBNAMSZ];
  UCHAR ncb_name[NCBNAMSZ];
  UCHAR ncb_rto;
  UCHAR ncb_sto;
  void (*ncb_post)(struct _NCB*);
  UCHAR ncb_lana_num;
  UCHAR ncb_cmd_cplt;
  UCHAR ncb_reserve[18];
  HANDLE ncb_event;
} NCB, *PNCB;

typedef struct _LANA_ENUM {
  UCHAR length;
  UCHAR lana[MAX_LANA + 1];
} LANA_ENUM, *PLANA_ENUM;

typedef struct _ADAPTER_STATUS {
  UCHAR adapter_address[6];
  UCHAR rev_major;
  UCHAR reserved0;
  UCHAR adapter_type;
  UCHAR rev_minor;
  WORD duration;
  WORD frmr_recv;
  WORD frmr_xmit;
  WORD iframe_recv_err;
  WORD xmit_aborts;
  DWORD xmit_success;
  DWORD recv_success;
  WORD iframe_xmit_err;
  WORD recv_buff_unavail;
  WORD t1_timeouts;
  WORD ti_timeouts;
  DWORD reserved1;
  WORD free_ncbs;
  WORD max_cfg_ncbs;
  WORD max_ncbs;
  WORD xmit_buf_unavail;
  WORD max_dgram_size;
  WORD pending_sess;
  WORD max_cfg_sess;
  WORD max_sess;
  WORD max_sess_pkt_size;
  WORD name_count;
} ADAPTER_STATUS, *PADAPTER_STATUS;

// Runs one command synchronously and returns its code, also stored in
// ncb_retcode. NCBENUM fills a LANA_ENUM; NCBRESET accepts any enumerated
// LANA; NCBASTAT with call name "*" fills an ADAPTER_STATUS (no name table
// follows it). Asynchronous submission is not supported (NRC_ILLCMD).
UCHAR Netbios(PNCB pncb);

#endif  // WIN32_NETBIOS_H_
