// The main window's acceleration of the real rix.exe, driven through
// automation against tern-service and its relays: start, success, stop, and
// every way a dial ends.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <regex>
#include <thread>

#include "tests/e2e/client_fixture.h"

namespace tern::e2e {
namespace {

constexpr char kMain[] = "MainWnd";
constexpr char kSlider[] = "Slider Window";
constexpr char kLogin[] = "LoginWnd";
constexpr char kNumber[] = "13800000001";
constexpr char kPassword[] = "abc12345";
constexpr Millis kDialWait{30000};

class AccelerationJourneyTest : public ClientFixture {
 protected:
  std::vector<std::string> ServiceOptions(const std::string&) override {
    return {"--sms-interval", "0", "--dial-interval", dial_interval_};
  }

  // An account with a membership of |days| (0: expired), signed in through
  // the login window of a new client whose dial library reaches the relay on
  // |relay_port| (the service's when 0).
  std::unique_ptr<Program> StartSignedIn(int days = 30,
                                         std::map<std::string, std::string> env = {},
                                         int relay_port = 0) {
    CreateAccount(kNumber, kPassword);
    EXPECT_EQ(service_->Admin({"set-member", kNumber, std::to_string(days)}).exit_code, 0);
    env["KELVONET_RELAY_PORT"] = std::to_string(relay_port ? relay_port : service_->relay_port());
    auto client = StartProgram("rix.exe", {}, env);
    const Automation& ui = client->ui();
    EXPECT_TRUE(ui.WaitForWindow(kLogin));
    EXPECT_TRUE(ui.SetText(kLogin, "account_edit", ""));
    EXPECT_TRUE(ui.Type(kLogin, "account_edit", kNumber));
    EXPECT_TRUE(ui.SetText(kLogin, "passwd_edit", ""));
    EXPECT_TRUE(ui.Type(kLogin, "passwd_edit", kPassword));
    EXPECT_TRUE(ui.Click(kLogin, "login_btn"));
    EXPECT_TRUE(ui.WaitForWindow(kMain)) << ui.Text(kLogin, "login_tips");
    // The node list of the settings page has been measured, and the
    // membership page slid out two seconds after sign-in.
    EXPECT_TRUE(WaitUntil([&] { return !ui.Text(kSlider, "node_name_0").empty(); }));
    EXPECT_TRUE(WaitUntil(
        [&] { return ui.IsWindowVisible(kSlider) && ui.State(kSlider, "tab_VIP").visible; }));
    return client;
  }

  static bool PageShown(const Program& client, const char* page) {
    return client.ui().State(kMain, page).visible;
  }
  static bool WaitForPage(const Program& client, const char* page, Millis timeout = kDialWait) {
    return WaitUntil([&] { return PageShown(client, page); }, timeout);
  }

  // Opens the settings page and picks |region| and speed mode |mode|.
  static void Choose(const Program& client, const char* region, int mode) {
    const Automation& ui = client.ui();
    ASSERT_TRUE(ui.Click(kMain, "setting_btn"));
    ASSERT_TRUE(WaitUntil([&] { return ui.State(kSlider, "tab_acc").visible; }));
    ASSERT_TRUE(ui.Click(kSlider, region));
    ASSERT_TRUE(ui.Click(kSlider, ("mode" + std::to_string(mode)).c_str()));
    EXPECT_TRUE(ui.State(kSlider, ("mode" + std::to_string(mode)).c_str()).selected);
  }

  void Accelerate(const Program& client) {
    ASSERT_TRUE(client.ui().Click(kMain, "begin_speed_btn"));
    ASSERT_TRUE(WaitForPage(client, "acc_success"))
        << client.ui().Text(kMain, "speed_status_ingerr") << "\n"
        << ClientLog();
  }

  void Stop(const Program& client) {
    ASSERT_TRUE(client.ui().Click(kMain, "stop_speed_btn"));
    ASSERT_TRUE(WaitForPage(client, "acc_normal")) << ClientLog();
  }

  std::string ClientLog() const { return ReadFile(program_dir_ + "/log/client.log"); }
  std::string Sessions() const { return service_->Admin({"list-sessions"}).out; }

  std::string dial_interval_ = "0";
};

TEST_F(AccelerationJourneyTest, StartShowsSuccessWithTimeNodeAndDelayAndStopReturnsToNormal) {
  auto client = StartSignedIn();
  const Automation& ui = client->ui();
  EXPECT_TRUE(PageShown(*client, "acc_normal"));
  Choose(*client, "sea_server", 3);
  EXPECT_EQ(ui.Text(kMain, "speed_mode_label"), "模式三");
  // The list is sorted by delay and its first node is the one selected.
  std::string first = ui.Text(kSlider, "node_name_0");
  EXPECT_TRUE(std::regex_match(ui.Text(kSlider, "node_delay_0"), std::regex("[0-9]+ ms")));

  ASSERT_TRUE(ui.Click(kMain, "begin_speed_btn"));
  // The slide-out window retracts and the dialling page shows.
  EXPECT_TRUE(ui.WaitForHidden(kSlider));
  ASSERT_TRUE(WaitForPage(*client, "acc_success")) << ClientLog();
  EXPECT_EQ(ui.Text(kMain, "node_label"), first);
  EXPECT_TRUE(std::regex_match(ui.Text(kMain, "game_time_proval"), std::regex("[0-9]+|--")))
      << ui.Text(kMain, "game_time_proval");
  std::string time = ui.Text(kMain, "acc_time_label");
  EXPECT_TRUE(std::regex_match(time, std::regex("已加速：00:00:0[0-9]"))) << time;
  EXPECT_NE(ui.WaitForTextOtherThan(kMain, "acc_time_label", time, Millis(3000)), time);
  EXPECT_NE(Sessions().find("protocol 2"), std::string::npos) << Sessions();
  EXPECT_NE(ClientLog().find("notification 3 posted"), std::string::npos);

  ASSERT_TRUE(ui.Click(kMain, "stop_speed_btn"));
  ASSERT_TRUE(WaitForPage(*client, "acc_normal")) << ClientLog();
  EXPECT_TRUE(WaitUntil([&] { return Sessions().empty(); }));
  EXPECT_NE(ClientLog().find("notification 4 posted"), std::string::npos);
}

TEST_F(AccelerationJourneyTest, AnExpiredMembershipOpensTheMembershipPageAndDialsNothing) {
  auto client = StartSignedIn(0);
  const Automation& ui = client->ui();
  ASSERT_TRUE(WaitUntil([&] { return ui.State(kSlider, "acc_expir_wnd").visible; }));
  ASSERT_TRUE(ui.Click(kMain, "begin_speed_btn"));
  EXPECT_TRUE(PageShown(*client, "acc_failed_wnd"));
  EXPECT_EQ(ui.Text(kMain, "speed_status_ingerr"), "会员已过期，请续费会员后进行加速");
  EXPECT_TRUE(ui.State(kMain, "speed_status_ingerr").visible);
  EXPECT_TRUE(ui.WaitForWindow(kSlider));
  EXPECT_TRUE(ui.State(kSlider, "tab_VIP").visible);
  std::this_thread::sleep_for(Millis(1000));
  EXPECT_EQ(Sessions(), "");
}

TEST_F(AccelerationJourneyTest, ASessionDroppedByTheServiceReturnsToNormal) {
  auto client = StartSignedIn();
  Choose(*client, "auto_server", 2);
  Accelerate(*client);
  ASSERT_EQ(service_->Admin({"drop-session", kNumber}).exit_code, 0);
  ASSERT_TRUE(WaitForPage(*client, "acc_normal")) << ClientLog();
  EXPECT_NE(ClientLog().find("notification 4 posted"), std::string::npos);
  // The elapsed time stopped with the tunnel.
  std::string time = client->ui().Text(kMain, "acc_time_label");
  std::this_thread::sleep_for(Millis(1500));
  EXPECT_EQ(client->ui().Text(kMain, "acc_time_label"), time);
}

TEST_F(AccelerationJourneyTest, SwitchingAccountWhileAcceleratingAsksFirstAndStopsTheTunnel) {
  auto client = StartSignedIn();
  const Automation& ui = client->ui();
  Choose(*client, "auto_server", 4);
  Accelerate(*client);
  ASSERT_TRUE(ui.Click(kMain, "account_operater_btn"));
  ASSERT_TRUE(ui.Click(kMain, "switchAccount"));
  EXPECT_TRUE(ui.State(kMain, "warning_wnd").visible);
  // Cancel keeps the tunnel.
  ASSERT_TRUE(ui.Click(kMain, "warning_btn_cancel"));
  EXPECT_FALSE(ui.State(kMain, "warning_wnd").visible);
  EXPECT_TRUE(PageShown(*client, "acc_success"));
  ASSERT_TRUE(ui.Click(kMain, "account_operater_btn"));
  ASSERT_TRUE(ui.Click(kMain, "switchAccount"));
  ASSERT_TRUE(ui.Click(kMain, "warning_btn_ok"));
  EXPECT_TRUE(ui.WaitForWindow(kLogin));
  EXPECT_TRUE(ui.WaitForHidden(kMain));
  EXPECT_TRUE(WaitUntil([&] { return Sessions().empty(); })) << Sessions();
  EXPECT_TRUE(PageShown(*client, "acc_normal"));
  // Signing in again starts from the normal page and dials again.
  ASSERT_TRUE(ui.Click(kLogin, "login_btn"));
  ASSERT_TRUE(ui.WaitForWindow(kMain));
  // The speed mode chosen before is the account's stored one.
  EXPECT_TRUE(WaitUntil([&] { return ui.Text(kMain, "speed_mode_label") == "模式四"; }));
  Accelerate(*client);
}

TEST_F(AccelerationJourneyTest, TheTrayKeepsTheTunnelAndEndsTheClient) {
  auto client = StartSignedIn();
  const Automation& ui = client->ui();
  // No newer version than 1.1.4 is published.
  ASSERT_TRUE(ui.Click(kMain, "check_update_btn"));
  EXPECT_TRUE(WaitUntil([&] { return ui.State(kMain, "no_update_wnd").visible; }));
  ASSERT_TRUE(ui.Click(kMain, "no_update_ok"));
  EXPECT_FALSE(ui.State(kMain, "no_update_wnd").visible);

  Choose(*client, "auto_server", 2);
  Accelerate(*client);
  // Closing the main window leaves the client and its tunnel running.
  ASSERT_TRUE(ui.Click(kMain, "main_wnd_close"));
  EXPECT_TRUE(ui.WaitForHidden(kMain));
  EXPECT_TRUE(client->Running());
  EXPECT_NE(Sessions(), "");
  std::vector<std::string> tray = ui.Ask({"tray"});
  ASSERT_GE(tray.size(), 4u);
  EXPECT_EQ(tray[3], "Tern智能加速器 1.1.4");
  ASSERT_EQ(ui.Ask({"tray", kMain, "lbuttonup"}).front(), "ok");
  EXPECT_TRUE(ui.WaitForWindow(kMain));
  EXPECT_TRUE(PageShown(*client, "acc_success"));
  // The tray menu's "exit" ends the client and its tunnel.
  ASSERT_EQ(ui.Ask({"tray", kMain, "rbuttonup"}).front(), "ok");
  ASSERT_TRUE(ui.WaitForWindow("MenuWnd"));
  ASSERT_TRUE(ui.Click("MenuWnd", "exit"));
  EXPECT_EQ(client->WaitForExit(), 0);
  EXPECT_TRUE(WaitUntil([&] { return Sessions().empty(); })) << Sessions();
}

TEST_F(AccelerationJourneyTest, AutomaticModeConnects) {
  auto client = StartSignedIn();
  Choose(*client, "auto_server", 0);
  EXPECT_EQ(client->ui().Text(kMain, "speed_mode_label"), "自动模式");
  Accelerate(*client);
  // The relay offers every protocol, so the first in the fixed order is used.
  EXPECT_NE(Sessions().find("protocol 0"), std::string::npos) << Sessions();
  Stop(*client);
}

TEST_F(AccelerationJourneyTest, TenStartsAndStopsInARowAllSucceed) {
  auto client = StartSignedIn();
  Choose(*client, "auto_server", 3);
  ASSERT_TRUE(client->ui().Click(kSlider, "acc_setting_close_btn"));
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE("cycle " + std::to_string(i));
    Accelerate(*client);
    Stop(*client);
  }
}

class FrequencyLimitJourneyTest : public AccelerationJourneyTest {
 protected:
  void SetUp() override {
    dial_interval_ = "20";
    AccelerationJourneyTest::SetUp();
  }
};

TEST_F(FrequencyLimitJourneyTest, ARefusalForDiallingTooOftenCountsDownTwentySeconds) {
  auto client = StartSignedIn();
  const Automation& ui = client->ui();
  Choose(*client, "auto_server", 3);
  Accelerate(*client);
  Stop(*client);
  ASSERT_TRUE(ui.Click(kMain, "begin_speed_btn"));
  ASSERT_TRUE(WaitForPage(*client, "acc_failed_wnd")) << ClientLog();
  std::string text = ui.Text(kMain, "speed_status_ingerr");
  EXPECT_TRUE(std::regex_match(text, std::regex("加速过于频繁，请稍后重试\\((20|19)s\\)"))) << text;
  EXPECT_FALSE(ui.State(kMain, "speed_btn_new").enabled);
  // The failure opened the settings page.
  EXPECT_TRUE(ui.WaitForWindow(kSlider));
  EXPECT_FALSE(ui.WaitForEnabled(kMain, "speed_btn_new", Millis(15000)));
  ASSERT_TRUE(ui.WaitForEnabled(kMain, "speed_btn_new", Millis(10000)));
  EXPECT_FALSE(ui.State(kMain, "speed_status_ingerr").visible);
  // The countdown began a moment after the accepted dial the relay counts
  // from; a retry a little later goes through.
  std::this_thread::sleep_for(Millis(1500));
  ASSERT_TRUE(ui.Click(kMain, "speed_btn_new"));
  ASSERT_TRUE(WaitForPage(*client, "acc_success")) << ClientLog();
}

// A relay that accepts connections and never answers.
class SilentRelay {
 public:
  SilentRelay() {
    for (const char* address : {"127.0.0.2", "127.0.0.3"}) {
      int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in sa{};
      sa.sin_family = AF_INET;
      sa.sin_port = htons(static_cast<uint16_t>(port_));
      inet_pton(AF_INET, address, &sa.sin_addr);
      int one = 1;
      setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
      if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) != 0 || listen(fd, 8) != 0) {
        close(fd);
        continue;
      }
      socklen_t len = sizeof(sa);
      getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
      port_ = ntohs(sa.sin_port);
      fds_.push_back(fd);
    }
  }
  ~SilentRelay() {
    for (int fd : fds_)
      close(fd);
  }
  bool ok() const { return fds_.size() == 2; }
  int port() const { return port_; }

 private:
  int port_ = 0;
  std::vector<int> fds_;
};

TEST_F(AccelerationJourneyTest, ASilentRelayFailsTheDialAfterTheLibrarysReplyTimeOut) {
  SilentRelay relay;
  ASSERT_TRUE(relay.ok());
  auto client = StartSignedIn(30, {}, relay.port());
  const Automation& ui = client->ui();
  Choose(*client, "auto_server", 3);
  ASSERT_TRUE(ui.Click(kMain, "begin_speed_btn"));
  EXPECT_TRUE(PageShown(*client, "acc_ing"));
  EXPECT_EQ(ui.Text(kMain, "begin_speeding_btn"), "正在努力加速中...");
  ASSERT_TRUE(WaitForPage(*client, "acc_failed_wnd", Millis(40000))) << ClientLog();
  EXPECT_EQ(ui.Text(kMain, "speed_status_ingerr"), "加速失败，请更换加速模式重新加速");
  // A failure while dialling opens the settings page.
  EXPECT_TRUE(ui.WaitForWindow(kSlider));
  EXPECT_TRUE(ui.State(kSlider, "tab_acc").visible);
}

TEST_F(AccelerationJourneyTest, TheWatchdogFailsADialThatNeverReports) {
  auto client = StartSignedIn(30, {{"KELVONET_MUTE_EVENTS_FOR_TESTING", "1"}});
  const Automation& ui = client->ui();
  Choose(*client, "auto_server", 2);
  ASSERT_TRUE(ui.Click(kMain, "begin_speed_btn"));
  // The tunnel is up at the relay, but the controller never hears of it.
  EXPECT_TRUE(WaitUntil([&] { return !Sessions().empty(); }));
  EXPECT_TRUE(PageShown(*client, "acc_ing"));
  // 90 ticks of 700 ms.
  ASSERT_TRUE(WaitForPage(*client, "acc_failed_wnd", Millis(75000))) << ClientLog();
  EXPECT_EQ(ui.Text(kMain, "speed_status_ingerr"), "加速失败，请更换加速模式重新加速");
  // The watchdog hung up and stopped: the session ends, and the failure page
  // is not shown again over a later normal page.
  EXPECT_TRUE(WaitUntil([&] { return Sessions().empty(); })) << Sessions();
}

}  // namespace
}  // namespace tern::e2e
