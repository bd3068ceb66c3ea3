// The net.exe command line, acting on the service control manager:
//   NET START             lists the started services
//   NET START service     starts a service (key or display name) and waits
//                         while it is start-pending
//   NET STOP service      stops it
// Words are matched without regard to case. Exit codes: 0 success, 1 bad
// syntax, 2 the service manager refused.
#ifndef TOOLS_NET_NET_COMMAND_H_
#define TOOLS_NET_NET_COMMAND_H_

#include <string>
#include <vector>

namespace tools {

// Runs one net command; what it prints goes to |out|.
int RunNetCommand(const std::vector<std::string>& args, std::string* out);

}  // namespace tools

#endif  // TOOLS_NET_NET_COMMAND_H_
