#include "tools/route/route_command.h"

#include <arpa/inet.h>
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "machine/store.h"

namespace tools {
namespace {

const char kUsage[] =
    "\n"
    "Manipulates network routing tables.\n"
    "\n"
    "ROUTE [-p] command [destination] [MASK netmask] [gateway] [METRIC metric] [IF interface]\n"
    "\n"
    "  command      One of these:\n"
    "                 PRINT     Prints  a route\n"
    "                 ADD       Adds    a route\n"
    "                 DELETE    Deletes a route\n"
    "  destination  Specifies the host.\n"
    "  MASK         Specifies that the next parameter is the 'netmask' value.\n"
    "  netmask      Specifies a subnet mask value for this route entry.\n"
    "  gateway      Specifies gateway.\n"
    "  METRIC       specifies the metric, ie. cost for the destination.\n"
    "\n";

const char kRule[] =
    "===========================================================================\n";

bool Is(const std::string& word, const char* expected) {
  return strcasecmp(word.c_str(), expected) == 0;
}

// Strict dotted quad: four decimal parts, nothing else.
bool ParseAddress(const std::string& text, uint32_t* host_order) {
  in_addr address{};
  int parts = 0;
  bool digit = false;
  for (char c : text) {
    if (c == '.') {
      if (!digit)
        return false;
      ++parts;
      digit = false;
    } else if (c >= '0' && c <= '9') {
      digit = true;
    } else {
      return false;
    }
  }
  if (parts != 3 || !digit || inet_pton(AF_INET, text.c_str(), &address) != 1)
    return false;
  *host_order = ntohl(address.s_addr);
  return true;
}

// Ones from the top, then zeros: the inverse is of the form 0..01..1.
bool IsContiguousMask(uint32_t mask) {
  uint32_t inverse = ~mask;
  return (inverse & (inverse + 1)) == 0;
}

std::string Pad(const std::string& text, size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

int Fail(std::string* out, const std::string& line, int code) {
  out->append(line);
  out->append("\n");
  return code;
}

int OpenStore(std::unique_ptr<machine::Store>* store, std::string* out) {
  machine::Status status = machine::Store::Open(store);
  if (status != machine::Status::kOk) {
    out->append("The route table could not be opened: ");
    out->append(machine::StatusName(status));
    out->append("\n");
    return 1;
  }
  return 0;
}

int Print(std::string* out) {
  std::unique_ptr<machine::Store> store;
  if (int code = OpenStore(&store, out))
    return code;
  std::vector<machine::RouteRecord> routes;
  if (store->ListRoutes(&routes) != machine::Status::kOk)
    return Fail(out, "The route table could not be read.", 1);
  out->append(kRule);
  out->append("IPv4 Route Table\n");
  out->append(kRule);
  out->append("Active Routes:\n");
  out->append("Network Destination        Netmask          Gateway       Interface  Metric\n");
  for (const machine::RouteRecord& route : routes) {
    std::string gateway = route.gateway.empty() ? "On-link" : route.gateway;
    std::string interface = route.interface_address.empty() ? "On-link" : route.interface_address;
    out->append(Pad(route.destination, 17) + Pad(route.mask, 17) + Pad(gateway, 17) +
                Pad(interface, 15) + Pad(std::to_string(route.metric), 7) + "\n");
  }
  if (routes.empty())
    out->append("  None\n");
  out->append(kRule);
  return 0;
}

int Add(const std::vector<std::string>& words, size_t at, std::string* out) {
  // destination MASK netmask gateway [METRIC n] [IF n]
  if (words.size() < at + 4 || !Is(words[at + 1], "MASK"))
    return Fail(out, std::string(kUsage) + "Route: bad argument count or MASK missing.", 2);
  uint32_t destination = 0, mask = 0, gateway = 0;
  if (!ParseAddress(words[at], &destination))
    return Fail(out, "Route: bad destination address " + words[at], 2);
  if (!ParseAddress(words[at + 2], &mask) || !IsContiguousMask(mask))
    return Fail(out, "Route: bad mask " + words[at + 2], 2);
  if (!ParseAddress(words[at + 3], &gateway))
    return Fail(out, "Route: bad gateway address " + words[at + 3], 2);
  if ((destination & mask) != destination) {
    return Fail(out,
                "The route addition failed: The specified mask parameter is invalid. "
                "(Destination & Mask) != Destination.",
                2);
  }
  int metric = 1;
  for (size_t i = at + 4; i < words.size(); i += 2) {
    if (i + 1 >= words.size())
      return Fail(out, "Route: bad argument " + words[i], 2);
    const std::string& value = words[i + 1];
    char* end = nullptr;
    long number = strtol(value.c_str(), &end, 10);
    bool numeric = !value.empty() && end && *end == '\0';
    if (Is(words[i], "METRIC")) {
      if (!numeric || number < 1 || number > 9999)
        return Fail(out, "Route: bad metric value " + value, 2);
      metric = static_cast<int>(number);
    } else if (Is(words[i], "IF")) {
      if (!numeric || number < 0)
        return Fail(out, "Route: bad interface value " + value, 2);
    } else {
      return Fail(out, "Route: bad argument " + words[i], 2);
    }
  }
  std::unique_ptr<machine::Store> store;
  if (int code = OpenStore(&store, out))
    return code;
  machine::RouteRecord route;
  route.destination = words[at];
  route.mask = words[at + 2];
  route.gateway = words[at + 3];
  route.metric = metric;
  int64_t id = 0;
  machine::Status status = store->AddRoute(route, &id);
  if (status == machine::Status::kExists)
    return Fail(out, "The route addition failed: The object already exists.", 1);
  if (status != machine::Status::kOk)
    return Fail(out, std::string("The route addition failed: ") + machine::StatusName(status), 1);
  return Fail(out, " OK!", 0);
}

int Delete(const std::vector<std::string>& words, size_t at, std::string* out) {
  // destination [MASK netmask] [gateway]
  if (words.size() < at + 1)
    return Fail(out, std::string(kUsage) + "Route: bad argument count.", 2);
  uint32_t value = 0;
  if (!ParseAddress(words[at], &value))
    return Fail(out, "Route: bad destination address " + words[at], 2);
  std::string mask;
  size_t next = at + 1;
  if (next < words.size() && Is(words[next], "MASK")) {
    if (next + 1 >= words.size() || !ParseAddress(words[next + 1], &value) ||
        !IsContiguousMask(value)) {
      return Fail(out, "Route: bad mask " + (next + 1 < words.size() ? words[next + 1] : ""), 2);
    }
    mask = words[next + 1];
    next += 2;
  }
  if (next < words.size()) {
    if (!ParseAddress(words[next], &value))
      return Fail(out, "Route: bad gateway address " + words[next], 2);
    ++next;
  }
  if (next < words.size())
    return Fail(out, "Route: bad argument " + words[next], 2);
  std::unique_ptr<machine::Store> store;
  if (int code = OpenStore(&store, out))
    return code;
  int removed = 0;
  machine::Status status = store->DeleteRoutes(words[at], mask, &removed);
  if (status != machine::Status::kOk && status != machine::Status::kNotFound)
    return Fail(out, std::string("The route deletion failed: ") + machine::StatusName(status), 1);
  if (removed == 0)
    return Fail(out, "The route deletion failed: Element not found.", 1);
  return Fail(out, " OK!", 0);
}

}  // namespace

int RunRouteCommand(const std::vector<std::string>& args, std::string* out) {
  size_t at = 0;
  // -p (persistent) is accepted and changes nothing: every route here lives
  // in the machine store.
  while (at < args.size() && (Is(args[at], "-p") || Is(args[at], "/p")))
    ++at;
  if (at >= args.size())
    return Fail(out, kUsage, 2);
  const std::string& command = args[at];
  if (Is(command, "PRINT"))
    return Print(out);
  if (Is(command, "ADD"))
    return Add(args, at + 1, out);
  if (Is(command, "DELETE"))
    return Delete(args, at + 1, out);
  return Fail(out, std::string(kUsage) + "Route: bad command " + command, 2);
}

}  // namespace tools
