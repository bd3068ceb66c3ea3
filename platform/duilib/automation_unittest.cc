#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/program_directory_for_testing.h"
#include "base/scoped_temp_dir.h"
#include "duilib/automation_protocol.h"

extern char** environ;

namespace {

namespace automation = DuiLib::automation;

TEST(AutomationProtocolTest, FieldsSurviveEscaping) {
  const std::vector<std::string> cases[] = {
      {"ok"},
      {"settext", "Slider Window", "acc_warning_text", "a\tb\nc\\d"},
      {"error", ""},
  };
  for (const auto& fields : cases)
    EXPECT_EQ(automation::SplitLine(automation::JoinLine(fields)), fields);
  EXPECT_EQ(automation::JoinLine({"a\tb"}), "a\\tb");
}

std::string ProgramDir() {
  return base::ProgramDirectoryForTesting();
}

// Drives the real demo program through the real tern-automate.
class DemoAutomationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.CreateUniqueTempDir());
    socket_ = (dir_.GetPath() / "ui.sock").string();
    std::vector<std::string> env = {"TERN_HEADLESS=1", "TERN_AUTOMATION=" + socket_,
                                    "TERN_MACHINE_ROOT=" + (dir_.GetPath() / "machine").string(),
                                    "HOME=" + dir_.GetPath().string()};
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS"}) {
      if (const char* value = std::getenv(name))
        env.push_back(std::string(name) + "=" + value);
    }
    std::vector<char*> envp;
    for (auto& e : env)
      envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = ProgramDir() + "/duilib-demo";
    char* argv[] = {program.data(), nullptr};
    ASSERT_EQ(posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv, envp.data()), 0);
    ASSERT_EQ(Run({"wait", "DemoWnd"}).status, 0);
  }
  void TearDown() override {
    if (pid_ > 0) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, &status, 0);
      }
    }
  }

  struct Result {
    int status;
    std::string out;
  };
  Result Run(const std::vector<std::string>& args) {
    std::string cmd =
        "'" + ProgramDir() + "/tern-automate' --timeout 10000 --socket '" + socket_ + "'";
    for (const auto& a : args)
      cmd += " '" + a + "'";
    cmd += " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    Result r{-1, ""};
    if (!p)
      return r;
    char buf[512];
    while (fgets(buf, sizeof(buf), p))
      r.out += buf;
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (!r.out.empty() && r.out.back() == '\n')
      r.out.pop_back();
    return r;
  }
  std::string Text(const std::string& control) { return Run({"text", "DemoWnd", control}).out; }

  base::ScopedTempDir dir_;
  std::string socket_;
  pid_t pid_ = -1;
};

TEST_F(DemoAutomationTest, RoundTrips) {
  Result windows = Run({"windows"});
  EXPECT_EQ(windows.status, 0);
  EXPECT_NE(windows.out.find("DemoWnd\tTern智能加速器\t1\t"), std::string::npos) << windows.out;

  EXPECT_EQ(Run({"type", "DemoWnd", "account_edit", "138001380001234"}).status, 0);
  EXPECT_EQ(Text("account_edit"), "13800138000");  // maxchar 11
  EXPECT_EQ(Run({"click", "DemoWnd", "ok_btn"}).status, 0);
  EXPECT_EQ(Text("status_label"), "确定:13800138000");

  EXPECT_EQ(Run({"key", "DemoWnd", "enter"}).status, 0);
  EXPECT_EQ(Text("status_label"), "确定:13800138000") << "focus is on the button, not the edit";
  EXPECT_EQ(Run({"type", "DemoWnd", "passwd_edit", "pw"}).status, 0);
  EXPECT_EQ(Run({"key", "DemoWnd", "enter"}).status, 0);
  EXPECT_EQ(Text("status_label"), "回车:passwd_edit");

  EXPECT_EQ(Run({"click", "DemoWnd", "mode_b"}).status, 0);
  EXPECT_EQ(Run({"state", "DemoWnd", "mode_b"}).out, "visible=1\nenabled=1\nselected=1\nfocused=1");
  EXPECT_EQ(Run({"state", "DemoWnd", "mode_a"}).out, "visible=1\nenabled=1\nselected=0\nfocused=0");

  EXPECT_EQ(Run({"select", "DemoWnd", "node_list", "2"}).status, 0);
  EXPECT_EQ(Text("status_label"), "节点:2");
  Result bad = Run({"select", "DemoWnd", "node_list", "99"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.out.find("no item 99"), std::string::npos);

  EXPECT_EQ(Run({"click", "DemoWnd", "tab_btn"}).status, 0);
  EXPECT_EQ(Run({"state", "DemoWnd", "about_text"}).out.substr(0, 9), "visible=1");
  Result hidden = Run({"click", "DemoWnd", "node_list"});
  EXPECT_EQ(hidden.status, 1);
  EXPECT_NE(hidden.out.find("hidden"), std::string::npos);

  // A click that opens a message box returns; the box is answered next.
  EXPECT_EQ(Run({"click", "DemoWnd", "msgbox_btn"}).status, 0);
  EXPECT_EQ(Run({"msgbox"}).out, "确定要继续吗？");
  EXPECT_EQ(Run({"msgbox", "cancel"}).status, 0);
  EXPECT_EQ(Text("status_label"), "对话框:取消");

  Result tray = Run({"tray"});
  EXPECT_EQ(tray.out, "DemoWnd\t139\tTern 示例");
  EXPECT_EQ(Run({"tray", "DemoWnd", "dblclick"}).status, 0);
  EXPECT_EQ(Text("status_label"), "托盘:双击");
  EXPECT_EQ(Run({"tray", "DemoWnd", "rbuttonup"}).status, 0);
  EXPECT_EQ(Run({"wait", "MenuWnd"}).status, 0);
  EXPECT_EQ(Run({"click", "MenuWnd", "switch_account"}).status, 0);
  EXPECT_EQ(Text("status_label"), "菜单:switch_account");

  std::string png = (dir_.GetPath() / "demo.png").string();
  EXPECT_EQ(Run({"png", "DemoWnd", png}).status, 0);
  EXPECT_EQ(access(png.c_str(), R_OK), 0);

  EXPECT_EQ(Run({"text", "NoSuchWnd", "x"}).status, 1);
  EXPECT_EQ(Run({"bogus"}).status, 1);

  // Closing the window ends the program.
  EXPECT_EQ(Run({"click", "DemoWnd", "close_btn"}).status, 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid_, &status, 0), pid_);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  pid_ = -1;
}

}  // namespace
