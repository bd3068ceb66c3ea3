// The ipconfig.exe command line, for what a client uses:
//   IPCONFIG /FLUSHDNS   empties the DNS resolver cache (counted in the machine
//                        store as "dns_flush", with a line in its effects log)
//   IPCONFIG /?          usage
// Options start with "/" or "-" and are matched without regard to case.
// Exit codes: 0 success, 1 bad command line or a failed change.
#ifndef TOOLS_IPCONFIG_IPCONFIG_COMMAND_H_
#define TOOLS_IPCONFIG_IPCONFIG_COMMAND_H_

#include <string>
#include <vector>

namespace tools {

// Runs one ipconfig command; what it prints goes to |out|.
int RunIpconfigCommand(const std::vector<std::string>& args, std::string* out);

}  // namespace tools

#endif  // TOOLS_IPCONFIG_IPCONFIG_COMMAND_H_
