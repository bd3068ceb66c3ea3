#include "win32/adapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "machine/store.h"
#include "win32/last_error.h"

namespace {

struct Address {
  std::string ip;
  std::string mask;
};

struct Adapter {
  std::string name;
  std::string description;
  std::vector<uint8_t> mac;
  DWORD index = 0;
  UINT type = MIB_IF_TYPE_ETHERNET;
  std::vector<Address> addresses;
  std::string gateway;
};

std::string Dotted(const in_addr& address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof(text));
  return text;
}

// "00-FF-12-34-56-78" or with colons.
std::vector<uint8_t> ParseMac(const std::string& text) {
  std::vector<uint8_t> mac;
  for (size_t at = 0; at < text.size() && mac.size() < MAX_ADAPTER_ADDRESS_LENGTH; at += 3) {
    unsigned int byte = 0;
    if (sscanf(text.c_str() + at, "%2x", &byte) != 1)
      break;
    mac.push_back(static_cast<uint8_t>(byte));
  }
  return mac;
}

// Gateways of the default routes in /proc/net/route, by interface.
std::map<std::string, std::string> DefaultGateways() {
  std::map<std::string, std::string> gateways;
  std::ifstream routes("/proc/net/route");
  std::string line;
  std::getline(routes, line);  // column titles
  while (std::getline(routes, line)) {
    std::istringstream fields(line);
    std::string name, destination, gateway, flags, refcnt, use, metric, mask;
    if (!(fields >> name >> destination >> gateway >> flags >> refcnt >> use >> metric >> mask))
      continue;
    unsigned long flag_bits = strtoul(flags.c_str(), nullptr, 16);
    if (destination != "00000000" || mask != "00000000" || !(flag_bits & 0x2 /* RTF_GATEWAY */))
      continue;
    in_addr address{};
    // The kernel prints the address in memory order as one hex number.
    address.s_addr = static_cast<in_addr_t>(strtoul(gateway.c_str(), nullptr, 16));
    gateways.emplace(name, Dotted(address));
  }
  return gateways;
}

std::vector<uint8_t> HardwareAddress(const std::string& name) {
  std::ifstream file("/sys/class/net/" + name + "/address");
  std::string text;
  if (!(file >> text))
    return {};
  return ParseMac(text);
}

void HostAdapters(std::vector<Adapter>* adapters) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0)
    return;
  std::map<std::string, std::string> gateways = DefaultGateways();
  std::map<std::string, size_t> by_name;
  for (ifaddrs* it = list; it; it = it->ifa_next) {
    if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET || (it->ifa_flags & IFF_LOOPBACK))
      continue;
    std::string name = it->ifa_name;
    auto found = by_name.find(name);
    if (found == by_name.end()) {
      Adapter adapter;
      adapter.name = name;
      adapter.description = name;
      adapter.mac = HardwareAddress(name);
      adapter.index = if_nametoindex(name.c_str());
      adapter.type = (it->ifa_flags & IFF_POINTOPOINT) ? MIB_IF_TYPE_PPP : MIB_IF_TYPE_ETHERNET;
      auto gateway = gateways.find(name);
      adapter.gateway = gateway == gateways.end() ? "0.0.0.0" : gateway->second;
      found = by_name.emplace(name, adapters->size()).first;
      adapters->push_back(adapter);
    }
    Address address;
    address.ip = Dotted(reinterpret_cast<sockaddr_in*>(it->ifa_addr)->sin_addr);
    address.mask = it->ifa_netmask
                       ? Dotted(reinterpret_cast<sockaddr_in*>(it->ifa_netmask)->sin_addr)
                       : "0.0.0.0";
    (*adapters)[found->second].addresses.push_back(address);
  }
  freeifaddrs(list);
}

// Returns false when the store cannot be read.
bool StoreAdapters(std::vector<Adapter>* adapters, bool* override_host) {
  std::unique_ptr<machine::Store> store;
  if (machine::Store::Open(&store) != machine::Status::kOk)
    return false;
  std::vector<machine::AdapterRecord> records;
  if (store->GetAdapterOverride(override_host) != machine::Status::kOk ||
      store->ListAdapters(&records) != machine::Status::kOk) {
    return false;
  }
  for (const machine::AdapterRecord& record : records) {
    Adapter adapter;
    adapter.name = record.name;
    adapter.description = record.description;
    adapter.mac = ParseMac(record.mac);
    adapter.index = static_cast<DWORD>(record.id);
    adapter.type = record.type;
    // As for host interfaces, an adapter without a gateway lists "0.0.0.0".
    adapter.gateway = record.gateway.empty() ? "0.0.0.0" : record.gateway;
    std::istringstream entries(record.addresses);
    std::string entry;
    while (std::getline(entries, entry, ';')) {
      if (entry.empty())
        continue;
      size_t slash = entry.find('/');
      adapter.addresses.push_back(
          {entry.substr(0, slash), slash == std::string::npos ? "" : entry.substr(slash + 1)});
    }
    adapters->push_back(adapter);
  }
  return true;
}

void CopyText(char* to, size_t size, const std::string& text) {
  size_t length = std::min(text.size(), size - 1);
  memcpy(to, text.data(), length);
  to[length] = '\0';
}

void FillAddress(IP_ADDR_STRING* to, const Address& address) {
  CopyText(to->IpAddress.String, sizeof(to->IpAddress.String), address.ip);
  CopyText(to->IpMask.String, sizeof(to->IpMask.String), address.mask);
}

}  // namespace

ULONG GetAdaptersInfo(PIP_ADAPTER_INFO adapter_info, PULONG size) {
  if (!size)
    return ERROR_INVALID_PARAMETER;
  // The adapters added to the machine (the TAP adapter) come first, as a
  // newly installed adapter does on Windows; then the host's interfaces.
  std::vector<Adapter> adapters;
  bool override_host = false;
  StoreAdapters(&adapters, &override_host);
  if (!override_host)
    HostAdapters(&adapters);
  if (adapters.empty())
    return ERROR_NO_DATA;

  // Second and later addresses of an adapter are chained behind the records.
  size_t extra = 0;
  for (const Adapter& adapter : adapters)
    extra += adapter.addresses.size() > 1 ? adapter.addresses.size() - 1 : 0;
  size_t needed = adapters.size() * sizeof(IP_ADAPTER_INFO) + extra * sizeof(IP_ADDR_STRING);
  if (!adapter_info || *size < needed) {
    *size = static_cast<ULONG>(needed);
    return ERROR_BUFFER_OVERFLOW;
  }
  memset(adapter_info, 0, needed);
  auto* chained = reinterpret_cast<IP_ADDR_STRING*>(reinterpret_cast<char*>(adapter_info) +
                                                    adapters.size() * sizeof(IP_ADAPTER_INFO));
  for (size_t i = 0; i < adapters.size(); ++i) {
    const Adapter& from = adapters[i];
    IP_ADAPTER_INFO* to = adapter_info + i;
    to->Next = i + 1 < adapters.size() ? to + 1 : nullptr;
    to->ComboIndex = from.index;
    to->Index = from.index;
    CopyText(to->AdapterName, sizeof(to->AdapterName), from.name);
    CopyText(to->Description, sizeof(to->Description), from.description);
    to->AddressLength = static_cast<UINT>(from.mac.size());
    if (!from.mac.empty())
      memcpy(to->Address, from.mac.data(), from.mac.size());
    to->Type = from.type;
    if (from.addresses.empty()) {
      FillAddress(&to->IpAddressList, {"0.0.0.0", "0.0.0.0"});
    } else {
      FillAddress(&to->IpAddressList, from.addresses[0]);
      IP_ADDR_STRING* last = &to->IpAddressList;
      for (size_t k = 1; k < from.addresses.size(); ++k) {
        FillAddress(chained, from.addresses[k]);
        last->Next = chained;
        last = chained++;
      }
    }
    to->CurrentIpAddress = &to->IpAddressList;
    FillAddress(&to->GatewayList, {from.gateway, from.gateway.empty() ? "" : "255.255.255.255"});
    FillAddress(&to->DhcpServer, {"", ""});
  }
  return ERROR_SUCCESS;
}
