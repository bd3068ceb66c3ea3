#include "servicebridge/http_interface.h"
#include "servicebridge/service_bridge.h"

extern "C" SERVICEBRIDGE_EXPORT CServiceBridgeVirtual* GetInterfaceLibraryInfo() {
  // Created once under the thread-safe initialisation of statics.
  static servicebridge::HttpInterface bridge;
  return &bridge;
}
