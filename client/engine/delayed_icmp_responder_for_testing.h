// Nodes that answer late, for tests and benchmarks inside the private
// network of private_network_for_testing.h: a TUN device whose reader
// answers ICMP echo requests to chosen addresses after a set delay and
// drops everything else. The kernel here has no netem, so this is how a
// slow node is made. Header-only; needs CAP_NET_ADMIN (the private network
// has it).
#ifndef CLIENT_ENGINE_DELAYED_ICMP_RESPONDER_FOR_TESTING_H_
#define CLIENT_ENGINE_DELAYED_ICMP_RESPONDER_FOR_TESTING_H_

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

class DelayedIcmpResponderForTesting {
 public:
  DelayedIcmpResponderForTesting() = default;
  DelayedIcmpResponderForTesting(const DelayedIcmpResponderForTesting&) = delete;
  DelayedIcmpResponderForTesting& operator=(const DelayedIcmpResponderForTesting&) = delete;
  ~DelayedIcmpResponderForTesting() {
    if (stop_fd_ >= 0) {
      uint64_t one = 1;
      (void)!write(stop_fd_, &one, sizeof(one));
    }
    if (thread_.joinable())
      thread_.join();
    if (tun_fd_ >= 0)
      close(tun_fd_);
    if (stop_fd_ >= 0)
      close(stop_fd_);
  }

  // Makes the device |name| with the local address |local| ("a.b.c.d/n")
  // and answers echo requests to each address of |delays_ms| after its
  // delay. False when the device cannot be made.
  bool Start(const std::string& name,
             const std::string& local,
             const std::map<std::string, int>& delays_ms) {
    for (const auto& [address, delay] : delays_ms) {
      in_addr a{};
      if (inet_pton(AF_INET, address.c_str(), &a) != 1)
        return false;
      delays_[a.s_addr] = delay;
    }
    tun_fd_ = open("/dev/net/tun", O_RDWR | O_CLOEXEC);
    if (tun_fd_ < 0)
      return false;
    ifreq request{};
    request.ifr_flags = IFF_TUN | IFF_NO_PI;
    strncpy(request.ifr_name, name.c_str(), IFNAMSIZ - 1);
    if (ioctl(tun_fd_, TUNSETIFF, &request) != 0)
      return false;
    std::string command =
        "ip addr add " + local + " dev " + name + " && ip link set " + name + " up";
    if (system(command.c_str()) != 0)
      return false;
    stop_fd_ = eventfd(0, EFD_CLOEXEC);
    if (stop_fd_ < 0)
      return false;
    thread_ = std::thread([this] { Run(); });
    return true;
  }

 private:
  using Clock = std::chrono::steady_clock;
  struct Pending {
    Clock::time_point due;
    std::vector<unsigned char> packet;
  };

  static uint16_t Checksum(const unsigned char* data, size_t size) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2)
      sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
    if (size % 2)
      sum += static_cast<uint32_t>(data[size - 1] << 8);
    while (sum >> 16)
      sum = (sum & 0xFFFF) + (sum >> 16);
    return htons(static_cast<uint16_t>(~sum));
  }

  // The echo reply to |packet|, or nothing when it is not an echo request
  // to an answering address.
  bool MakeReply(const unsigned char* packet, size_t size, Pending* reply) {
    if (size < sizeof(iphdr) + 8)
      return false;
    iphdr ip;
    memcpy(&ip, packet, sizeof(ip));
    size_t header = ip.ihl * 4u;
    if (ip.version != 4 || ip.protocol != IPPROTO_ICMP || size < header + 8 ||
        packet[header] != ICMP_ECHO) {
      return false;
    }
    auto delay = delays_.find(ip.daddr);
    if (delay == delays_.end())
      return false;
    reply->packet.assign(packet, packet + size);
    unsigned char* out = reply->packet.data();
    iphdr answer = ip;
    answer.saddr = ip.daddr;
    answer.daddr = ip.saddr;
    answer.ttl = 64;
    answer.check = 0;
    memcpy(out, &answer, sizeof(answer));
    uint16_t ip_sum = Checksum(out, header);
    memcpy(out + offsetof(iphdr, check), &ip_sum, sizeof(ip_sum));
    out[header] = ICMP_ECHOREPLY;
    out[header + 2] = out[header + 3] = 0;
    uint16_t icmp_sum = Checksum(out + header, size - header);
    memcpy(out + header + 2, &icmp_sum, sizeof(icmp_sum));
    reply->due = Clock::now() + std::chrono::milliseconds(delay->second);
    return true;
  }

  void Run() {
    std::vector<Pending> pending;
    unsigned char packet[65536];
    while (true) {
      int timeout = -1;
      if (!pending.empty()) {
        auto next =
            std::min_element(pending.begin(), pending.end(),
                             [](const Pending& a, const Pending& b) { return a.due < b.due; });
        auto left = std::chrono::ceil<std::chrono::milliseconds>(next->due - Clock::now()).count();
        timeout = static_cast<int>(std::max<int64_t>(left, 0));
      }
      pollfd fds[2] = {{tun_fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
      if (poll(fds, 2, timeout) < 0)
        continue;
      if (fds[1].revents)
        return;
      if (fds[0].revents & POLLIN) {
        ssize_t n = read(tun_fd_, packet, sizeof(packet));
        Pending reply;
        if (n > 0 && MakeReply(packet, static_cast<size_t>(n), &reply))
          pending.push_back(std::move(reply));
      }
      auto now = Clock::now();
      for (auto it = pending.begin(); it != pending.end();) {
        if (it->due <= now) {
          (void)!write(tun_fd_, it->packet.data(), it->packet.size());
          it = pending.erase(it);
        } else {
          ++it;
        }
      }
    }
  }

  std::map<uint32_t, int> delays_;  // by address in network order
  int tun_fd_ = -1;
  int stop_fd_ = -1;
  std::thread thread_;
};

#endif  // CLIENT_ENGINE_DELAYED_ICMP_RESPONDER_FOR_TESTING_H_
