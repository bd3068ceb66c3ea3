#include "client/engine/node_fetch.h"

#include <future>
#include <thread>
#include <utility>

#include "base/logging.h"
#include "client/engine/route_manager.h"
#include "win32/code_page.h"

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
      entry.name = win32::Utf8ToWide(infos[i].name_cn);
      entry.address = win32::Utf8ToWide(infos[i].addr_ip);
      entry.delay = results[i].get();
      nodes->push_back(std::move(entry));
    }
  } catch (...) {
    LOG(ERROR) << "get node list crashed";
  }
}
