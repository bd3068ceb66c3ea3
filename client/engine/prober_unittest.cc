#include "client/engine/prober.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "client/engine/private_network_for_testing.h"
#include "gtest/gtest.h"

namespace {

int Count(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

TEST(ProberTest, LoopbackAnswersAtOnce) {
  for (const char* source : {"", "127.0.0.1"}) {
    SCOPED_TRACE(source);
    testing::internal::CaptureStdout();
    int delay = Probe("127.0.0.1", source);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_GE(delay, 0);
    EXPECT_LT(delay, 200);
    EXPECT_EQ("", out);
  }
}

// Three time-outs give 5000; a name that does not resolve falls back to its
// text as a dotted address. Both run where nothing can leave the machine.
TEST(ProberTest, SilentAndUnresolvableNodesGive5000) {
  int result = RunInPrivateNetworkForTesting([] {
    testing::internal::CaptureStdout();
    auto start = std::chrono::steady_clock::now();
    int silent = Probe(kSilentAddressForTesting, "");
    auto waited = std::chrono::steady_clock::now() - start;
    int unresolvable = Probe("no-such-node.invalid", "");
    std::string out = testing::internal::GetCapturedStdout();
    if (silent != 5000)
      return 1;
    if (waited < std::chrono::milliseconds(600))
      return 2;
    if (Count(out, "send icmp failed status 0 dest address 198.51.100.2 error code 11010 \n") != 3)
      return 3;
    if (unresolvable != 5000)
      return 4;
    if (Count(out, "get dest addresss by name no-such-node.invalid failed error number ") != 3)
      return 5;
    if (Count(out, "send icmp failed status 0 dest address no-such-node.invalid error code ") != 3)
      return 6;
    return 0;
  });
  if (result == -1)
    GTEST_SKIP() << "no private network namespace here";
  EXPECT_EQ(0, result);
}

// A node behind a tun device inside the private network: the test reads each
// echo request sent to kNode and decides what comes back.
class TunNode {
 public:
  enum class Behaviour { kHostUnreachable, kAnswerThirdAttempt };
  static constexpr char kNode[] = "198.51.101.2";

  // False when the device cannot be made.
  bool Start(Behaviour behaviour) {
    behaviour_ = behaviour;
    fd_ = open("/dev/net/tun", O_RDWR | O_CLOEXEC);
    if (fd_ < 0)
      return false;
    ifreq request{};
    request.ifr_flags = IFF_TUN | IFF_NO_PI;
    strncpy(request.ifr_name, "t1", IFNAMSIZ - 1);
    if (ioctl(fd_, TUNSETIFF, &request) != 0 ||
        system("ip addr add 198.51.101.1/24 dev t1 && ip link set t1 up") != 0) {
      return false;
    }
    thread_ = std::thread([this] { Serve(); });
    return true;
  }
  ~TunNode() {
    stop_ = true;
    if (thread_.joinable())
      thread_.join();
    if (fd_ >= 0)
      close(fd_);
  }
  int requests() const { return requests_; }

 private:
  static uint16_t Checksum(const uint8_t* data, size_t size) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2)
      sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
    if (size % 2)
      sum += static_cast<uint32_t>(data[size - 1] << 8);
    while (sum >> 16)
      sum = (sum & 0xFFFF) + (sum >> 16);
    return htons(static_cast<uint16_t>(~sum));
  }

  // An IPv4 packet from |from| to |to| carrying |icmp|.
  void Send(in_addr_t from, in_addr_t to, std::vector<uint8_t> icmp) {
    uint16_t icmp_sum = Checksum(icmp.data(), icmp.size());
    memcpy(&icmp[2], &icmp_sum, 2);
    std::vector<uint8_t> packet(sizeof(iphdr) + icmp.size());
    auto* ip = reinterpret_cast<iphdr*>(packet.data());
    ip->version = 4;
    ip->ihl = 5;
    ip->tot_len = htons(static_cast<uint16_t>(packet.size()));
    ip->ttl = 64;
    ip->protocol = IPPROTO_ICMP;
    ip->saddr = from;
    ip->daddr = to;
    ip->check = Checksum(packet.data(), sizeof(iphdr));
    memcpy(packet.data() + sizeof(iphdr), icmp.data(), icmp.size());
    (void)!write(fd_, packet.data(), packet.size());
  }

  void Serve() {
    std::vector<uint8_t> buffer(65536);
    while (!stop_) {
      pollfd waiter{fd_, POLLIN, 0};
      if (poll(&waiter, 1, 50) <= 0)
        continue;
      ssize_t got = read(fd_, buffer.data(), buffer.size());
      if (got < static_cast<ssize_t>(sizeof(iphdr) + 8))
        continue;
      const auto* ip = reinterpret_cast<const iphdr*>(buffer.data());
      size_t header = ip->ihl * 4u;
      uint8_t* icmp = buffer.data() + header;
      if (ip->protocol != IPPROTO_ICMP || ip->daddr != inet_addr(kNode) || icmp[0] != 8)
        continue;
      int request = ++requests_;
      if (behaviour_ == Behaviour::kHostUnreachable) {
        // From a router on the way, quoting the request's header and first
        // eight ICMP bytes.
        std::vector<uint8_t> error = {3, 1, 0, 0, 0, 0, 0, 0};
        error.insert(error.end(), buffer.data(), icmp + 8);
        Send(inet_addr("198.51.101.254"), ip->saddr, error);
      } else if (request == 3) {
        std::vector<uint8_t> reply(icmp, buffer.data() + got);
        reply[0] = 0;
        reply[2] = reply[3] = 0;
        Send(ip->daddr, ip->saddr, reply);
      }
    }
  }

  Behaviour behaviour_ = Behaviour::kHostUnreachable;
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
  std::thread thread_;
};

// An unreachable-host error is an answer, but not the node's: every attempt
// fails and the node gets 5000 rather than the error's round-trip time. A
// node that answers only the third attempt gets that attempt's time.
TEST(ProberTest, ErrorRepliesFailAndTheThirdAttemptCounts) {
  struct Case {
    const char* name;
    TunNode::Behaviour behaviour;
    bool answered;
    const char* failure_line;
    int failures;
  } cases[] = {
      {"ICMP error", TunNode::Behaviour::kHostUnreachable, false,
       "send icmp failed status 1 dest address 198.51.101.2 error code 11003 \n", 3},
      {"third attempt", TunNode::Behaviour::kAnswerThirdAttempt, true,
       "send icmp failed status 0 dest address 198.51.101.2 error code 11010 \n", 2},
  };
  for (const Case& c : cases) {
    int result = RunInPrivateNetworkForTesting([&c] {
      TunNode node;
      if (!node.Start(c.behaviour))
        return 100;
      testing::internal::CaptureStdout();
      int delay = Probe(TunNode::kNode, "");
      std::string out = testing::internal::GetCapturedStdout();
      if (c.answered ? delay < 0 || delay >= 200 : delay != kProbeFailed)
        return 1;
      if (node.requests() != 3)
        return 2;
      if (Count(out, c.failure_line) != c.failures)
        return 3;
      return 0;
    });
    if (result == -1)
      GTEST_SKIP() << "no private network namespace here";
    EXPECT_EQ(0, result) << c.name;
  }
}

}  // namespace
