// The demo program on a real X server: what the X server itself reports
// (xwininfo, screenshots), not only our own bookkeeping.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "base/scoped_temp_dir.h"
#include "duilib/x_server_for_testing.h"

namespace DuiLib {
namespace {

std::string ProgramDir() {
  const char* dir = std::getenv("TERN_PROGRAM_DIR");
  return dir ? dir : "";
}

struct Geometry {
  int x = -1, y = -1, width = -1, height = -1;
  bool viewable = false;
};

Geometry ReadGeometry(const XServerForTesting& x, const std::string& wid) {
  std::string info = x.Shell("xwininfo -id " + wid);
  Geometry g;
  auto field = [&](const char* name) {
    std::smatch m;
    std::regex re(std::string(name) + ":\\s+(-?\\d+)");
    return std::regex_search(info, m, re) ? std::stoi(m[1]) : -1;
  };
  g.x = field("Absolute upper-left X");
  g.y = field("Absolute upper-left Y");
  g.width = field("Width");
  g.height = field("Height");
  g.viewable = info.find("IsViewable") != std::string::npos;
  return g;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!XServerForTesting::Available())
      GTEST_SKIP() << "Xvfb is not installed";
    if (ProgramDir().empty())
      GTEST_SKIP() << "TERN_PROGRAM_DIR is not set (run through ctest)";
    ASSERT_TRUE(dir_.CreateUniqueTempDir());
    socket_ = (dir_.GetPath() / "ui.sock").string();
    log_ = (dir_.GetPath() / "stderr.log").string();
  }
  void TearDown() override { XServerForTesting::Stop(pid_); }

  void Launch(XServerForTesting& x, std::vector<std::string> args) {
    args.insert(args.begin(), ProgramDir() + "/duilib-demo");
    // The program's standard error goes to a file the test reads.
    std::vector<std::string> shell = {"sh", "-c", "exec \"$0\" \"$@\" 2>'" + log_ + "'"};
    shell.insert(shell.end(), args.begin(), args.end());
    pid_ = x.Launch(shell, {"TERN_AUTOMATION=" + socket_,
                            "TERN_MACHINE_ROOT=" + (dir_.GetPath() / "machine").string(),
                            "HOME=" + dir_.GetPath().string()});
    ASSERT_GT(pid_, 0);
  }
  // Runs tern-automate; its printed fields, or "error: ..." on failure.
  std::string Automate(const std::string& args) {
    std::string cmd = "'" + ProgramDir() + "/tern-automate' --timeout 10000 --socket '" + socket_ +
                      "' " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[512];
    while (p && fgets(buf, sizeof(buf), p))
      out += buf;
    int status = p ? pclose(p) : -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
      return "error: " + out;
    return out;
  }
  // The X window of the program, once it is mapped.
  std::string WindowOf(XServerForTesting& x) {
    std::string out =
        x.Shell("timeout 10 xdotool search --sync --onlyvisible --pid " + std::to_string(pid_));
    std::istringstream in(out);
    std::string wid;
    in >> wid;
    return wid;
  }

  base::ScopedTempDir dir_;
  std::string socket_;
  std::string log_;
  pid_t pid_ = -1;
};

// The window maps where and as large as the program says, and SIGTERM (a
// logout, `kill`) ends the program in order: windows closed, loop left,
// normal shutdown, exit status 0 — not a hang, not a death by the signal.
TEST_F(DesktopTest, WindowMapsAtItsPlaceAndSigtermEndsTheProgramInOrder) {
  XServerForTesting x;
  ASSERT_TRUE(x.Start(false));
  Launch(x, {});
  std::string waited = Automate("wait DemoWnd");
  ASSERT_EQ(waited.find("error"), std::string::npos) << waited << ReadFile(log_);
  std::string wid = WindowOf(x);
  ASSERT_FALSE(wid.empty());
  Geometry g = ReadGeometry(x, wid);
  EXPECT_TRUE(g.viewable);
  EXPECT_EQ(g.width, 300);
  EXPECT_EQ(g.height, 500);
  // Our rectangle, as automation reports it, is where the X server put it.
  std::string windows = Automate("windows");
  std::string rect = std::to_string(g.x) + "," + std::to_string(g.y) + "," +
                     std::to_string(g.x + 300) + "," + std::to_string(g.y + 500);
  EXPECT_NE(windows.find("DemoWnd\tTern智能加速器\t1\t" + rect), std::string::npos)
      << windows << " vs " << rect;

  ASSERT_EQ(kill(pid_, SIGTERM), 0);
  int status = 0;
  ASSERT_EQ(XServerForTesting::WaitExit(pid_, 10, &status), 0) << "SIGTERM was ignored";
  pid_ = -1;
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::string log = ReadFile(log_);
  EXPECT_NE(log.find("Signal 15 received"), std::string::npos) << log;
  EXPECT_NE(log.find("duilib-demo: shut down"), std::string::npos) << log;
}

// A box asked for before any window exists is on screen, centred, drawn,
// reachable by automation, and returns the button pressed.
TEST_F(DesktopTest, MessageBoxWithoutAnyWindowIsShownAndAnswers) {
  XServerForTesting x;
  ASSERT_TRUE(x.Start(false));
  const std::string text =
      "温馨提示：登录过于频繁，请使用手机短信验证码进行验证登录，点击确定将跳转到短信验证登录界面"
      "。";
  Launch(x, {"--ask", text});
  std::string waited = Automate("wait '#32770'");
  ASSERT_EQ(waited.find("error"), std::string::npos) << waited << ReadFile(log_);
  std::string wid = WindowOf(x);
  ASSERT_FALSE(wid.empty());
  Geometry g = ReadGeometry(x, wid);
  EXPECT_TRUE(g.viewable);
  EXPECT_GT(g.width, 100);
  // Centred on the work area (the screen less the 40-pixel taskbar).
  EXPECT_NEAR(g.x + g.width / 2, 640, 1);
  EXPECT_NEAR(g.y + g.height / 2, 380, 1);
  std::string shot = (dir_.GetPath() / "box.png").string();
  x.Shell("import -window root -crop " + std::to_string(g.width) + "x" + std::to_string(g.height) +
          "+" + std::to_string(g.x) + "+" + std::to_string(g.y) + " '" + shot + "'");
  if (const char* keep = std::getenv("TERN_KEEP_SCREENSHOTS"))
    x.Shell("cp '" + shot + "' '" + keep + "/message_box.png'");
  // Drawn: a white box, not an empty black square.
  std::string mean = x.Shell("convert '" + shot + "' -format '%[fx:mean]' info:");
  EXPECT_GT(std::atof(mean.c_str()), 0.6) << mean;
  EXPECT_EQ(Automate("msgbox"), text + "\n");
  EXPECT_EQ(Automate("msgbox ok"), "");
  int status = 0;
  ASSERT_EQ(XServerForTesting::WaitExit(pid_, 10, &status), 0);
  pid_ = -1;
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);  // IDOK
}

}  // namespace
}  // namespace DuiLib
