#include <cstdio>
#include <string>
#include <vector>

#include "tools/tapinstall/tapinstall_command.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string out;
  int code = tools::RunTapInstallCommand(args, &out);
  fwrite(out.data(), 1, out.size(), stdout);
  return code;
}
