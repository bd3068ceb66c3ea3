#include "client/engine/node_fetch.h"

#include <future>
#include <thread>
#include <utility>

#include "base/logging.h"
#include "client/engine/route_manager.h"

std::wstring Utf8ToWide(const std::string& utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    unsigned char lead = static_cast<unsigned char>(utf8[i]);
    size_t length = lead < 0x80           ? 1
                    : (lead >> 5) == 0x6  ? 2
                    : (lead >> 4) == 0xE  ? 3
                    : (lead >> 3) == 0x1E ? 4
                                          : 0;
    char32_t code = length == 1   ? lead
                    : length == 2 ? (lead & 0x1F)
                    : length == 3 ? (lead & 0x0F)
                                  : (lead & 0x07);
    bool valid = length != 0 && i + length <= utf8.size();
    for (size_t k = 1; valid && k < length; ++k) {
      unsigned char next = static_cast<unsigned char>(utf8[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not text.
    static const char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (valid && (code < kMinimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)))
      valid = false;
    if (!valid) {
      out.push_back(L'\xFFFD');
      ++i;
      continue;
    }
    out.push_back(static_cast<wchar_t>(code));
    i += length;
  }
  return out;
}

void FetchNodeList(CServiceBridgeVirtual* service,
                   RouteManager* routes,
                   const std::string& region,
                   std::vector<NodeEntry>* nodes,
                   NodeProbeFunction probe) {
  nodes->clear();
  try {
    std::vector<NodeInfo> infos = service->assignNodes(region);
    // Probes must already go around the tunnel.
    routes->AddNodeHostRoutes(infos);

    std::vector<std::future<int>> results;
    results.reserve(infos.size());
    for (const NodeInfo& info : infos) {
      std::promise<int> promise;
      results.push_back(promise.get_future());
      // Detached: a fetch never waits longer than it must, and a probe thread
      // owns everything it touches.
      std::thread([probe](std::promise<int> result,
                          std::string address) { result.set_value(probe(address, std::string())); },
                  std::move(promise), info.addr_ip)
          .detach();
    }
    for (size_t i = 0; i < infos.size(); ++i) {
      NodeEntry entry;
      entry.name = Utf8ToWide(infos[i].name_cn);
      entry.address = Utf8ToWide(infos[i].addr_ip);
      entry.delay = results[i].get();
      nodes->push_back(std::move(entry));
    }
  } catch (...) {
    LOG(ERROR) << "get node list crashed";
  }
}
