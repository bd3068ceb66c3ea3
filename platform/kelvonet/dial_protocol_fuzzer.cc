// libFuzzer target for the relay's wire frames: the dial request the relay
// reads (first line and route text), the reply the dialler reads, and the
// server text. Whatever parses must encode back to something that parses to
// the same values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "kelvonet/dial_protocol.h"

namespace {

void Check(bool condition) {
  if (!condition)
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);

  kelvonet::DialRequest header;
  size_t header_bytes = 0;
  size_t route_bytes = 0;
  kelvonet::ParseStatus status =
      kelvonet::ParseDialHeader(input, &header, &header_bytes, &route_bytes);
  if (status == kelvonet::ParseStatus::kOk) {
    Check(header_bytes <= input.size() && header_bytes <= kelvonet::kMaxLineBytes + 1);
    Check(route_bytes <= kelvonet::kMaxRouteBytes);
  }

  kelvonet::DialRequest request;
  size_t consumed = 0;
  if (kelvonet::ParseDialRequest(input, &request, &consumed) == kelvonet::ParseStatus::kOk) {
    Check(status == kelvonet::ParseStatus::kOk && consumed == header_bytes + route_bytes);
    Check(consumed <= input.size());
    std::string again = kelvonet::EncodeDialRequest(request);
    kelvonet::DialRequest round;
    size_t round_consumed = 0;
    Check(!again.empty());
    Check(kelvonet::ParseDialRequest(again, &round, &round_consumed) == kelvonet::ParseStatus::kOk);
    Check(round.protocol == request.protocol && round.uuid == request.uuid &&
          round.interim == request.interim && round.routes == request.routes);
  }

  // A reply is one line without its "\n".
  std::string_view line = input.substr(0, input.find('\n'));
  kelvonet::DialReply reply;
  if (kelvonet::ParseDialReply(line, &reply) == kelvonet::ParseStatus::kOk) {
    if (reply.accepted)
      Check(reply.keepalive_seconds > 0 && !reply.session_id.empty());
    else
      Check(reply.code != 0);
  }

  std::string host;
  int port = -1;
  if (kelvonet::SplitServerAddress(line, &host, &port))
    Check(!host.empty() && port >= 0 && port <= 65535);
  return 0;
}
