// The route.exe command line, acting on the machine store's route table:
//   ROUTE [-p] ADD destination MASK netmask gateway [METRIC n] [IF n]
//   ROUTE DELETE destination [MASK netmask] [gateway]
//   ROUTE PRINT
// Words are matched without regard to case.
#ifndef TOOLS_ROUTE_ROUTE_COMMAND_H_
#define TOOLS_ROUTE_ROUTE_COMMAND_H_

#include <string>
#include <vector>

namespace tools {

// Runs one route command; what it prints goes to |out|. Returns the exit
// code: 0 on success, 1 when the route table refused the change, 2 on bad
// input.
int RunRouteCommand(const std::vector<std::string>& args, std::string* out);

}  // namespace tools

#endif  // TOOLS_ROUTE_ROUTE_COMMAND_H_
