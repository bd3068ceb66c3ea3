#include "base/command_line.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(CommandLineTest, PhraseSwitchesAcceptEveryLinuxSpelling) {
  struct Case {
    std::vector<std::string> argv;
    bool debug_check;
    bool debug_log;
  };
  const Case cases[] = {
      {{"rix.exe"}, false, false},
      {{"rix.exe", "--enable-debug-check"}, true, false},
      {{"rix.exe", "enable -debug check"}, true, false},
      {{"rix.exe", "enable", "-debug", "check", "enable", "-debug", "log"}, true, true},
      {{"rix.exe", "ENABLE", "-Debug", "Log"}, false, true},
      {{"rix.exe", "enable", "-debug"}, false, false},
      {{"rix.exe", "enable", "check"}, false, false},
      {{"rix.exe", "--", "enable", "-debug", "check"}, false, false},
      {{"rix.exe", "-enable-debug-log"}, false, true},
  };
  for (const Case& c : cases) {
    CommandLine cl(c.argv);
    EXPECT_EQ(cl.HasSwitch("enable -debug check"), c.debug_check) << cl.GetCommandLineString();
    EXPECT_EQ(cl.HasSwitch("enable -debug log"), c.debug_log) << cl.GetCommandLineString();
  }
}

TEST(CommandLineTest, ValuesArgumentsAndTheProcessLine) {
  const char* argv[] = {"/opt/tern/rix.exe", "--Lang=zh", "plain",         "--flag",
                        "two words",         "--",        "--not-a-switch"};
  CommandLine cl(7, argv);
  EXPECT_EQ(cl.GetProgram(), "/opt/tern/rix.exe");
  EXPECT_EQ(cl.GetSwitchValueASCII("lang"), "zh");
  EXPECT_TRUE(cl.HasSwitch("flag"));
  EXPECT_EQ(cl.GetSwitchValueASCII("flag"), "");
  EXPECT_EQ(cl.GetSwitchValueASCII("absent"), "");
  EXPECT_FALSE(cl.HasSwitch("not-a-switch"));
  EXPECT_EQ(cl.GetArgs(), (std::vector<std::string>{"plain", "two words", "--not-a-switch"}));
  EXPECT_EQ(cl.GetCommandLineString(),
            "/opt/tern/rix.exe --Lang=zh plain --flag \"two words\" -- --not-a-switch");

  CommandLine::Reset();
  EXPECT_EQ(CommandLine::ForCurrentProcess(), nullptr);
  EXPECT_TRUE(CommandLine::Init(2, argv));
  EXPECT_FALSE(CommandLine::Init(1, argv));
  EXPECT_EQ(CommandLine::ForCurrentProcess()->GetSwitchValueASCII("lang"), "zh");
  CommandLine::Reset();
}

}  // namespace
}  // namespace base
