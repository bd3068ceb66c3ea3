#include "tools/route/route_command.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <memory>
#include <string>

#include "base/program_directory_for_testing.h"
#include "gtest/gtest.h"
#include "machine/store.h"

namespace {

class RouteToolTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/route_tool_test.XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    root_ = pattern;
    setenv("TERN_MACHINE_ROOT", root_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("TERN_MACHINE_ROOT");
    std::filesystem::remove_all(root_);
  }

  // Runs the real route.exe from the program directory.
  int Run(const std::string& arguments, std::string* out) {
    return base::RunProgramForTesting("route.exe " + arguments, out);
  }

  std::string root_;
};

TEST_F(RouteToolTest, CommandsActOnTheMachineRouteTable) {
  struct Case {
    const char* arguments;
    int exit_code;
    const char* output;
  } cases[] = {
      {"ROUTE ADD 10.1.2.3 MASK 255.255.255.255 192.168.1.1 METRIC 2 ", 0, " OK!"},
      {"ADD 10.1.2.3 MASK 255.255.255.255 192.168.1.1 METRIC 2", 1, "already exists"},
      {"route delete 10.1.2.3", 0, " OK!"},
      {"ROUTE DELETE 10.1.2.3", 1, "Element not found"},
      {"-p Add 10.9.9.9 mask 255.255.255.255 172.16.0.1 metric 7", 0, " OK!"},
      {"ADD 10.1.0.0 MASK 255.255.0.0 192.168.1.1 IF 3", 0, " OK!"},
      {"ADD 10.1.2.3 MASK 255.255.0.0 192.168.1.1", 2, "(Destination & Mask) != Destination"},
      {"ADD 10.1.0.0 MASK 255.0.255.0 192.168.1.1", 2, "bad mask 255.0.255.0"},
      {"ADD node.example MASK 255.255.255.255 192.168.1.1", 2, "bad destination address"},
      {"ADD 10.2.0.0 MASK 255.255.0.0 192.168.1", 2, "bad gateway address"},
      {"ADD 1.2.3.4 MASK 255.255.255.255 1.1.1.1 METRIC 0", 2, "bad metric value 0"},
      {"ADD 1.2.3.4 MASK 255.255.255.255 1.1.1.1 METRIC", 2, "bad argument METRIC"},
      {"ADD 1.2.3.4 255.255.255.255 1.1.1.1", 2, "MASK missing"},
      {"DELETE 10.1.0.0 MASK 255.255.0.0 192.168.1.1 extra", 2, "bad argument extra"},
      {"", 2, "Manipulates network routing tables."},
      {"FLY 1.2.3.4", 2, "bad command FLY"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    std::string out;
    std::vector<std::string> args;
    std::string word;
    for (char ch : std::string(c.arguments) + " ") {
      if (ch == ' ') {
        if (!word.empty())
          args.push_back(word);
        word.clear();
      } else {
        word += ch;
      }
    }
    if (!args.empty() && (args[0] == "ROUTE" || args[0] == "route"))
      args.erase(args.begin());
    EXPECT_EQ(c.exit_code, tools::RunRouteCommand(args, &out));
    EXPECT_NE(std::string::npos, out.find(c.output)) << out;
  }
  std::unique_ptr<machine::Store> store;
  ASSERT_EQ(machine::Status::kOk, machine::Store::Open(&store));
  std::vector<machine::RouteRecord> routes;
  ASSERT_EQ(machine::Status::kOk, store->ListRoutes(&routes));
  ASSERT_EQ(2u, routes.size());
  EXPECT_EQ("10.9.9.9", routes[0].destination);
  EXPECT_EQ("255.255.255.255", routes[0].mask);
  EXPECT_EQ("172.16.0.1", routes[0].gateway);
  EXPECT_EQ(7, routes[0].metric);
  EXPECT_EQ("10.1.0.0", routes[1].destination);
}

TEST_F(RouteToolTest, TheProgramPrintsAndExitsLikeTheCommand) {
  std::string out;
  EXPECT_EQ(0, Run("ADD 10.4.4.4 MASK 255.255.255.255 192.168.1.1 METRIC 2", &out));
  EXPECT_EQ(" OK!\n", out);
  out.clear();
  EXPECT_EQ(0, Run("print", &out));
  EXPECT_NE(std::string::npos,
            out.find("         10.4.4.4  255.255.255.255      192.168.1.1        On-link      2\n"))
      << out;
  out.clear();
  EXPECT_EQ(2, Run("ADD 10.4.4.4", &out));
  EXPECT_NE(std::string::npos, out.find("MASK missing")) << out;
}

}  // namespace
