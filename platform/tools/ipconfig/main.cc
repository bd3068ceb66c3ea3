#include <cstdio>
#include <string>
#include <vector>

#include "tools/ipconfig/ipconfig_command.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string out;
  int code = tools::RunIpconfigCommand(args, &out);
  fwrite(out.data(), 1, out.size(), stdout);
  return code;
}
