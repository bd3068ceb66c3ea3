#ifndef SERVICEBRIDGE_MAC_ADDRESS_H_
#define SERVICEBRIDGE_MAC_ADDRESS_H_

#include <string>

namespace servicebridge {

// The first NetBIOS adapter's address as "AA:BB:CC:DD:EE:FF", looked up anew
// on each call; empty when there is no adapter or a step fails.
std::string MacAddressText();

}  // namespace servicebridge

#endif  // SERVICEBRIDGE_MAC_ADDRESS_H_
