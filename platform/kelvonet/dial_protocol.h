// The wire protocol between the dial library and a relay node.
//
// One TCP connection per session, all lines end with "\n":
//
//   dialler -> relay  "KELVO/1 DIAL <protocol> <uuid> <interim> <n>\n"
//                     followed by exactly <n> bytes of route text
//                     (one route per line: "address mask address/prefix").
//   relay -> dialler  "OK <session-id> <keepalive-seconds>\n"
//                  or "ERR <code> <reason>\n" and the relay closes.
//                     The keep-alive is 1..kMaxKeepAliveSeconds, the code is
//                     not 0 and the line is at most kMaxLineBytes; a dialler
//                     refuses any other answer.
//   dialler -> relay  "PING\n" every keep-alive period; the relay answers
//                     "PONG\n". Either side ends a session that stays silent
//                     for kMissedKeepAlives periods.
//   dialler -> relay  "BYE\n" to hang up.
//   relay -> dialler  "BYE <reason>\n" when the relay ends the session
//                     (operator request, replaced by a newer dial); it then
//                     closes.
//
// <uuid> and <interim> are non-empty tokens without white space. The relay
// port is part of the server text as "host:port"; without one the dialler
// uses $KELVONET_RELAY_PORT, else kDefaultRelayPort.
#ifndef KELVONET_DIAL_PROTOCOL_H_
#define KELVONET_DIAL_PROTOCOL_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kelvonet {

constexpr int kDefaultRelayPort = 8444;
constexpr int kMissedKeepAlives = 3;
// Longer periods would let waits computed from them overflow.
constexpr int kMaxKeepAliveSeconds = 3600;
constexpr size_t kMaxLineBytes = 1024;
constexpr size_t kMaxTokenBytes = 128;
constexpr size_t kMaxRouteBytes = 16 * 1024 * 1024;
constexpr int kProtocolCount = 5;    // 0 IPSec, 1 L2TP, 2 PPTP, 3 OpenVPN, 4 openconnect
constexpr int kChooseProtocol = -1;  // CreateDial tries 0..4 in order

// Failure codes carried by "ERR" and by failed events.
enum DialCode : uint32_t {
  kCodeOk = 0,
  kCodeDialTooFrequent = 32,
  kCodeInvalidParameter = 87,
  kCodeOutOfResources = 8,  // the dialler could not make what a dial needs
  kCodeNotInitialised = 21,
  kCodeAuthenticationFailed = 691,
  kCodeProtocolRefused = 720,
  kCodeHandshakeFailed = 734,
  kCodeNodeUnreachable = 800,
  kCodeSessionLost = 629,
  kCodeEndedByRelay = 630,
  kCodeRouteStoreFailed = 1001,
};

struct DialRequest {
  int protocol = 0;
  std::string uuid;
  std::string interim;
  std::string routes;
};

enum class ParseStatus { kOk, kIncomplete, kMalformed };

// Empty when a field is not sendable (token empty, with white space or too
// long; route text too long; protocol outside 0..255).
std::string EncodeDialRequest(const DialRequest& request);

// Parses the first line of a request from the front of |buffer|, so that the
// credentials can be checked before any route text is read. On kOk,
// *header_bytes is the line's length with its "\n", *route_bytes the length
// of the route text that follows, and out->routes is empty.
ParseStatus ParseDialHeader(std::string_view buffer,
                            DialRequest* out,
                            size_t* header_bytes,
                            size_t* route_bytes);

// Parses a complete request from the front of |buffer|; *consumed is the
// byte count taken on kOk.
ParseStatus ParseDialRequest(std::string_view buffer, DialRequest* out, size_t* consumed);

struct DialReply {
  bool accepted = false;
  std::string session_id;  // when accepted
  int keepalive_seconds = 0;
  uint32_t code = 0;  // when refused
  std::string reason;
};

std::string EncodeAccept(std::string_view session_id, int keepalive_seconds);
std::string EncodeRefusal(uint32_t code, std::string_view reason);
// |line| without its "\n". A keep-alive, code or length out of its range is
// kMalformed.
ParseStatus ParseDialReply(std::string_view line, DialReply* out);

// Splits "host:port" (or "[v6]:port"); *port is 0 when the text has none.
// False for an empty host or a bad port.
bool SplitServerAddress(std::string_view server, std::string* host, int* port);

}  // namespace kelvonet

#endif  // KELVONET_DIAL_PROTOCOL_H_
