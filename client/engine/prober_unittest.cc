#include "client/engine/prober.h"

#include <chrono>
#include <string>

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

}  // namespace
