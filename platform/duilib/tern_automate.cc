// tern-automate: drives a program that serves the automation protocol
// (duilib/automation_protocol.h) from the command line.
//
//   tern-automate [--socket PATH] [--timeout MS] COMMAND [FIELD...]
//   tern-automate [--socket PATH] [--timeout MS] wait CLASS
//
// The socket defaults to $TERN_AUTOMATION. The answer's fields are printed
// one per line ("windows" and "tray" print one line per entry, fields
// separated by TAB). Exit status: 0 ok, 1 error answer, 2 usage or
// connection failure. "wait" asks until a visible window of CLASS exists or
// the timeout (default 10000 ms) passes.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "duilib/automation_protocol.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace automation = DuiLib::automation;

int Connect(const std::string& path, Clock::time_point deadline) {
  sockaddr_un addr = {};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof(addr.sun_path))
    return -1;
  std::strcpy(addr.sun_path, path.c_str());
  for (;;) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
      return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0)
      return fd;
    close(fd);
    // The program may still be starting; try again a little later.
    if (Clock::now() >= deadline)
      return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

bool Ask(int fd, const std::vector<std::string>& request, std::vector<std::string>* answer) {
  std::string line = automation::JoinLine(request) + "\n";
  if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size()))
    return false;
  std::string in;
  char c;
  while (recv(fd, &c, 1, 0) == 1) {
    if (c == '\n') {
      *answer = automation::SplitLine(in);
      return true;
    }
    in += c;
  }
  return false;
}

void Print(const std::string& command, const std::vector<std::string>& answer) {
  size_t group = command == "windows" ? 4 : command == "tray" && answer.size() > 1 ? 3 : 1;
  for (size_t i = 1; i < answer.size(); i += group) {
    for (size_t k = 0; k < group && i + k < answer.size(); ++k)
      std::printf("%s%s", k ? "\t" : "", answer[i + k].c_str());
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string socket_path = std::getenv("TERN_AUTOMATION") ? std::getenv("TERN_AUTOMATION") : "";
  long timeout_ms = 10000;
  int i = 1;
  for (; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--socket" && i + 1 < argc) {
      socket_path = argv[++i];
    } else if (a == "--timeout" && i + 1 < argc) {
      timeout_ms = std::strtol(argv[++i], nullptr, 10);
    } else {
      break;
    }
  }
  if (i >= argc || socket_path.empty()) {
    std::fprintf(stderr,
                 "usage: tern-automate [--socket PATH] [--timeout MS] COMMAND [FIELD...]\n");
    return 2;
  }
  std::vector<std::string> request(argv + i, argv + argc);
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  int fd = Connect(socket_path, deadline);
  if (fd < 0) {
    std::fprintf(stderr, "tern-automate: cannot connect to %s\n", socket_path.c_str());
    return 2;
  }
  std::vector<std::string> answer;
  if (request[0] == "wait") {
    if (request.size() != 2) {
      std::fprintf(stderr, "usage: tern-automate wait CLASS\n");
      return 2;
    }
    for (;;) {
      if (!Ask(fd, {"windows"}, &answer)) {
        std::fprintf(stderr, "tern-automate: connection lost\n");
        return 2;
      }
      for (size_t k = 1; k + 3 < answer.size() + 1 && k + 2 < answer.size(); k += 4) {
        if (answer[k] == request[1] && answer[k + 2] == "1") {
          close(fd);
          return 0;
        }
      }
      if (Clock::now() >= deadline) {
        std::fprintf(stderr, "tern-automate: no visible window %s\n", request[1].c_str());
        return 1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  if (!Ask(fd, request, &answer) || answer.empty()) {
    std::fprintf(stderr, "tern-automate: no answer\n");
    return 2;
  }
  close(fd);
  if (answer[0] != "ok") {
    std::fprintf(stderr, "tern-automate: %s\n", answer.size() > 1 ? answer[1].c_str() : "error");
    return 1;
  }
  Print(request[0], answer);
  return 0;
}
