// tern-machine: the administrator's view of the emulated machine, for demos
// and tests. It writes the store directly, below the service manager:
//   tern-machine services
//       lists every service with state, start type, behaviour and wait hint
//   tern-machine service NAME [display=TEXT] [state=running|stopped]
//                [start=auto|demand|disabled] [behaviour=atonce|wait|fail|missing]
//                [hint=MILLISECONDS]
//       creates or changes a service; "behaviour" says what a start does:
//       run at once, stay START_PENDING for the wait hint, fail, or act as if
//       the service did not exist
//   tern-machine rules      lists the firewall rules
//   tern-machine effects    lists what the tools did (net, netsh, ipconfig)
//   tern-machine restarts   lists the restart requests (ExitWindowsEx)
// Exit codes: 0 success, 1 a store failure, 2 bad input.
#ifndef TOOLS_TERN_MACHINE_MACHINE_ADMIN_COMMAND_H_
#define TOOLS_TERN_MACHINE_MACHINE_ADMIN_COMMAND_H_

#include <string>
#include <vector>

namespace tools {

int RunMachineAdminCommand(const std::vector<std::string>& args, std::string* out);

}  // namespace tools

#endif  // TOOLS_TERN_MACHINE_MACHINE_ADMIN_COMMAND_H_
