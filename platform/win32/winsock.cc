#include "win32/winsock.h"

#include <string.h>
#include <sys/socket.h>

#include <string>
#include <vector>

#include "win32/last_error.h"

namespace {

// One result per thread; valid until the thread's next call.
struct HostEntry {
  hostent entry{};
  std::string name;
  std::vector<in_addr> addresses;
  std::vector<char*> address_list;
  char* no_aliases[1] = {nullptr};
};

int WsaErrorFromResolver(int error) {
  switch (error) {
    case EAI_NONAME:
      return WSAHOST_NOT_FOUND;
    case EAI_AGAIN:
      return WSATRY_AGAIN;
    case EAI_MEMORY:
      return WSA_NOT_ENOUGH_MEMORY;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
      return WSANO_DATA;
#endif
    default:
      return WSANO_RECOVERY;
  }
}

hostent* Fill(HostEntry* result) {
  result->address_list.clear();
  for (in_addr& address : result->addresses)
    result->address_list.push_back(reinterpret_cast<char*>(&address));
  result->address_list.push_back(nullptr);
  result->entry.h_name = result->name.data();
  result->entry.h_aliases = result->no_aliases;
  result->entry.h_addrtype = AF_INET;
  result->entry.h_length = sizeof(in_addr);
  result->entry.h_addr_list = result->address_list.data();
  WSASetLastError(0);
  return &result->entry;
}

}  // namespace

int WSAGetLastError() {
  return static_cast<int>(GetLastError());
}

void WSASetLastError(int error) {
  SetLastError(static_cast<DWORD>(error));
}

extern "C" struct hostent* gethostbyname(const char* name) noexcept {
  if (!name) {
    WSASetLastError(WSAEFAULT);
    return nullptr;
  }
  thread_local HostEntry result;
  result.addresses.clear();
  in_addr dotted{};
  if (inet_aton(name, &dotted)) {
    // Dotted text needs no resolver (and must never cause a query).
    result.name = name;
    result.addresses.push_back(dotted);
    return Fill(&result);
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* found = nullptr;
  int rc = getaddrinfo(name, nullptr, &hints, &found);
  if (rc != 0) {
    WSASetLastError(WsaErrorFromResolver(rc));
    return nullptr;
  }
  result.name = found->ai_canonname ? found->ai_canonname : name;
  for (addrinfo* it = found; it; it = it->ai_next) {
    if (it->ai_family != AF_INET || !it->ai_addr)
      continue;
    in_addr address = reinterpret_cast<sockaddr_in*>(it->ai_addr)->sin_addr;
    bool seen = false;
    for (const in_addr& known : result.addresses)
      seen = seen || known.s_addr == address.s_addr;
    if (!seen)
      result.addresses.push_back(address);
  }
  freeaddrinfo(found);
  if (result.addresses.empty()) {
    WSASetLastError(WSANO_DATA);
    return nullptr;
  }
  return Fill(&result);
}
