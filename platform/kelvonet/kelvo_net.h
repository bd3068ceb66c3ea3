// The VPN dial library: dials a relay node, keeps the session alive with
// keep-alives, records the session's routes in the machine's route table,
// and reports what happens as KelvoVpnEvent records on the library's own
// dial thread. Also adds and removes the TAP adapter entry and records the
// relay certificate. Wire protocol: dial_protocol.h.
//
// Events (all with notify = 1):
//   "CONNECTED"            the relay accepted the session
//   "ADDROUTED"            routes recorded, tunnel up; route_count set
//   "ACTIVEDISCONNECTED"   StopDial() or a newer CreateDial() hung up
//   "PASSIVEDISCONNECTED"  the relay ended the session (code 630) or it was
//                          lost (code 629)
//   "DIALFAILED"           failed = 1 with a DialCode: 800 node unreachable,
//                          691 credentials refused, 720 protocol refused,
//                          32 dialling too frequently, 734 handshake failed,
//                          87 bad argument, 21 not initialised, 1001 routes
//                          could not be recorded, 8 out of descriptors or
//                          other resources
#ifndef KELVONET_KELVO_NET_H_
#define KELVONET_KELVO_NET_H_

#include <cstddef>
#include <cstdint>
#include <string>

// The event record as callers copy it; byte offsets are fixed.
struct KelvoVpnEvent {
  uint32_t sequence;      // 0: running number of events of this library instance
  uint32_t protocol;      // 4: protocol index of the dial
  uint8_t notify;         // 8: 1 for every event the library reports
  uint8_t connected;      // 9: 1 while the tunnel is up after this event
  uint8_t failed;         // 10: the dial or tunnel failed
  uint8_t reserved11;     // 11
  uint8_t reserved12;     // 12
  uint8_t reserved13[3];  // 13..15
  char name[24];          // 16: event name, zero-terminated
  char server[24];        // 40: the server text as dialled (cut to fit)
  char session[24];       // 64: the relay's session id
  char detail[24];        // 88: a short reason text (cut to fit)
  uint32_t code;          // 112: failure or disconnection code (DialCode)
  uint32_t route_count;   // 116: routes recorded ("ADDROUTED")
  uint32_t reserved120;   // 120
};
static_assert(offsetof(KelvoVpnEvent, notify) == 8);
static_assert(offsetof(KelvoVpnEvent, failed) == 10);
static_assert(offsetof(KelvoVpnEvent, name) == 16);
static_assert(offsetof(KelvoVpnEvent, server) == 40);
static_assert(offsetof(KelvoVpnEvent, session) == 64);
static_assert(offsetof(KelvoVpnEvent, detail) == 88);
static_assert(offsetof(KelvoVpnEvent, code) == 112);
static_assert(offsetof(KelvoVpnEvent, route_count) == 116);
static_assert(offsetof(KelvoVpnEvent, reserved120) == 120);
static_assert(sizeof(KelvoVpnEvent) == 124);

// Called on the library's dial thread; must not block for long nor call
// back into the library.
typedef void (*KelvoEventCallback)(KelvoVpnEvent event, unsigned long context);

// Creates the library's state; true also when it already exists.
bool KelvoNet_createInstance();
// Hangs up (without events) and frees everything. Call after every other
// use has ended.
void KelvoNet_releaseInstance();
// Allows dialling. False before KelvoNet_createInstance().
bool KelvoNet_Init();
// Hangs up any session without reporting events, and refuses further dials
// until the next KelvoNet_Init().
void KelvoNet_DeInit();

// Starts a dial and returns at once; results arrive as events. |protocol|
// is 0..4, or -1 to choose: the protocols are tried in the order 0..4 and
// the first one the relay does not refuse as a protocol (720) is used; the
// events carry it. |server| is
// "address" (relay port from $KELVONET_RELAY_PORT, else 8444) or
// "address:port". The session runs inside TLS: the relay's certificate must
// chain to the system's store or to the file named by $KELVONET_CA_FILE
// (else by "ca_file" under [service_hosts] of config.ini in the program
// directory) and must name the address; otherwise the dial fails with
// kCodeHandshakeFailed before the credentials leave. |routes| holds one route per line, "address
// mask address/prefix". A dial in progress or an open session is hung up first (reported as
// "ACTIVEDISCONNECTED"). Returns 0 when the dial started, otherwise the failure code, which is also
// reported as "DIALFAILED".
int CreateDial(int protocol,
               const char* server,
               const char* uuid,
               const char* interim,
               const std::string& routes,
               KelvoEventCallback callback,
               unsigned long context);
// Hangs up; reports "ACTIVEDISCONNECTED" when a dial or session was open.
// Returns at once.
void StopDial();

// A dial library whose dials never report an event, as a relay that never
// finishes the tunnel looks to its caller. Also switched on for a whole
// process by KELVONET_MUTE_EVENTS_FOR_TESTING=1.
void SetEventsMutedForTesting(bool muted);

// Records the relay's root certificate in the machine store.
bool install_cert();
// 0 when the TAP adapter entry was added, 1 when it was there already, -1
// on failure.
int install_tap_driver();
// True when a TAP adapter entry was removed.
bool remove_tap_driver();

// The TAP adapter entry's name in the machine store.
inline constexpr char kKelvoTapAdapterName[] = "tap0901";
// Its description: the name the default-gateway search skips as the tunnel.
inline constexpr char kKelvoTapAdapterDescription[] = "TAP-Win32 Adapter V9";
// Addresses of the tunnel's two ends; routes go through the far end.
inline constexpr char kKelvoTunnelAddress[] = "10.198.0.2";
inline constexpr char kKelvoTunnelGateway[] = "10.198.0.1";

#endif  // KELVONET_KELVO_NET_H_
