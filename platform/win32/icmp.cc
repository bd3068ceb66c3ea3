#include "win32/icmp.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "win32/last_error.h"

namespace {

constexpr uint8_t kEchoReply = 0;
constexpr uint8_t kDestUnreachable = 3;
constexpr uint8_t kSourceQuench = 4;
constexpr uint8_t kRedirect = 5;
constexpr uint8_t kEchoRequest = 8;
constexpr uint8_t kTimeExceeded = 11;
constexpr uint8_t kParameterProblem = 12;
constexpr size_t kIcmpHeaderSize = 8;

struct IcmpSocket {
  ~IcmpSocket() {
    if (fd >= 0)
      close(fd);
  }
  int fd = -1;
  bool raw = false;
  uint16_t id = 0;
  uint16_t next_sequence = 1;
  IPAddr source = 0;  // address the socket is bound to, 0 = any
  std::mutex mutex;   // one echo at a time per handle
};

// Live handles. A send holds a reference, so closing a handle while another
// thread still sends on it cannot free the socket under that send.
std::mutex g_handles_lock;
std::map<HANDLE, std::shared_ptr<IcmpSocket>>& Handles() {
  static auto* handles = new std::map<HANDLE, std::shared_ptr<IcmpSocket>>();
  return *handles;
}

std::shared_ptr<IcmpSocket> Lookup(HANDLE handle) {
  std::lock_guard<std::mutex> lock(g_handles_lock);
  auto it = Handles().find(handle);
  return it == Handles().end() ? nullptr : it->second;
}

uint16_t NextIdentifier() {
  static std::atomic<uint16_t> counter{static_cast<uint16_t>(getpid() * 251)};
  return counter.fetch_add(1, std::memory_order_relaxed);
}

std::atomic<bool> g_prefer_datagram{false};

// Raw sockets need CAP_NET_RAW; ping sockets need the group to be inside
// net.ipv4.ping_group_range.
int OpenSocket(bool* raw) {
  int fd = -1;
  if (!g_prefer_datagram.load()) {
    fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd >= 0) {
      *raw = true;
      return fd;
    }
  }
  fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd >= 0) {
    *raw = false;
    int on = 1;
    setsockopt(fd, IPPROTO_IP, IP_RECVTTL, &on, sizeof(on));
    setsockopt(fd, IPPROTO_IP, IP_RECVTOS, &on, sizeof(on));
  }
  return fd;
}

uint16_t Checksum(const uint8_t* data, size_t size) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < size; i += 2)
    sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
  if (size % 2)
    sum += static_cast<uint32_t>(data[size - 1] << 8);
  while (sum >> 16)
    sum = (sum & 0xFFFF) + (sum >> 16);
  return htons(static_cast<uint16_t>(~sum & 0xFFFF));
}

DWORD StatusFromSendErrno(int error) {
  switch (error) {
    case ENETUNREACH:
      return IP_DEST_NET_UNREACHABLE;
    case EHOSTUNREACH:
      return IP_DEST_HOST_UNREACHABLE;
    case EMSGSIZE:
      return IP_PACKET_TOO_BIG;
    case ENOBUFS:
    case ENOMEM:
      return IP_NO_RESOURCES;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    default:
      return IP_GENERAL_FAILURE;
  }
}

ULONG StatusFromIcmpError(uint8_t type, uint8_t code) {
  switch (type) {
    case kDestUnreachable:
      switch (code) {
        case 0:
          return IP_DEST_NET_UNREACHABLE;
        case 2:
          return IP_DEST_PROT_UNREACHABLE;
        case 3:
          return IP_DEST_PORT_UNREACHABLE;
        case 4:
          return IP_PACKET_TOO_BIG;
        default:
          return IP_DEST_HOST_UNREACHABLE;
      }
    case kTimeExceeded:
      return code == 0 ? IP_TTL_EXPIRED_TRANSIT : IP_TTL_EXPIRED_REASSEM;
    case kParameterProblem:
      return IP_PARAM_PROBLEM;
    case kSourceQuench:
      return IP_SOURCE_QUENCH;
    default:
      return IP_GENERAL_FAILURE;
  }
}

// What one received datagram turned out to be.
struct Answer {
  bool matches = false;
  ULONG status = IP_SUCCESS;
  IPAddr from = 0;
  const uint8_t* data = nullptr;
  size_t data_size = 0;
  UCHAR ttl = 0;
  UCHAR tos = 0;
};

// |icmp| points at an ICMP message of |size| bytes that came from |from|.
Answer Classify(const uint8_t* icmp,
                size_t size,
                IPAddr from,
                IPAddr destination,
                uint16_t id,
                uint16_t sequence,
                bool check_id) {
  Answer answer;
  if (size < kIcmpHeaderSize)
    return answer;
  auto id_of = [](const uint8_t* h) { return static_cast<uint16_t>(h[4] << 8 | h[5]); };
  auto sequence_of = [](const uint8_t* h) { return static_cast<uint16_t>(h[6] << 8 | h[7]); };
  uint8_t type = icmp[0];
  if (type == kEchoReply) {
    if ((check_id && id_of(icmp) != id) || sequence_of(icmp) != sequence)
      return answer;
    answer.matches = true;
    answer.from = from;
    answer.data = icmp + kIcmpHeaderSize;
    answer.data_size = size - kIcmpHeaderSize;
    return answer;
  }
  if (type != kDestUnreachable && type != kTimeExceeded && type != kParameterProblem &&
      type != kSourceQuench && type != kRedirect) {
    return answer;
  }
  // An error quotes our request: its IP header and the first 8 ICMP bytes.
  const uint8_t* inner = icmp + kIcmpHeaderSize;
  size_t inner_size = size - kIcmpHeaderSize;
  if (inner_size < sizeof(iphdr))
    return answer;
  const iphdr* inner_ip = reinterpret_cast<const iphdr*>(inner);
  size_t inner_header = inner_ip->ihl * 4u;
  if (inner_ip->protocol != IPPROTO_ICMP || inner_header < sizeof(iphdr) ||
      inner_size < inner_header + kIcmpHeaderSize || inner_ip->daddr != destination) {
    return answer;
  }
  const uint8_t* quoted = inner + inner_header;
  if (quoted[0] != kEchoRequest || (check_id && id_of(quoted) != id) ||
      sequence_of(quoted) != sequence) {
    return answer;
  }
  if (type == kRedirect)
    return answer;  // the request still travels on; keep waiting for its reply
  answer.matches = true;
  answer.status = StatusFromIcmpError(type, icmp[1]);
  answer.from = from;
  return answer;
}

// Reads one datagram; returns false when nothing was there.
bool ReceiveOne(IcmpSocket* socket,
                IPAddr destination,
                uint16_t sequence,
                std::vector<uint8_t>* buffer,
                Answer* answer) {
  sockaddr_in from{};
  iovec vector{buffer->data(), buffer->size()};
  alignas(cmsghdr) char control[128];
  msghdr message{};
  message.msg_name = &from;
  message.msg_namelen = sizeof(from);
  message.msg_iov = &vector;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof(control);
  ssize_t got = recvmsg(socket->fd, &message, MSG_DONTWAIT);
  if (got < 0)
    return false;
  const uint8_t* bytes = buffer->data();
  size_t size = std::min(static_cast<size_t>(got), buffer->size());
  if (socket->raw) {
    if (size < sizeof(iphdr))
      return true;
    const iphdr* ip = reinterpret_cast<const iphdr*>(bytes);
    size_t header = ip->ihl * 4u;
    if (ip->protocol != IPPROTO_ICMP || header < sizeof(iphdr) || header > size)
      return true;
    *answer =
        Classify(bytes + header, size - header, ip->saddr, destination, socket->id, sequence, true);
    answer->ttl = ip->ttl;
    answer->tos = ip->tos;
    return true;
  }
  // Ping sockets: the kernel has already matched the identifier.
  *answer = Classify(bytes, size, from.sin_addr.s_addr, destination, 0, sequence, false);
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level != IPPROTO_IP)
      continue;
    if (c->cmsg_type == IP_TTL) {
      int ttl = 0;
      memcpy(&ttl, CMSG_DATA(c), sizeof(ttl));
      answer->ttl = static_cast<UCHAR>(ttl);
    } else if (c->cmsg_type == IP_TOS) {
      answer->tos = *CMSG_DATA(c);
    }
  }
  return true;
}

// Makes the socket send from |source|; a bound socket cannot be rebound, so
// a different source gets a fresh socket.
bool UseSource(IcmpSocket* socket, IPAddr source) {
  if (socket->source == source)
    return true;
  bool raw = false;
  int fd = OpenSocket(&raw);
  if (fd < 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  if (source != 0) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = source;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
      close(fd);
      SetLastError(ERROR_INVALID_PARAMETER);
      return false;
    }
  }
  close(socket->fd);
  socket->fd = fd;
  socket->raw = raw;
  socket->source = source;
  return true;
}

void ApplyOptions(IcmpSocket* socket, const IP_OPTION_INFORMATION* options) {
  int ttl = options && options->Ttl ? options->Ttl : -1;  // -1: the system default
  setsockopt(socket->fd, IPPROTO_IP, IP_TTL, &ttl, sizeof(ttl));
  int tos = options ? options->Tos : 0;
  setsockopt(socket->fd, IPPROTO_IP, IP_TOS, &tos, sizeof(tos));
  if (options && options->OptionsSize && options->OptionsData) {
    setsockopt(socket->fd, IPPROTO_IP, IP_OPTIONS, options->OptionsData, options->OptionsSize);
  } else {
    setsockopt(socket->fd, IPPROTO_IP, IP_OPTIONS, nullptr, 0);
  }
}

DWORD SendEcho(HANDLE handle,
               IPAddr source,
               IPAddr destination,
               const void* request_data,
               WORD request_size,
               const IP_OPTION_INFORMATION* options,
               void* reply_buffer,
               DWORD reply_size,
               DWORD timeout) {
  std::shared_ptr<IcmpSocket> socket = Lookup(handle);
  if (!socket) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (!reply_buffer || (request_size && !request_data)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (reply_size < sizeof(ICMP_ECHO_REPLY)) {
    SetLastError(IP_BUF_TOO_SMALL);
    return 0;
  }
  std::lock_guard<std::mutex> lock(socket->mutex);
  if (!UseSource(socket.get(), source))
    return 0;
  ApplyOptions(socket.get(), options);

  uint16_t sequence = socket->next_sequence++;
  std::vector<uint8_t> packet(kIcmpHeaderSize + request_size);
  packet[0] = kEchoRequest;
  packet[4] = static_cast<uint8_t>(socket->id >> 8);
  packet[5] = static_cast<uint8_t>(socket->id);
  packet[6] = static_cast<uint8_t>(sequence >> 8);
  packet[7] = static_cast<uint8_t>(sequence);
  if (request_size)
    memcpy(packet.data() + kIcmpHeaderSize, request_data, request_size);
  uint16_t checksum = Checksum(packet.data(), packet.size());
  memcpy(packet.data() + 2, &checksum, sizeof(checksum));

  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = destination;
  using Clock = std::chrono::steady_clock;
  Clock::time_point sent = Clock::now();
  if (sendto(socket->fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to),
             sizeof(to)) < 0) {
    SetLastError(StatusFromSendErrno(errno));
    return 0;
  }

  Clock::time_point deadline = sent + std::chrono::milliseconds(timeout);
  std::vector<uint8_t> buffer(65536);
  for (;;) {
    Clock::time_point now = Clock::now();
    if (now >= deadline)
      break;
    // Rounded up, so the full time-out is always waited for.
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    pollfd waiter{socket->fd, POLLIN, 0};
    int ready = poll(&waiter, 1, static_cast<int>(left));
    if (ready == 0 || (ready < 0 && errno == EINTR))
      continue;
    if (ready < 0)
      break;
    Answer answer;
    while (ReceiveOne(socket.get(), destination, sequence, &buffer, &answer)) {
      if (!answer.matches)
        continue;
      auto elapsed =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count();
      auto* reply = static_cast<ICMP_ECHO_REPLY*>(reply_buffer);
      uint8_t* data = static_cast<uint8_t*>(reply_buffer) + sizeof(ICMP_ECHO_REPLY);
      size_t room = reply_size - sizeof(ICMP_ECHO_REPLY);
      size_t copied = std::min({answer.data_size, room, size_t{0xFFFF}});
      if (copied)
        memcpy(data, answer.data, copied);
      reply->Address = answer.from;
      reply->Status = answer.status;
      reply->RoundTripTime = static_cast<ULONG>(elapsed);
      reply->DataSize = static_cast<USHORT>(copied);
      reply->Reserved = 0;
      reply->Data = copied ? data : nullptr;
      reply->Options.Ttl = answer.ttl;
      reply->Options.Tos = answer.tos;
      reply->Options.Flags = 0;
      reply->Options.OptionsSize = 0;
      reply->Options.OptionsData = nullptr;
      SetLastError(answer.status == IP_SUCCESS ? ERROR_SUCCESS : answer.status);
      return 1;
    }
  }
  SetLastError(IP_REQ_TIMED_OUT);
  return 0;
}

}  // namespace

void IcmpPreferDatagramSocketsForTesting(bool prefer) {
  g_prefer_datagram.store(prefer);
}

HANDLE IcmpCreateFile() {
  auto socket = std::make_shared<IcmpSocket>();
  socket->fd = OpenSocket(&socket->raw);
  if (socket->fd < 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  socket->id = NextIdentifier();
  HANDLE handle = socket.get();
  std::lock_guard<std::mutex> lock(g_handles_lock);
  Handles()[handle] = std::move(socket);
  return handle;
}

BOOL IcmpCloseHandle(HANDLE icmp_handle) {
  std::shared_ptr<IcmpSocket> socket;
  {
    std::lock_guard<std::mutex> lock(g_handles_lock);
    auto it = Handles().find(icmp_handle);
    if (it == Handles().end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    socket = std::move(it->second);
    Handles().erase(it);
  }
  return TRUE;
}

DWORD IcmpSendEcho(HANDLE icmp_handle,
                   IPAddr destination,
                   LPVOID request_data,
                   WORD request_size,
                   PIP_OPTION_INFORMATION request_options,
                   LPVOID reply_buffer,
                   DWORD reply_size,
                   DWORD timeout) {
  return SendEcho(icmp_handle, 0, destination, request_data, request_size, request_options,
                  reply_buffer, reply_size, timeout);
}

DWORD IcmpSendEcho2Ex(HANDLE icmp_handle,
                      HANDLE event,
                      PIO_APC_ROUTINE apc_routine,
                      PVOID /*apc_context*/,
                      IPAddr source,
                      IPAddr destination,
                      LPVOID request_data,
                      WORD request_size,
                      PIP_OPTION_INFORMATION request_options,
                      LPVOID reply_buffer,
                      DWORD reply_size,
                      DWORD timeout) {
  if (event || apc_routine) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  return SendEcho(icmp_handle, source, destination, request_data, request_size, request_options,
                  reply_buffer, reply_size, timeout);
}
