// The login window of the real rix.exe, driven through automation against a
// running tern-service.
#include <signal.h>

#include <filesystem>
#include <fstream>

#include "tests/e2e/client_fixture.h"

namespace tern::e2e {
namespace {

constexpr char kLogin[] = "LoginWnd";
constexpr char kNumber[] = "13800000001";
constexpr char kPassword[] = "abc12345";

class LoginJourneyTest : public ClientFixture {
 protected:
  // Types the account and the password and presses the sign-in button.
  static void SignIn(const Program& client,
                     const std::string& account,
                     const std::string& password) {
    const Automation& ui = client.ui();
    ASSERT_TRUE(ui.SetText(kLogin, "account_edit", ""));
    if (!account.empty()) {
      ASSERT_TRUE(ui.Type(kLogin, "account_edit", account));
    }
    ASSERT_TRUE(ui.SetText(kLogin, "passwd_edit", ""));
    if (!password.empty()) {
      ASSERT_TRUE(ui.Type(kLogin, "passwd_edit", password));
    }
    ASSERT_TRUE(ui.Click(kLogin, "login_btn"));
  }

  // Signs in and waits for the hand-over to the main window.
  static void SignInToMainWindow(const Program& client,
                                 const std::string& account,
                                 const std::string& password) {
    SignIn(client, account, password);
    ASSERT_TRUE(client.ui().WaitForWindow("MainWnd")) << client.ui().Text(kLogin, "login_tips");
    EXPECT_FALSE(client.ui().IsWindowVisible(kLogin));
  }

  // Ends the client from the account menu ("退出登录"); closing the main
  // window only hides it in the tray.
  static void Quit(Program& client) {
    ASSERT_TRUE(client.ui().Click("MainWnd", "account_operater_btn"));
    ASSERT_TRUE(client.ui().Click("MainWnd", "loginOut"));
    EXPECT_EQ(client.WaitForExit(), 0);
  }

  // The tip of the account page after the answer came back.
  static std::string TipAfterSignIn(const Program& client) {
    EXPECT_TRUE(client.ui().WaitForEnabled(kLogin, "login_btn"));
    return client.ui().Text(kLogin, "login_tips");
  }
};

TEST_F(LoginJourneyTest, ASecondClientSaysSoAndLeavesWithoutAWindow) {
  // An installer left by an earlier update goes at start.
  std::ofstream(program_dir_ + "/Installer.exe") << "old installer";
  auto first = StartClient();
  ASSERT_TRUE(first->ui().WaitForWindow(kLogin));
  EXPECT_FALSE(std::filesystem::exists(program_dir_ + "/Installer.exe"));
  EXPECT_NE(first->Output().find("delete file success."), std::string::npos);
  // The machine is prepared: the program's own firewall rules name it.
  std::string program = program_dir_ + "/rix.exe";
  EXPECT_TRUE(WaitUntil([&] {
    std::string rules = MachineTool({"rules"});
    return rules.find("Tern智能加速器_IN") != std::string::npos &&
           rules.find("Tern智能加速器_OUT") != std::string::npos &&
           rules.find("program=" + program) != std::string::npos;
  })) << MachineTool({"rules"});
  // Without a route database the next sync starts from version 0.
  EXPECT_NE(Config().find("[route_version]\r\nversion=0"), std::string::npos) << Config();
  auto second = StartClient();
  EXPECT_EQ(second->ui().WaitForMessageBox(), "Tern已经在运行！");
  for (const WindowEntry& w : second->ui().Windows())
    EXPECT_EQ(w.window_class, "#32770") << "the second client made a window";
  ASSERT_TRUE(second->ui().AnswerMessageBox(true));
  EXPECT_EQ(second->WaitForExit(), 0);
  EXPECT_TRUE(first->Running());
  ASSERT_TRUE(first->ui().Click(kLogin, "login_wnd_close"));
  EXPECT_EQ(first->WaitForExit(), 0);
}

TEST_F(LoginJourneyTest, RegisterSignInRememberAndSignInAutomatically) {
  auto client = StartClient();
  const Automation& ui = client->ui();
  ASSERT_TRUE(ui.WaitForWindow(kLogin));
  // First start: the bottom page is open.
  EXPECT_TRUE(ui.State(kLogin, "bottom_page").visible);

  ASSERT_TRUE(ui.Click(kLogin, "register_account_btn"));
  ASSERT_TRUE(ui.Type(kLogin, "register_phone_edit", kNumber));
  ASSERT_TRUE(ui.Type(kLogin, "register_passwd_edit", kPassword));
  ASSERT_TRUE(ui.Type(kLogin, "register_repeat_passwd_edit", kPassword));
  ASSERT_TRUE(ui.Click(kLogin, "register_send_captcha_btn"));
  // The countdown shows at once, the send button gives way to it.
  EXPECT_EQ(ui.Text(kLogin, "send_captcha_disable_btn"), "重新发送(29s)");
  EXPECT_FALSE(ui.State(kLogin, "register_send_captcha_btn").visible);
  EXPECT_TRUE(ui.WaitForText(kLogin, "register_phone_login_tips", "验证码已发送，请注意查收"));
  std::string code = WaitForCode(kNumber);
  ASSERT_EQ(code.size(), 6u);
  ASSERT_TRUE(ui.Type(kLogin, "register_captcha_edit", code));
  ASSERT_TRUE(ui.Click(kLogin, "register__btn"));
  EXPECT_TRUE(ui.WaitForText(kLogin, "register_phone_login_tips", "注册成功"));
  EXPECT_EQ(ui.Text(kLogin, "register__btn"), "注册");

  ASSERT_TRUE(ui.Click(kLogin, "switch_login_btn"));
  EXPECT_TRUE(ui.State(kLogin, "remember_passwd").selected);
  SignInToMainWindow(*client, kNumber, kPassword);
  // Nothing of the account is readable in config.ini.
  std::string config = Config();
  EXPECT_EQ(config.find(kNumber), std::string::npos) << config;
  EXPECT_EQ(config.find(kPassword), std::string::npos) << config;
  EXPECT_EQ(config.find("user_data"), std::string::npos) << config;
  EXPECT_EQ(config.find("interim"), std::string::npos) << config;
  EXPECT_EQ(config.find("uuid"), std::string::npos) << config;
  Quit(*client);

  // The next start remembers the account and the password, and folds the
  // bottom page away.
  client = StartClient();
  ASSERT_TRUE(client->ui().WaitForWindow(kLogin));
  EXPECT_EQ(client->ui().Text(kLogin, "account_edit"), kNumber);
  EXPECT_EQ(client->ui().Text(kLogin, "passwd_edit"), kPassword);
  EXPECT_TRUE(client->ui().State(kLogin, "remember_passwd").selected);
  EXPECT_FALSE(client->ui().State(kLogin, "auto_login").selected);
  EXPECT_FALSE(client->ui().State(kLogin, "bottom_page").visible);
  ASSERT_TRUE(client->ui().Click(kLogin, "spread_hidden_page_button"));
  ASSERT_TRUE(client->ui().Click(kLogin, "auto_login"));
  EXPECT_TRUE(client->ui().State(kLogin, "auto_login").selected);
  ASSERT_TRUE(client->ui().Click(kLogin, "login_btn"));
  ASSERT_TRUE(client->ui().WaitForWindow("MainWnd"));
  Quit(*client);

  // And the one after that signs in by itself.
  client = StartClient();
  ASSERT_TRUE(client->ui().WaitForWindow("MainWnd"));
  EXPECT_FALSE(client->ui().IsWindowVisible(kLogin));
  Quit(*client);
}

TEST_F(LoginJourneyTest, TipCodesForBadAccountsAndPasswords) {
  CreateAccount(kNumber, kPassword);
  auto client = StartClient();
  ASSERT_TRUE(client->ui().WaitForWindow(kLogin));
  struct Case {
    const char* account;
    const char* password;
    const char* tip;
  } cases[] = {
      {"", kPassword, "账号不能为空！"},
      {"1380000000", kPassword, "您输入的账号格式有误！"},
      {kNumber, "", "密码不能为空！"},
      {"13900000009", kPassword, "账号不存在，请确认账号后重新登录！"},
      {kNumber, "wrongpass1", "密码错误，请确认密码后重新登录！"},
  };
  for (const Case& c : cases) {
    SignIn(*client, c.account, c.password);
    EXPECT_EQ(TipAfterSignIn(*client), c.tip) << "account " << c.account;
    EXPECT_TRUE(client->ui().State(kLogin, "tips_icon").visible);
    EXPECT_EQ(client->ui().Text(kLogin, "login_btn"), "登录");
  }
  // Editing the account clears the password and the tip.
  ASSERT_TRUE(client->ui().SetText(kLogin, "account_edit", "1380000000"));
  ASSERT_TRUE(client->ui().Type(kLogin, "account_edit", "1"));
  EXPECT_EQ(client->ui().Text(kLogin, "login_tips"), "");
  EXPECT_EQ(client->ui().Text(kLogin, "passwd_edit"), "");
  EXPECT_FALSE(client->ui().State(kLogin, "tips_icon").visible);
}

TEST_F(LoginJourneyTest, SignInWithAnSmsCode) {
  CreateAccount(kNumber, kPassword);
  auto client = StartClient();
  const Automation& ui = client->ui();
  ASSERT_TRUE(ui.WaitForWindow(kLogin));
  ASSERT_TRUE(ui.Type(kLogin, "account_edit", kNumber));
  ASSERT_TRUE(ui.Click(kLogin, "swicht_login_btn"));
  EXPECT_TRUE(ui.State(kLogin, "phone_login_page").visible);
  EXPECT_EQ(ui.Text(kLogin, "phone_edit"), kNumber);  // taken from the account page
  // Without a code the form is refused on the spot.
  ASSERT_TRUE(ui.Click(kLogin, "phone_login_btn"));
  EXPECT_EQ(ui.Text(kLogin, "phone_login_tips"), "请输入手机验证码");
  ASSERT_TRUE(ui.Click(kLogin, "send_captcha_btn"));
  EXPECT_EQ(ui.Text(kLogin, "resend_captcha_btn"), "重新发送(29s)");
  EXPECT_TRUE(ui.WaitForText(kLogin, "phone_login_tips", "验证码已发送，请注意查收"));
  std::string code = WaitForCode(kNumber);
  ASSERT_TRUE(ui.Type(kLogin, "message_code_edit", code));
  ASSERT_TRUE(ui.Key(kLogin, "enter"));  // Enter acts as the page's button
  ASSERT_TRUE(ui.WaitForWindow("MainWnd"));
  Quit(*client);
}

TEST_F(LoginJourneyTest, AWrongSmsCodeIsReported) {
  CreateAccount(kNumber, kPassword);
  auto client = StartClient();
  const Automation& ui = client->ui();
  ASSERT_TRUE(ui.WaitForWindow(kLogin));
  ASSERT_TRUE(ui.Click(kLogin, "swicht_login_btn"));
  ASSERT_TRUE(ui.Type(kLogin, "phone_edit", kNumber));
  ASSERT_TRUE(ui.Type(kLogin, "message_code_edit", "000000"));
  ASSERT_TRUE(ui.Click(kLogin, "phone_login_btn"));
  EXPECT_TRUE(ui.WaitForText(kLogin, "phone_login_tips", "验证码错误或已过期"));
  EXPECT_TRUE(ui.State(kLogin, "phone_login_btn").enabled);
  EXPECT_EQ(ui.Text(kLogin, "message_code_edit"), "");
  // A number of the wrong length starts the countdown and stops it again.
  ASSERT_TRUE(ui.SetText(kLogin, "phone_edit", "1380000000"));
  ASSERT_TRUE(ui.Click(kLogin, "send_captcha_btn"));
  EXPECT_EQ(ui.Text(kLogin, "phone_login_tips"), "手机号码格式错误！");
  EXPECT_TRUE(ui.State(kLogin, "send_captcha_btn").visible);
  EXPECT_FALSE(ui.State(kLogin, "resend_captcha_btn").visible);
}

TEST_F(LoginJourneyTest, ResetThePasswordAndSignInWithTheNewOne) {
  CreateAccount(kNumber, kPassword);
  auto client = StartClient();
  const Automation& ui = client->ui();
  ASSERT_TRUE(ui.WaitForWindow(kLogin));
  ASSERT_TRUE(ui.Click(kLogin, "find_passwd_btn"));
  EXPECT_TRUE(ui.State(kLogin, "reset_password_page").visible);
  EXPECT_FALSE(ui.State(kLogin, "reset_phone_login_btn").enabled);
  ASSERT_TRUE(ui.Type(kLogin, "reset_phone_edit", kNumber));
  ASSERT_TRUE(ui.Click(kLogin, "reset_send_captcha_btn"));
  ASSERT_TRUE(ui.WaitForEnabled(kLogin, "reset_phone_login_btn"));
  std::string code = WaitForCode(kNumber);
  ASSERT_TRUE(ui.Type(kLogin, "reset_message_code_edit", code.substr(0, 5)));
  ASSERT_TRUE(ui.Click(kLogin, "reset_phone_login_btn"));
  EXPECT_EQ(ui.Text(kLogin, "reset_phone_login_tips"), "您输入的验证码位数有误");
  ASSERT_TRUE(ui.Type(kLogin, "reset_message_code_edit", code.substr(5)));
  ASSERT_TRUE(ui.Click(kLogin, "reset_phone_login_btn"));
  EXPECT_TRUE(ui.State(kLogin, "reset_password_last_page").visible);
  ASSERT_TRUE(ui.Type(kLogin, "reset_passwd_edit", "newpass99"));
  ASSERT_TRUE(ui.Type(kLogin, "preset_passwd_again_edit", "newpass98"));
  ASSERT_TRUE(ui.Click(kLogin, "reset_passwd_confirm_btn"));
  EXPECT_EQ(ui.Text(kLogin, "reset_password_tips"), "两次输入的密码不一致，请重新输入");
  ASSERT_TRUE(ui.SetText(kLogin, "preset_passwd_again_edit", "newpass99"));
  ASSERT_TRUE(ui.Click(kLogin, "reset_passwd_confirm_btn"));
  EXPECT_TRUE(ui.WaitForText(kLogin, "reset_password_tips", "密码重置成功，请使用新密码登录"));

  ASSERT_TRUE(ui.Click(kLogin, "reset_return_login_btn"));
  SignIn(*client, kNumber, kPassword);
  EXPECT_EQ(TipAfterSignIn(*client), "密码错误，请确认密码后重新登录！");
  SignInToMainWindow(*client, kNumber, "newpass99");
  Quit(*client);
}

TEST_F(LoginJourneyTest, FrequentFailuresSendTheUserToSmsSignIn) {
  CreateAccount(kNumber, kPassword);
  auto client = StartClient();
  const Automation& ui = client->ui();
  ASSERT_TRUE(ui.WaitForWindow(kLogin));
  std::string box;
  for (int attempt = 0; attempt < 6 && box.empty(); ++attempt) {
    SignIn(*client, kNumber, "wrongpass1");
    WaitUntil([&] {
      if (ui.IsWindowVisible("Message Box"))
        box = ui.Text("Message Box", "tips_rich_edit");
      return !box.empty() || ui.State(kLogin, "login_btn").enabled;
    });
  }
  EXPECT_EQ(box,
            "温馨提示：登录过于频繁，请使用手机短信验证码进行验证登录，点击确定将跳转到短信验证登录"
            "界面。");
  ASSERT_TRUE(ui.Click("Message Box", "confirm_button"));
  ASSERT_TRUE(WaitUntil([&] { return ui.State(kLogin, "phone_login_page").visible; }));
  EXPECT_EQ(ui.Text(kLogin, "phone_edit"), kNumber);
  EXPECT_TRUE(ui.State(kLogin, "login_btn").enabled);
}

TEST_F(LoginJourneyTest, ADeliberateCrashWritesAReportAndTellsTheUser) {
  if (!std::filesystem::exists(BuildProgramDirectory() + "/tern-crash-sender"))
    GTEST_SKIP() << "the crash sender is not part of this build";
  auto client = StartClient({"--crash-for-testing"});
  // The crash sender shows the message on the crashed client's behalf.
  std::string box;
  WaitUntil([&] {
    box = client->ui().MessageBoxText();
    return !box.empty();
  });
  EXPECT_EQ(box,
            "Tern意外地停止了工作，请尝试重启客户端。如果该问题频繁出现，请您通过客户端客服中心与"
            "我们联系！");
  client->ui().AnswerMessageBox(true);
  EXPECT_EQ(client->WaitForExit(), -1);
  EXPECT_EQ(client->term_signal(), SIGSEGV);
  bool report = false;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(program_dir_ + "/coredump", ec))
    report |= std::filesystem::exists(entry.path() / "report.txt");
  EXPECT_TRUE(report) << "no report under coredump/";
  std::string log = ReadFile(program_dir_ + "/log/client.log");
  EXPECT_NE(log.find("Stage after exception pointers've been retrieved."), std::string::npos)
      << log;
  EXPECT_NE(log.find("The application has crashed! "), std::string::npos);
}

class ForcedUpdateTest : public LoginJourneyTest {
 protected:
  std::vector<std::string> ServiceOptions(const std::string& temp_dir) override {
    std::ofstream(temp_dir + "/Installer.exe") << "installer";
    return {"--sms-interval", "0", "--package", temp_dir + "/Installer.exe"};
  }
};

TEST_F(ForcedUpdateTest, StartsTheUpdaterAndEndsTheClient) {
  ASSERT_EQ(service_->Admin({"publish-version", "1.2.0", "--must"}).exit_code, 0);
  // Without an updater the failure is logged and the client stays.
  auto client = StartClient();
  ASSERT_TRUE(client->ui().WaitForWindow(kLogin));
  EXPECT_TRUE(WaitUntil([&] {
    return ReadFile(program_dir_ + "/log/client.log")
               .find("start update, shell execute return an error value: 2") != std::string::npos;
  }));
  EXPECT_TRUE(client->Running());
  ASSERT_TRUE(client->ui().Click(kLogin, "login_wnd_close"));
  EXPECT_EQ(client->WaitForExit(), 0);

  // A stand-in updater.exe that writes down how it was started.
  std::filesystem::copy_file(TERN_E2E_RECORD_ARGS, program_dir_ + "/updater.exe");
  client = StartClient();
  EXPECT_EQ(client->WaitForExit(), 0);
  std::string record = program_dir_ + "/updater.exe.args";
  ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(record); }));
  std::string args = ReadFile(record);
  EXPECT_EQ(args, "https://127.0.0.1:" + std::to_string(service_->https_port()) +
                      "/package/Installer.exe\n");

  // A version that is not newer as text (1.1.10 < 1.1.4) is no forced update.
  std::filesystem::remove(record);
  ASSERT_EQ(service_->Admin({"publish-version", "1.1.10", "--must"}).exit_code, 0);
  client = StartClient();
  ASSERT_TRUE(client->ui().WaitForWindow(kLogin));
  ASSERT_TRUE(WaitUntil([&] {
    return ReadFile(program_dir_ + "/log/client.log").find("lastest version") != std::string::npos;
  }));
  EXPECT_FALSE(std::filesystem::exists(record));
}

}  // namespace
}  // namespace tern::e2e
