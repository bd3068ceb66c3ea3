// tapinstall.exe: installs, removes and reports the TAP adapter entry of the
// machine store, with the device console's output and exit codes.
//   tapinstall install <inf> tap0901   add the adapter (exit 0, also when it
//                                      was there already: then it is kept)
//   tapinstall remove tap0901          remove every tap0901 adapter (exit 0,
//                                      also when none was there)
//   tapinstall status tap0901          list the adapter and its state (exit 0;
//                                      "No matching devices found." when none)
//   tapinstall hwids tap0901 / find tap0901   the same listing
// Exit 2 when the machine store fails, 3 for a malformed command line.
#ifndef TOOLS_TAPINSTALL_TAPINSTALL_COMMAND_H_
#define TOOLS_TAPINSTALL_TAPINSTALL_COMMAND_H_

#include <string>
#include <vector>

namespace tools {

// |args| without the program name; the text for the standard output goes to
// |out|. Returns the exit code.
int RunTapInstallCommand(const std::vector<std::string>& args, std::string* out);

}  // namespace tools

#endif  // TOOLS_TAPINSTALL_TAPINSTALL_COMMAND_H_
