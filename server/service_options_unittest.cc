#include "server/service_options.h"

#include <gtest/gtest.h>

namespace tern {
namespace {

TEST(ServiceOptionsTest, ServerOptions) {
  ServiceOptions o;
  std::string error;
  ASSERT_TRUE(ParseServiceOptions(
      {"--listen", "127.0.0.5", "--port", "0", "--data-dir", "/d", "--relay-port", "9000",
       "--pay-after", "3", "--package", "/p.exe", "--dial-interval", "0"},
      &o, &error))
      << error;
  EXPECT_FALSE(o.admin);
  EXPECT_EQ(o.listen, "127.0.0.5");
  EXPECT_EQ(o.port, 0);
  EXPECT_EQ(o.data_dir, "/d");
  EXPECT_EQ(o.relay_port, 9000);
  EXPECT_EQ(o.pay_after, 3);
  EXPECT_EQ(o.package, "/p.exe");
  EXPECT_EQ(o.dial_interval, 0);

  ServiceOptions defaults;
  setenv("XDG_STATE_HOME", "/state", 1);
  ASSERT_TRUE(ParseServiceOptions({}, &defaults, &error));
  EXPECT_EQ(defaults.port, 8443);
  EXPECT_EQ(defaults.listen, "127.0.0.1");
  EXPECT_EQ(defaults.pay_after, -1);
  EXPECT_EQ(defaults.dial_interval, 20);
  EXPECT_EQ(defaults.data_dir, "/state/tern-service");
}

TEST(ServiceOptionsTest, AdminTakesEverythingButTheDataDirectory) {
  ServiceOptions o;
  std::string error;
  ASSERT_TRUE(ParseServiceOptions({"admin", "publish-version", "1.2", "--must", "--data-dir", "/d"},
                                  &o, &error));
  EXPECT_TRUE(o.admin);
  EXPECT_EQ(o.admin_args, (std::vector<std::string>{"publish-version", "1.2", "--must"}));
  EXPECT_EQ(o.data_dir, "/d");
}

TEST(ServiceOptionsTest, Refusals) {
  const std::vector<std::vector<std::string>> cases = {
      {"--port"},
      {"--port", "x"},
      {"--port", "70000"},
      {"--port", "-1"},
      {"--pay-after", ""},
      {"--bogus"},
      {"admin"},
      {"--cert", "c"},
      {"--relay-port", "8x"},
      {"--token-lifetime", "0"},
      {"--dial-interval", "-1"},
      {"--dial-interval", "3601"},
  };
  for (const auto& args : cases) {
    ServiceOptions o;
    std::string error;
    EXPECT_FALSE(ParseServiceOptions(args, &o, &error)) << args[0];
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace tern
