// The netsh.exe command line, for the network-repair contexts a client uses:
//   NETSH INT[ERFACE] IP[V4] RESET [logfile]   TCP/IP reset (takes effect at restart)
//   NETSH WINHTTP RESET PROXY                  direct access, no proxy
//   NETSH WINHTTP SET PROXY server [bypass]    sets the WinHTTP proxy
//   NETSH WINHTTP SHOW PROXY                   shows it
// Each change is recorded in the machine store (effects log, counters
// "ip_reset" and "winhttp_proxy_reset", settings "winhttp_proxy" and
// "winhttp_proxy_bypass"). Words are matched without regard to case. Exit
// codes: 0 success, 1 unknown command or a failed change.
#ifndef TOOLS_NETSH_NETSH_COMMAND_H_
#define TOOLS_NETSH_NETSH_COMMAND_H_

#include <string>
#include <vector>

namespace tools {

// Runs one netsh command; what it prints goes to |out|.
int RunNetshCommand(const std::vector<std::string>& args, std::string* out);

}  // namespace tools

#endif  // TOOLS_NETSH_NETSH_COMMAND_H_
