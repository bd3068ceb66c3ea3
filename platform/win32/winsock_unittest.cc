#include "win32/winsock.h"

#include <sched.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>

#include "gtest/gtest.h"

namespace {

std::string FirstAddress(const hostent* host) {
  in_addr address;
  memcpy(&address, host->h_addr_list[0], sizeof(address));
  return inet_ntoa(address);
}

TEST(WinsockTest, DottedTextResolvesToItself) {
  hostent* host = gethostbyname("198.51.100.7");
  ASSERT_NE(nullptr, host);
  EXPECT_EQ(AF_INET, host->h_addrtype);
  EXPECT_EQ(4, host->h_length);
  EXPECT_EQ("198.51.100.7", FirstAddress(host));
  EXPECT_EQ(nullptr, host->h_addr_list[1]);
  EXPECT_EQ(0, WSAGetLastError());
  EXPECT_EQ(nullptr, gethostbyname(nullptr));
  EXPECT_EQ(WSAEFAULT, WSAGetLastError());
  EXPECT_EQ(INADDR_NONE, inet_addr("not an address"));
  EXPECT_EQ(htonl(0x7F000001), inet_addr("127.0.0.1"));
}

TEST(WinsockTest, EachThreadKeepsItsOwnResult) {
  hostent* mine = gethostbyname("10.0.0.1");
  ASSERT_NE(nullptr, mine);
  std::string theirs;
  std::thread other([&theirs] {
    hostent* host = gethostbyname("10.0.0.2");
    theirs = host ? FirstAddress(host) : "";
  });
  other.join();
  EXPECT_EQ("10.0.0.2", theirs);
  EXPECT_EQ("10.0.0.1", FirstAddress(mine));
}

// A name lookup that fails is tried in a private network namespace, so no
// query can leave the machine.
TEST(WinsockTest, UnresolvableNameSetsTheLastError) {
  pid_t child = fork();
  if (child == 0) {
    if (unshare(CLONE_NEWNET) != 0)
      _exit(100);
    hostent* host = gethostbyname("no-such-node.invalid");
    int error = WSAGetLastError();
    bool known = error == WSAHOST_NOT_FOUND || error == WSATRY_AGAIN || error == WSANO_RECOVERY ||
                 error == WSANO_DATA;
    _exit(host == nullptr && known ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 100)
    GTEST_SKIP() << "no private network namespace here";
  EXPECT_EQ(0, WEXITSTATUS(status));
}

}  // namespace
