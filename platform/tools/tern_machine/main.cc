#include <cstdio>
#include <string>
#include <vector>

#include "tools/tern_machine/machine_admin_command.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string out;
  int code = tools::RunMachineAdminCommand(args, &out);
  fwrite(out.data(), 1, out.size(), code == 0 ? stdout : stderr);
  return code;
}
