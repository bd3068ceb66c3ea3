#include "win32/icmp.h"

#include <arpa/inet.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "gtest/gtest.h"
#include "win32/last_error.h"

namespace {

IPAddr Address(const char* dotted) {
  return inet_addr(dotted);
}

// A 64-byte request with a 92-byte reply buffer, as the node prober sends it.
struct Echo {
  DWORD count = 0;
  DWORD error = 0;
  ICMP_ECHO_REPLY reply{};
  std::vector<uint8_t> buffer;
};

Echo SendTo(HANDLE icmp, IPAddr source, IPAddr destination, DWORD timeout, DWORD reply_size) {
  uint8_t request[64];
  for (size_t i = 0; i < sizeof(request); ++i)
    request[i] = static_cast<uint8_t>('a' + i % 26);
  Echo echo;
  echo.buffer.assign(reply_size, 0);
  SetLastError(0);
  if (source) {
    echo.count = IcmpSendEcho2Ex(icmp, nullptr, nullptr, nullptr, source, destination, request,
                                 sizeof(request), nullptr, echo.buffer.data(), reply_size, timeout);
  } else {
    echo.count = IcmpSendEcho(icmp, destination, request, sizeof(request), nullptr,
                              echo.buffer.data(), reply_size, timeout);
  }
  echo.error = GetLastError();
  if (reply_size >= sizeof(ICMP_ECHO_REPLY))
    memcpy(&echo.reply, echo.buffer.data(), sizeof(echo.reply));
  return echo;
}

TEST(IcmpTest, LoopbackEchoIsAnswered) {
  HANDLE icmp = IcmpCreateFile();
  ASSERT_NE(INVALID_HANDLE_VALUE, icmp) << GetLastError();
  struct Case {
    const char* source;
    DWORD reply_size;
    USHORT expected_data;
  } cases[] = {
      {nullptr, 92, 92 - sizeof(ICMP_ECHO_REPLY)},  // data cut to the buffer
      {nullptr, 200, 64},
      {"127.0.0.1", 92, 92 - sizeof(ICMP_ECHO_REPLY)},
      {nullptr, 200, 64},  // back to any source after a bound send
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply_size);
    Echo echo =
        SendTo(icmp, c.source ? Address(c.source) : 0, Address("127.0.0.1"), 200, c.reply_size);
    ASSERT_EQ(1u, echo.count) << echo.error;
    EXPECT_EQ(static_cast<ULONG>(IP_SUCCESS), echo.reply.Status);
    EXPECT_EQ(Address("127.0.0.1"), echo.reply.Address);
    EXPECT_LT(echo.reply.RoundTripTime, 200u);
    EXPECT_EQ(c.expected_data, echo.reply.DataSize);
    ASSERT_EQ(echo.buffer.data() + sizeof(ICMP_ECHO_REPLY), echo.reply.Data);
    EXPECT_EQ(0, memcmp("abcdefghij", echo.buffer.data() + sizeof(ICMP_ECHO_REPLY), 10));
    EXPECT_GT(echo.reply.Options.Ttl, 0);
  }
  EXPECT_TRUE(IcmpCloseHandle(icmp));
}

TEST(IcmpTest, BadCallsFailWithClearErrors) {
  HANDLE icmp = IcmpCreateFile();
  ASSERT_NE(INVALID_HANDLE_VALUE, icmp);
  Echo small = SendTo(icmp, 0, Address("127.0.0.1"), 200, sizeof(ICMP_ECHO_REPLY) - 1);
  EXPECT_EQ(0u, small.count);
  EXPECT_EQ(static_cast<DWORD>(IP_BUF_TOO_SMALL), small.error);

  // A source address the host does not have cannot be bound; nothing is sent.
  Echo foreign = SendTo(icmp, Address("203.0.113.9"), Address("127.0.0.1"), 200, 200);
  EXPECT_EQ(0u, foreign.count);
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), foreign.error);

  char buffer[200];
  int event_marker = 0;
  EXPECT_EQ(0u, IcmpSendEcho2Ex(icmp, &event_marker, nullptr, nullptr, 0, Address("127.0.0.1"),
                                nullptr, 0, nullptr, buffer, sizeof(buffer), 200));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError());

  EXPECT_TRUE(IcmpCloseHandle(icmp));
  EXPECT_FALSE(IcmpCloseHandle(icmp));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  Echo closed = SendTo(icmp, 0, Address("127.0.0.1"), 200, 200);
  EXPECT_EQ(0u, closed.count);
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), closed.error);
}

// Runs |body| in a forked child inside a network namespace of its own, with a
// device that swallows 198.51.100.0/24, so nothing leaves the machine.
// Returns the child's exit code, or -1 when namespaces are refused.
int RunInPrivateNetwork(int (*body)()) {
  pid_t child = fork();
  if (child == 0) {
    if (unshare(CLONE_NEWNET) != 0)
      _exit(100);
    if (system("ip link set lo up && "
               "{ ip link add d0 type dummy 2>/dev/null || ip tuntap add d0 mode tun; } && "
               "ip addr add 198.51.100.1/24 dev d0 && ip link set d0 up && "
               "sysctl -q -w net.ipv4.ping_group_range='0 2147483647'") != 0) {
      _exit(100);
    }
    _exit(body());
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) == 100)
    return -1;
  return WEXITSTATUS(status);
}

// In the child: a loopback echo is answered and a silent address times out
// after the full 200 ms.
int LoopbackAnsweredSilentTimedOut() {
  HANDLE icmp = IcmpCreateFile();
  if (icmp == INVALID_HANDLE_VALUE)
    return 1;
  Echo answered = SendTo(icmp, 0, Address("127.0.0.1"), 200, 92);
  if (answered.count != 1 || answered.reply.Status != IP_SUCCESS)
    return 2;
  auto start = std::chrono::steady_clock::now();
  Echo echo = SendTo(icmp, 0, Address("198.51.100.2"), 200, 92);
  auto waited = std::chrono::steady_clock::now() - start;
  IcmpCloseHandle(icmp);
  if (echo.count != 0)
    return 3;
  if (echo.error != IP_REQ_TIMED_OUT)
    return 4;
  if (waited < std::chrono::milliseconds(200))
    return 5;
  return 0;
}

TEST(IcmpTest, SilentAddressTimesOutOnBothSocketKinds) {
  for (bool datagram : {false, true}) {
    SCOPED_TRACE(datagram ? "ping socket" : "raw socket");
    IcmpPreferDatagramSocketsForTesting(datagram);
    int result = RunInPrivateNetwork(&LoopbackAnsweredSilentTimedOut);
    IcmpPreferDatagramSocketsForTesting(false);
    if (result == -1)
      GTEST_SKIP() << "no private network namespace here";
    EXPECT_EQ(0, result);
  }
}

}  // namespace
