#include "win32/netbios.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Adapter {
  unsigned index;
  std::string name;
  UCHAR address[6];
};

bool IsHidden(const std::string& name) {
  const char* hide = getenv("TERN_NETBIOS_HIDE");
  if (!hide)
    return false;
  std::string list = hide;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos)
      end = list.size();
    std::string item = list.substr(start, end - start);
    if (item == "*" || item == name)
      return true;
    start = end + 1;
  }
  return false;
}

// Listed anew for each command, so LANA numbers follow the interfaces as they
// are now.
std::vector<Adapter> ListAdapters() {
  std::vector<Adapter> adapters;
  struct ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0)
    return adapters;
  for (struct ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_PACKET)
      continue;
    if (entry->ifa_flags & IFF_LOOPBACK)
      continue;
    const auto* link = reinterpret_cast<const struct sockaddr_ll*>(entry->ifa_addr);
    if (link->sll_halen != 6)
      continue;
    static const UCHAR kZero[6] = {};
    if (memcmp(link->sll_addr, kZero, 6) == 0)
      continue;
    std::string name = entry->ifa_name ? entry->ifa_name : "";
    if (IsHidden(name))
      continue;
    Adapter adapter;
    adapter.index = static_cast<unsigned>(link->sll_ifindex);
    adapter.name = name;
    memcpy(adapter.address, link->sll_addr, 6);
    adapters.push_back(adapter);
  }
  freeifaddrs(list);
  std::sort(adapters.begin(), adapters.end(),
            [](const Adapter& a, const Adapter& b) { return a.index < b.index; });
  if (adapters.size() > MAX_LANA + 1)
    adapters.resize(MAX_LANA + 1);
  return adapters;
}

UCHAR Enumerate(PNCB ncb) {
  if (!ncb->ncb_buffer || ncb->ncb_length < sizeof(LANA_ENUM))
    return NRC_BUFLEN;
  std::vector<Adapter> adapters = ListAdapters();
  LANA_ENUM lanas{};
  lanas.length = static_cast<UCHAR>(adapters.size());
  for (size_t i = 0; i < adapters.size(); ++i)
    lanas.lana[i] = static_cast<UCHAR>(i);
  memcpy(ncb->ncb_buffer, &lanas, sizeof(lanas));
  return NRC_GOODRET;
}

UCHAR Reset(PNCB ncb) {
  return ncb->ncb_lana_num < ListAdapters().size() ? NRC_GOODRET : NRC_BRIDGE;
}

UCHAR AdapterStatus(PNCB ncb) {
  std::vector<Adapter> adapters = ListAdapters();
  if (ncb->ncb_lana_num >= adapters.size())
    return NRC_BRIDGE;
  // Only the local adapter ("*") is answered; remote names need a NetBIOS
  // network that does not exist here.
  if (ncb->ncb_callname[0] != '*')
    return NRC_ILLCMD;
  if (!ncb->ncb_buffer || ncb->ncb_length < sizeof(ADAPTER_STATUS))
    return NRC_BUFLEN;
  ADAPTER_STATUS status{};
  memcpy(status.adapter_address, adapters[ncb->ncb_lana_num].address, 6);
  status.rev_major = 3;
  status.adapter_type = 0xFE;  // Ethernet.
  status.max_dgram_size = 1464;
  memcpy(ncb->ncb_buffer, &status, sizeof(status));
  ncb->ncb_length = sizeof(status);
  return NRC_GOODRET;
}

}  // namespace

UCHAR Netbios(PNCB pncb) {
  if (!pncb)
    return NRC_BUFLEN;
  UCHAR code;
  switch (pncb->ncb_command) {
    case NCBENUM:
      code = Enumerate(pncb);
      break;
    case NCBRESET:
      code = Reset(pncb);
      break;
    case NCBASTAT:
      code = AdapterStatus(pncb);
      break;
    default:
      code = NRC_ILLCMD;
      break;
  }
  pncb->ncb_retcode = code;
  pncb->ncb_cmd_cplt = code;
  return code;
}
