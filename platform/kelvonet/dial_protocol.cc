#include "kelvonet/dial_protocol.h"

#include <charconv>
#include <vector>

namespace kelvonet {
namespace {

constexpr std::string_view kDialPrefix = "KELVO/1 DIAL ";

bool IsToken(std::string_view text) {
  if (text.empty() || text.size() > kMaxTokenBytes) {
    return false;
  }
  for (char c : text) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) {
      return false;
    }
  }
  return true;
}

template <typename T>
bool ParseNumber(std::string_view text, T* out) {
  if (text.empty()) {
    return false;
  }
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return ec == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> SplitSpaces(std::string_view text) {
  std::vector<std::string_view> parts;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t next = text.find(' ', pos);
    if (next == std::string_view::npos) {
      next = text.size();
    }
    parts.push_back(text.substr(pos, next - pos));
    pos = next + 1;
  }
  return parts;
}

}  // namespace

std::string EncodeDialRequest(const DialRequest& request) {
  if (request.protocol < 0 || request.protocol > 255 || !IsToken(request.uuid) ||
      !IsToken(request.interim) || request.routes.size() > kMaxRouteBytes) {
    return std::string();
  }
  std::string out(kDialPrefix);
  out += std::to_string(request.protocol);
  out += ' ';
  out += request.uuid;
  out += ' ';
  out += request.interim;
  out += ' ';
  out += std::to_string(request.routes.size());
  out += '\n';
  out += request.routes;
  return out;
}

ParseStatus ParseDialHeader(std::string_view buffer,
                            DialRequest* out,
                            size_t* header_bytes,
                            size_t* route_bytes) {
  size_t eol = buffer.find('\n');
  if (eol == std::string_view::npos) {
    // A header can never be this long, so stop reading early.
    return buffer.size() > kMaxLineBytes ? ParseStatus::kMalformed : ParseStatus::kIncomplete;
  }
  if (eol > kMaxLineBytes) {
    return ParseStatus::kMalformed;
  }
  std::string_view line = buffer.substr(0, eol);
  if (line.substr(0, kDialPrefix.size()) != kDialPrefix) {
    return ParseStatus::kMalformed;
  }
  std::vector<std::string_view> parts = SplitSpaces(line.substr(kDialPrefix.size()));
  if (parts.size() != 4) {
    return ParseStatus::kMalformed;
  }
  int protocol = 0;
  size_t routes = 0;
  if (!ParseNumber(parts[0], &protocol) || protocol < 0 || protocol > 255 || !IsToken(parts[1]) ||
      !IsToken(parts[2]) || !ParseNumber(parts[3], &routes) || routes > kMaxRouteBytes) {
    return ParseStatus::kMalformed;
  }
  out->protocol = protocol;
  out->uuid.assign(parts[1]);
  out->interim.assign(parts[2]);
  out->routes.clear();
  *header_bytes = eol + 1;
  *route_bytes = routes;
  return ParseStatus::kOk;
}

ParseStatus ParseDialRequest(std::string_view buffer, DialRequest* out, size_t* consumed) {
  DialRequest header;
  size_t header_bytes = 0;
  size_t route_bytes = 0;
  ParseStatus status = ParseDialHeader(buffer, &header, &header_bytes, &route_bytes);
  if (status != ParseStatus::kOk) {
    return status;
  }
  if (buffer.size() - header_bytes < route_bytes) {
    return ParseStatus::kIncomplete;
  }
  header.routes.assign(buffer.substr(header_bytes, route_bytes));
  *out = std::move(header);
  *consumed = header_bytes + route_bytes;
  return ParseStatus::kOk;
}

std::string EncodeAccept(std::string_view session_id, int keepalive_seconds) {
  return "OK " + std::string(session_id) + " " + std::to_string(keepalive_seconds) + "\n";
}

std::string EncodeRefusal(uint32_t code, std::string_view reason) {
  std::string text(reason.substr(0, kMaxLineBytes / 2));
  for (char& c : text) {
    if (c == '\n' || c == '\r') {
      c = ' ';
    }
  }
  return "ERR " + std::to_string(code) + " " + text + "\n";
}

ParseStatus ParseDialReply(std::string_view line, DialReply* out) {
  if (line.size() > kMaxLineBytes) {
    return ParseStatus::kMalformed;
  }
  if (line.substr(0, 3) == "OK ") {
    std::vector<std::string_view> parts = SplitSpaces(line.substr(3));
    int keepalive = 0;
    if (parts.size() != 2 || !IsToken(parts[0]) || !ParseNumber(parts[1], &keepalive) ||
        keepalive < 1 || keepalive > kMaxKeepAliveSeconds) {
      return ParseStatus::kMalformed;
    }
    out->accepted = true;
    out->session_id.assign(parts[0]);
    out->keepalive_seconds = keepalive;
    return ParseStatus::kOk;
  }
  if (line.substr(0, 4) == "ERR ") {
    std::string_view rest = line.substr(4);
    size_t space = rest.find(' ');
    uint32_t code = 0;
    // A refusal without a code would read as success to the caller.
    if (!ParseNumber(rest.substr(0, space), &code) || code == kCodeOk) {
      return ParseStatus::kMalformed;
    }
    out->accepted = false;
    out->code = code;
    out->reason =
        space == std::string_view::npos ? std::string() : std::string(rest.substr(space + 1));
    return ParseStatus::kOk;
  }
  return ParseStatus::kMalformed;
}

bool SplitServerAddress(std::string_view server, std::string* host, int* port) {
  *port = 0;
  std::string_view host_part = server;
  std::string_view port_part;
  if (!server.empty() && server.front() == '[') {
    size_t close = server.find(']');
    if (close == std::string_view::npos) {
      return false;
    }
    host_part = server.substr(1, close - 1);
    std::string_view rest = server.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') {
        return false;
      }
      port_part = rest.substr(1);
      if (port_part.empty()) {
        return false;
      }
    }
  } else {
    size_t colon = server.rfind(':');
    // More than one colon is a bare IPv6 address without a port.
    if (colon != std::string_view::npos && server.find(':') == colon) {
      host_part = server.substr(0, colon);
      port_part = server.substr(colon + 1);
      if (port_part.empty()) {
        return false;
      }
    }
  }
  if (host_part.empty()) {
    return false;
  }
  if (!port_part.empty() && (!ParseNumber(port_part, port) || *port < 1 || *port > 65535)) {
    return false;
  }
  host->assign(host_part);
  return true;
}

}  // namespace kelvonet
