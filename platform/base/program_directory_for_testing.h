// Lets a test find the programs of the build's program directory whether it
// runs under ctest or on its own. A test target that includes this calls
// tern_test_runs_programs() in its CMakeLists.txt.
#ifndef BASE_PROGRAM_DIRECTORY_FOR_TESTING_H_
#define BASE_PROGRAM_DIRECTORY_FOR_TESTING_H_

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <string>

#ifndef TERN_BUILD_PROGRAM_DIR
#error "the test target needs tern_test_runs_programs()"
#endif

namespace base {

// $TERN_PROGRAM_DIR when set (to test an installed tree), else the program
// directory this test was built with.
inline std::string ProgramDirectoryForTesting() {
  const char* dir = getenv("TERN_PROGRAM_DIR");
  return dir && *dir ? dir : TERN_BUILD_PROGRAM_DIR;
}

// Runs |command_line| through the shell, its first word being a program of
// the program directory; appends both output streams to |out|. Returns the
// exit code, -1 when it did not exit.
inline int RunProgramForTesting(const std::string& command_line, std::string* out) {
  std::string command = ProgramDirectoryForTesting() + "/" + command_line + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe)
    return -1;
  char buffer[512];
  size_t got;
  while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
    out->append(buffer, got);
  int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace base

#endif  // BASE_PROGRAM_DIRECTORY_FOR_TESTING_H_
