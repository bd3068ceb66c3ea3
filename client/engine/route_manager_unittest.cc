#include "client/engine/route_manager.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/logging.h"
#include "base/program_directory_for_testing.h"
#include "base/scoped_temp_dir.h"
#include "gtest/gtest.h"
#include "machine/store.h"

namespace {

RouteEntry Entry(int id, const char* addr, const char* mask, int status, int cidr) {
  RouteEntry entry;
  entry.id = id;
  entry.addr = addr;
  entry.mask = mask;
  entry.status = status;
  entry.app_id = 3;
  entry.cidr = cidr;
  return entry;
}

// Answers syncRouteTable from a table of batches keyed by the asked version,
// and records the version in the configuration the way the service library
// does.
class FakeRouteService : public CServiceBridgeVirtual {
 public:
  struct Answer {
    std::vector<RouteEntry> batch;
    int latest;
    int recorded_version;  // written to config.ini when the batch is not empty
  };
  std::map<int, Answer> answers;
  std::map<std::string, std::string>* config = nullptr;
  std::vector<int> asked;
  std::string timestamp_at_first_request = "unset";

  std::vector<RouteEntry> syncRouteTable(int& newVersion, int currentVersion) override {
    if (asked.empty())
      timestamp_at_first_request = (*config)["route_create_time/timestamp"];
    asked.push_back(currentVersion);
    auto it = answers.find(currentVersion);
    if (it == answers.end())
      return {};
    newVersion = it->second.latest;
    if (!it->second.batch.empty())
      (*config)["route_version/version"] = std::to_string(it->second.recorded_version);
    return it->second.batch;
  }

  RegisterResult registerAccount(std::string, std::string, std::string) override { return {}; }
  LoginResult loginAccount(std::string, std::string, std::string) override { return {}; }
  ResetResult resetPassword(std::string, std::string, std::string) override { return {}; }
  std::vector<NodeInfo> assignNodes(std::string) override { return {}; }
  UpgradeInfo checkUpgrade() override { return {}; }
  MemberInfo getMemberInfo() override { return {}; }
  InterimInfo refreshInterim() override { return {}; }
  CaptchaResult sendCaptcha(std::string) override { return {}; }
  DnsServerInfo pullDnsServer(std::string) override { return {}; }
  WechatOrder createWechatOrder(std::string) override { return {}; }
  int queryPayStatus(std::string) override { return 0; }
  std::map<std::string, GoodsItem> getGoodsInfo() override { return {}; }
  NoticeInfo getNoticePopup() override { return {}; }
  int64_t currentTimeMillis() override { return 0; }
  int setExtraInfo1(const char*) override { return 0; }
  int setExtraInfo2(const char*) override { return 0; }
  void initialize(std::string) override {}
  int setDeviceInfo(const char*) override { return 0; }
  std::string getPublicKey() override { return {}; }
};

// Runs a command line with the real tools of the program directory.
std::string RunTool(const std::string& command_line) {
  std::string word = command_line.substr(0, command_line.find(' '));
  for (char& c : word)
    c = static_cast<char>(tolower(c));
  std::string out;
  base::RunProgramForTesting(word + ".exe" + command_line.substr(word.size()), &out);
  return out;
}

class RouteManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.CreateUniqueTempDir());
    setenv("TERN_MACHINE_ROOT", (dir_.path() / "machine").c_str(), 1);
    logging::SetLogMessageHandlerForTesting([this](logging::LogSeverity, const char*, int,
                                                   const char*, size_t start,
                                                   const std::string& text) {
      logs_ += text.substr(start);
      return true;
    });
    Reset(dir_.path() / "kelvo.db");
  }
  void TearDown() override {
    logging::SetLogMessageHandlerForTesting(nullptr);
    unsetenv("TERN_MACHINE_ROOT");
  }

  void Reset(const std::string& path) {
    RouteManager::Environment environment;
    environment.read_config = [this](const std::string& section, const std::string& key) {
      return config_[section + "/" + key];
    };
    environment.write_config = [this](const std::string& section, const std::string& key,
                                      const std::string& value) {
      config_[section + "/" + key] = value;
    };
    environment.run_command = [this](const std::string& line) {
      commands_.push_back(line);
      return RunTool(line);
    };
    environment.default_gateway = [this] { return gateway_; };
    environment.now = [this] { return now_; };
    testing::internal::CaptureStdout();
    manager_ = std::make_unique<RouteManager>(path, environment);
    EXPECT_EQ("data base path is: " + path + "\n", testing::internal::GetCapturedStdout());
  }

  std::vector<machine::RouteRecord> MachineRoutes() {
    std::unique_ptr<machine::Store> store;
    std::vector<machine::RouteRecord> routes;
    EXPECT_EQ(machine::Status::kOk, machine::Store::Open(&store));
    EXPECT_EQ(machine::Status::kOk, store->ListRoutes(&routes));
    return routes;
  }

  base::ScopedTempDir dir_;
  std::map<std::string, std::string> config_;
  std::vector<std::string> commands_;
  std::string gateway_;
  int64_t now_ = 1700000000;
  std::string logs_;
  std::unique_ptr<RouteManager> manager_;
};

TEST_F(RouteManagerTest, SyncAppliesIncrementsUntilTheLatestVersion) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(0, manager_->CreateRouteTable());
  EXPECT_EQ("smart table created successfully\n", testing::internal::GetCapturedStdout());

  FakeRouteService service;
  service.config = &config_;
  service.answers[0] = {
      {Entry(1, "10.1.2.0", "255.255.255.0", 1, 24), Entry(2, "10.9.0.0", "255.255.0.0", 1, 16),
       Entry(2, "10.8.0.0", "255.255.0.0", 1, 16)},
      2,
      1};
  service.answers[1] = {{Entry(1, "10.1.2.0", "255.255.255.0", 0, 24)}, 2, 2};
  testing::internal::CaptureStdout();
  manager_->SyncRouteTable(&service);
  EXPECT_EQ("Records created successfully\nRecords created successfully\n",
            testing::internal::GetCapturedStdout());
  EXPECT_EQ("1700000000", service.timestamp_at_first_request)
      << "a sync from version 0 records its start before the first request";
  // The loop only learns that it is done from the answer to version 2.
  EXPECT_EQ((std::vector<int>{0, 1, 2}), service.asked);

  testing::internal::CaptureStdout();
  EXPECT_EQ("10.8.0.0 255.255.0.0 10.8.0.0/16\n", manager_->GetActiveRoutes());
  EXPECT_EQ("sqlite done.\n", testing::internal::GetCapturedStdout());

  // From a later version the timestamp is left alone.
  now_ += 100;
  manager_->SyncRouteTable(&service);
  EXPECT_EQ("1700000000", config_["route_create_time/timestamp"]);
  EXPECT_EQ((std::vector<int>{0, 1, 2, 2}), service.asked);
}

TEST_F(RouteManagerTest, SyncStopsWithoutProgressAndKeepsFailedBatches) {
  ASSERT_EQ(0, manager_->CreateRouteTable());
  FakeRouteService stuck;
  stuck.config = &config_;
  config_["route_version/version"] = "4";
  // The service reports a newer version but never records one.
  stuck.answers[4] = {{Entry(1, "10.1.0.0", "255.255.0.0", 1, 16)}, 9, 4};
  manager_->SyncRouteTable(&stuck);
  EXPECT_EQ((std::vector<int>{4}), stuck.asked);
  EXPECT_NE(std::string::npos, logs_.find("route version did not advance past 4")) << logs_;

  // A batch that cannot be written puts the old version back, so that it is
  // fetched again next time.
  Reset(dir_.path() / "missing" / "kelvo.db");
  FakeRouteService service;
  service.config = &config_;
  service.answers[4] = {{Entry(1, "10.1.0.0", "255.255.0.0", 1, 16)}, 5, 5};
  manager_->SyncRouteTable(&service);
  EXPECT_EQ("4", config_["route_version/version"]);
  EXPECT_NE(std::string::npos, logs_.find("Route table, open sqlite failed: ")) << logs_;
}

TEST_F(RouteManagerTest, EmptyAndUnopenableDatabases) {
  ASSERT_EQ(0, manager_->CreateRouteTable());
  testing::internal::CaptureStdout();
  EXPECT_EQ("", manager_->GetActiveRoutes());
  EXPECT_EQ("sqlite done.\n", testing::internal::GetCapturedStdout());

  Reset(dir_.path() / "missing" / "kelvo.db");
  EXPECT_EQ(14 /* SQLITE_CANTOPEN */, manager_->CreateRouteTable());
  EXPECT_NE(std::string::npos, logs_.find("Route table, open sqlite failed: ")) << logs_;
  testing::internal::CaptureStdout();
  EXPECT_EQ("", manager_->GetActiveRoutes());
  EXPECT_EQ("", testing::internal::GetCapturedStdout());
  EXPECT_NE(std::string::npos, logs_.find("open database failed: ")) << logs_;

  // No table: the select fails.
  Reset(dir_.path() / "no_table.db");
  testing::internal::CaptureStderr();
  EXPECT_EQ("", manager_->GetActiveRoutes());
  EXPECT_EQ("Failed.\n", testing::internal::GetCapturedStderr());
  EXPECT_NE(std::string::npos, logs_.find("Error: sqlite failed.")) << logs_;
}

TEST(RouteDataIsStaleTest, SixWholeDaysAreFresh) {
  const int64_t day = 86400;
  const int64_t now = 1700000000;
  struct Case {
    bool readable;
    int64_t created;
    bool stale;
  } cases[] = {
      {true, now, false},
      {true, now - 6 * day, false},
      {true, now - 7 * day + 1, false},  // 6 days and 23:59:59
      {true, now - 7 * day, true},
      {true, 0, true},  // never recorded
      {true, now + day, false},
      {false, now, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(now - c.created);
    EXPECT_EQ(c.stale, RouteDataIsStale(c.readable, c.created, now));
  }
}

TEST_F(RouteManagerTest, StartUpResetsTheVersionOnlyWhenStale) {
  config_["route_version/version"] = "12";
  config_["route_create_time/timestamp"] = std::to_string(now_);
  manager_->ResetVersionIfStale();
  EXPECT_EQ("0", config_["route_version/version"]) << "no database file yet";

  ASSERT_EQ(0, manager_->CreateRouteTable());
  config_["route_version/version"] = "12";
  manager_->ResetVersionIfStale();
  EXPECT_EQ("12", config_["route_version/version"]);
  now_ += 7 * 86400;
  manager_->ResetVersionIfStale();
  EXPECT_EQ("0", config_["route_version/version"]);
}

TEST_F(RouteManagerTest, NodeHostRoutesGoThroughTheDefaultGateway) {
  struct Case {
    const char* gateway;
    const char* used;
    bool logged;
  } cases[] = {
      {"", "192.168.1.1", true},
      {"0.0.0.0", "192.168.1.1", true},
      {"10.0.0.1", "10.0.0.1", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gateway);
    gateway_ = c.gateway;
    logs_.clear();
    commands_.clear();
    NodeInfo first, second, hostile;
    first.addr_ip = "127.0.0.2";
    second.addr_ip = "127.0.0.3";
    hostile.addr_ip = "127.0.0.4 MASK 0.0.0.0";
    manager_->AddNodeHostRoutes({first, hostile, second});
    std::string add = std::string(" MASK 255.255.255.255 ") + c.used + " METRIC 2 ";
    EXPECT_EQ((std::vector<std::string>{"ROUTE DELETE 127.0.0.2", "ROUTE ADD 127.0.0.2" + add,
                                        "ROUTE DELETE 127.0.0.3", "ROUTE ADD 127.0.0.3" + add}),
              commands_);
    EXPECT_EQ(c.logged, logs_.find("get default gateway failed") != std::string::npos) << logs_;
    // The delete before each add replaces the route of the previous case.
    std::vector<machine::RouteRecord> routes = MachineRoutes();
    ASSERT_EQ(2u, routes.size());
    for (const machine::RouteRecord& route : routes) {
      EXPECT_EQ("255.255.255.255", route.mask);
      EXPECT_EQ(c.used, route.gateway);
      EXPECT_EQ(2, route.metric);
    }
  }
}

// The process-wide manager lives beside the program, with config.ini.
TEST(RouteManagerInstanceTest, OneManagerForTheProgramDirectory) {
  testing::internal::CaptureStdout();
  RouteManager* manager = RouteManager::GetInstance();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(manager, RouteManager::GetInstance());
  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof(self) - 1), 0);
  std::string dir = std::string(self).substr(0, std::string(self).rfind('/'));
  EXPECT_EQ("data base path is: " + dir + "/kelvo.db\n", out);
}

}  // namespace
