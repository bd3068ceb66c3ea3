#include "client/engine/prober.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "win32/icmp.h"
#include "win32/last_error.h"
#include "win32/winsock.h"

namespace {

constexpr int kAttempts = 3;
constexpr DWORD kTimeoutMs = 200;
constexpr DWORD kReplySize = 92;
constexpr WORD kRequestSize = 64;
constexpr int kAllocFailed = 200;

int ProbeOnce(HANDLE icmp, const std::string& address, const std::string& source) {
  void* reply = calloc(1, kReplySize);
  if (!reply) {
    printf("alloc icmp Reply buffer failed \n");
    return kAllocFailed;
  }
  IPAddr destination = 0;
  hostent* host = gethostbyname(address.c_str());
  if (host && host->h_addr_list && host->h_addr_list[0]) {
    memcpy(&destination, host->h_addr_list[0], sizeof(destination));
  } else {
    printf("get dest addresss by name %s failed error number %lu \n", address.c_str(),
           static_cast<unsigned long>(WSAGetLastError()));
    destination = inet_addr(address.c_str());
  }
  char request[kRequestSize];
  memset(request, 'E', sizeof(request));
  DWORD count;
  if (source.empty()) {
    count = IcmpSendEcho(icmp, destination, request, kRequestSize, nullptr, reply, kReplySize,
                         kTimeoutMs);
  } else {
    count = IcmpSendEcho2Ex(icmp, nullptr, nullptr, nullptr, inet_addr(source.c_str()), destination,
                            request, kRequestSize, nullptr, reply, kReplySize, kTimeoutMs);
  }
  DWORD error = GetLastError();
  int result = kProbeFailed;
  const auto* echo = static_cast<const ICMP_ECHO_REPLY*>(reply);
  // An ICMP error (unreachable, TTL expired) also comes back as a reply; its
  // round-trip time says nothing about the node.
  if (count != 0 && echo->Status == IP_SUCCESS) {
    result = static_cast<int>(echo->RoundTripTime);
  } else {
    if (count != 0)
      error = echo->Status;
    printf("send icmp failed status %lu dest address %s error code %lu \n",
           static_cast<unsigned long>(count), address.c_str(), static_cast<unsigned long>(error));
  }
  free(reply);
  return result;
}

}  // namespace

int Probe(const std::string& address, const std::string& source) {
  HANDLE icmp = IcmpCreateFile();
  if (icmp == INVALID_HANDLE_VALUE) {
    printf("create Icmp handle failed \n");
    return kProbeFailed;
  }
  int result = kProbeFailed;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    result = ProbeOnce(icmp, address, source);
    if (result != kProbeFailed)
      break;
  }
  if (!IcmpCloseHandle(icmp))
    printf("close icmp handle failed \n");
  return result;
}
