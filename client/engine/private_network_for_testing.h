// Runs code in a forked child inside a network namespace of its own, where
// 198.51.100.0/24 sits on a device that swallows every packet: addresses there
// never answer, and nothing leaves the machine. Header-only, for tests and
// benchmarks.
#ifndef CLIENT_ENGINE_PRIVATE_NETWORK_FOR_TESTING_H_
#define CLIENT_ENGINE_PRIVATE_NETWORK_FOR_TESTING_H_

#include <sched.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

// A silent address inside the private network.
constexpr char kSilentAddressForTesting[] = "198.51.100.2";

// Returns the child's exit code (|body|'s result), or -1 when network
// namespaces are refused here.
inline int RunInPrivateNetworkForTesting(const std::function<int()>& body) {
  fflush(stdout);
  pid_t child = fork();
  if (child == 0) {
    if (unshare(CLONE_NEWNET) != 0)
      _exit(100);
    // A dummy device where the kernel has one, a tun device without a reader
    // otherwise: both drop what is sent to them.
    if (system("ip link set lo up && "
               "{ ip link add d0 type dummy 2>/dev/null || ip tuntap add d0 mode tun; } && "
               "ip addr add 198.51.100.1/24 dev d0 && ip link set d0 up") != 0) {
      _exit(100);
    }
    int result = body();
    fflush(stdout);
    _exit(result);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child)
    return -1;
  if (!WIFEXITED(status) || WEXITSTATUS(status) == 100)
    return WIFEXITED(status) ? -1 : 99;
  return WEXITSTATUS(status);
}

#endif  // CLIENT_ENGINE_PRIVATE_NETWORK_FOR_TESTING_H_
