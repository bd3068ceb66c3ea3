// Fetching the relay nodes of a region and measuring each one.
#ifndef CLIENT_ENGINE_NODE_FETCH_H_
#define CLIENT_ENGINE_NODE_FETCH_H_

#include <string>
#include <vector>

#include "servicebridge/service_bridge.h"

class RouteManager;

// The client's record of one node.
struct NodeEntry {
  int reserved_first = 54;  // not set by the fetch; nothing in the engine reads it
  int delay = 5;            // probe result in ms; 5000 when no attempt was answered
  int reserved_third = 0;   // not set by the fetch; nothing in the engine reads it
  std::wstring name;        // from the service's name_cn
  std::wstring address;     // host name or dotted address, from addr_ip
};

// The probe the fetch runs for each node; Probe() in the client.
using NodeProbeFunction = int (*)(const std::string& address, const std::string& source);

// Rebuilds |nodes| for |region| ("" = the default region): clears it, asks
// the service, adds host routes for every node before any probe is sent,
// probes all nodes at once (one detached thread each) and appends the
// entries in the service's order. Takes about as long as the slowest probe.
// An exception on the way is logged and leaves the entries added so far.
// Runs on the calling worker thread (the IO thread in the client).
void FetchNodeList(CServiceBridgeVirtual* service,
                   RouteManager* routes,
                   const std::string& region,
                   std::vector<NodeEntry>* nodes,
                   NodeProbeFunction probe);

#endif  // CLIENT_ENGINE_NODE_FETCH_H_
