#ifndef BASE_COMMAND_LINE_H_
#define BASE_COMMAND_LINE_H_

#include <map>
#include <string>
#include <vector>

namespace base {

// The process command line: a program, switches and plain arguments.
//
// A switch is "--name", "--name=value", "-name" or "-name=value"; names are
// matched without regard to letter case. Everything after "--" is a plain
// argument.
//
// The client's historic switches are phrases with spaces ("enable -debug
// check", "enable -debug log"). A phrase name is written on a Linux command
// line in any of three ways, all equivalent:
//   --enable-debug-check              (the phrase with each run of spaces
//                                      and dashes turned into one '-')
//   "enable -debug check"             (the phrase as one argument)
//   enable -debug check               (the phrase as consecutive arguments)
// HasSwitch("enable -debug check") is true for each of them.
class CommandLine {
 public:
  using StringVector = std::vector<std::string>;

  explicit CommandLine(const StringVector& argv);
  CommandLine(int argc, const char* const* argv);

  // Sets up the process-wide command line; false (and no change) if it was
  // already set up. Call once from main().
  static bool Init(int argc, const char* const* argv);
  // Forgets the process-wide command line (tests).
  static void Reset();
  // Null before Init.
  static CommandLine* ForCurrentProcess();

  bool HasSwitch(const std::string& name) const;
  // Empty when the switch is absent or has no value.
  std::string GetSwitchValueASCII(const std::string& name) const;
  const std::map<std::string, std::string>& GetSwitches() const { return switches_; }

  const std::string& GetProgram() const { return program_; }
  const StringVector& GetArgs() const { return args_; }
  const StringVector& argv() const { return argv_; }
  // The whole line, arguments with spaces in double quotes.
  std::string GetCommandLineString() const;

  void AppendSwitch(const std::string& name);
  void AppendSwitchASCII(const std::string& name, const std::string& value);
  void AppendArg(const std::string& arg);

  // "enable -debug check" -> "enable-debug-check".
  static std::string CanonicalSwitchName(const std::string& name);

 private:
  void Parse();
  bool HasPhrase(const std::string& phrase) const;

  StringVector argv_;
  std::string program_;
  std::map<std::string, std::string> switches_;
  StringVector args_;
};

}  // namespace base

#endif  // BASE_COMMAND_LINE_H_
