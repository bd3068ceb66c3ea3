// The demo program on a real X server: what the X server itself reports
// (xwininfo, screenshots), not only our own bookkeeping.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

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
  // Plain parsing: std::regex trips a false uninitialised warning in the
  // sanitizer build.
  auto field = [&](const char* name) {
    size_t at = info.find(std::string(name) + ":");
    if (at == std::string::npos)
      return -1;
    return atoi(info.c_str() + at + strlen(name) + 1);
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
    pid_ = LaunchDemo(x, args, socket_, log_);
    ASSERT_GT(pid_, 0);
  }
  pid_t LaunchDemo(XServerForTesting& x,
                   std::vector<std::string> args,
                   const std::string& socket,
                   const std::string& log) {
    args.insert(args.begin(), ProgramDir() + "/duilib-demo");
    // The program's standard error goes to a file the test reads.
    std::vector<std::string> shell = {"sh", "-c", "exec \"$0\" \"$@\" 2>'" + log + "'"};
    shell.insert(shell.end(), args.begin(), args.end());
    return x.Launch(shell, {"TERN_AUTOMATION=" + socket,
                            "TERN_MACHINE_ROOT=" + (dir_.GetPath() / "machine").string(),
                            "HOME=" + dir_.GetPath().string()});
  }
  // Runs tern-automate; its printed fields, or "error: ..." on failure.
  std::string Automate(const std::string& args) { return AutomateAt(socket_, args); }
  std::string AutomateAt(const std::string& socket, const std::string& args) {
    std::string cmd = "'" + ProgramDir() + "/tern-automate' --timeout 10000 --socket '" + socket +
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
  std::string WindowOf(XServerForTesting& x, pid_t pid = 0) {
    std::string out = x.Shell("timeout 10 xdotool search --sync --onlyvisible --pid " +
                              std::to_string(pid ? pid : pid_));
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

// The centre of a control in screen pixels, from the automation's "rect".
std::string CentreOf(const std::string& rect_answer) {
  int l = 0, t = 0, r = 0, b = 0;
  if (std::sscanf(rect_answer.c_str(), "%d,%d,%d,%d", &l, &t, &r, &b) != 4)
    return "0 0";
  return std::to_string((l + r) / 2) + " " + std::to_string((t + b) / 2);
}

// Real mouse and keyboard input from the X server: a click outside closes a
// menu, Tab and Shift+Tab move the focus, typed text lands in the focused edit.
TEST_F(DesktopTest, OutsideClickClosesMenuAndTabMovesFocus) {
  XServerForTesting x;
  ASSERT_TRUE(x.Start(false));
  Launch(x, {});
  ASSERT_EQ(Automate("wait DemoWnd").find("error"), std::string::npos);
  ASSERT_FALSE(WindowOf(x).empty());
  x.Shell("xdotool mousemove " + CentreOf(Automate("rect DemoWnd menu_btn")) + " click 1");
  ASSERT_EQ(Automate("wait MenuWnd").find("error"), std::string::npos);
  // Click on the window's status line, away from the menu.
  x.Shell("xdotool mousemove " + CentreOf(Automate("rect DemoWnd status_label")) + " click 1");
  std::string windows;
  for (int i = 0; i < 100; ++i) {
    windows = Automate("windows");
    if (windows.find("MenuWnd") == std::string::npos)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(windows.find("MenuWnd"), std::string::npos) << windows;

  x.Shell("xdotool mousemove " + CentreOf(Automate("rect DemoWnd account_edit")) +
          " click 1 type 138");
  x.Shell("xdotool key Tab type pw");
  Automate("text DemoWnd passwd_edit");  // answers after the input above
  EXPECT_EQ(Automate("text DemoWnd account_edit"), "138\n");
  EXPECT_EQ(Automate("text DemoWnd passwd_edit"), "pw\n");
  EXPECT_NE(Automate("state DemoWnd passwd_edit").find("focused=1"), std::string::npos);
  x.Shell("xdotool key shift+Tab");
  std::string state;
  for (int i = 0; i < 100; ++i) {
    state = Automate("state DemoWnd account_edit");
    if (state.find("focused=1") != std::string::npos)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_NE(state.find("focused=1"), std::string::npos) << state;
}

// Copy in one program, paste in another: the X clipboard carries the text;
// a password edit copies nothing.
TEST_F(DesktopTest, ClipboardRoundTripBetweenTwoPrograms) {
  XServerForTesting x;
  ASSERT_TRUE(x.Start(false));
  Launch(x, {});
  ASSERT_EQ(Automate("wait DemoWnd").find("error"), std::string::npos);
  ASSERT_FALSE(WindowOf(x).empty());
  auto keys_in = [&](const std::string& socket, const std::string& control,
                     const std::string& keys) {
    x.Shell("xdotool mousemove " + CentreOf(AutomateAt(socket, "rect DemoWnd " + control)) +
            " click 1 " + keys);
    AutomateAt(socket, "text DemoWnd " + control);  // answers after the input
  };
  keys_in(socket_, "account_edit", "type 13800");
  x.Shell("xdotool key ctrl+a ctrl+c");
  keys_in(socket_, "passwd_edit", "type secret");
  x.Shell("xdotool key ctrl+a ctrl+c ctrl+x");
  EXPECT_EQ(Automate("text DemoWnd passwd_edit"), "secret\n");
  // The second program opens on top of the first, at the same place.
  std::string socket2 = (dir_.GetPath() / "ui2.sock").string();
  pid_t second = LaunchDemo(x, {}, socket2, (dir_.GetPath() / "stderr2.log").string());
  ASSERT_GT(second, 0);
  ASSERT_EQ(AutomateAt(socket2, "wait DemoWnd").find("error"), std::string::npos);
  ASSERT_FALSE(WindowOf(x, second).empty());
  keys_in(socket2, "account_edit", "key ctrl+v");
  std::string pasted;
  for (int i = 0; i < 100; ++i) {
    pasted = AutomateAt(socket2, "text DemoWnd account_edit");
    if (pasted != "\n")
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // What the first program copied, not its password.
  EXPECT_EQ(pasted, "13800\n");
  XServerForTesting::Stop(second);
}

// With a window manager: minimising from the desktop reaches the window as
// SC_MINIMIZE and unmaps it; activating it again restores it with SC_RESTORE.
TEST_F(DesktopTest, MinimiseAndRestoreFromTheWindowManager) {
  XServerForTesting x;
  ASSERT_TRUE(x.Start(true));
  Launch(x, {});
  ASSERT_EQ(Automate("wait DemoWnd").find("error"), std::string::npos);
  std::string wid = WindowOf(x);
  ASSERT_FALSE(wid.empty());
  x.Shell("xdotool windowminimize --sync " + wid);
  std::string status;
  for (int i = 0; i < 100; ++i) {
    status = Automate("text DemoWnd status_label");
    if (status == "系统:最小化\n")
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(status, "系统:最小化\n");
  EXPECT_FALSE(ReadGeometry(x, wid).viewable);
  x.Shell("xdotool windowactivate --sync " + wid);
  for (int i = 0; i < 100; ++i) {
    status = Automate("text DemoWnd status_label");
    if (status == "系统:还原\n")
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(status, "系统:还原\n");
  EXPECT_TRUE(ReadGeometry(x, wid).viewable);
}

// A tray host of our own on a private session bus: it takes the
// StatusNotifierItem registrations, as a desktop's tray does.
class WatcherForTesting {
 public:
  ~WatcherForTesting() {
    if (bus_)
      g_object_unref(bus_);
    if (context_) {
      g_main_context_pop_thread_default(context_);
      g_main_context_unref(context_);
    }
    if (daemon_pid_ > 0)
      kill(daemon_pid_, SIGTERM);
  }
  bool Start() {
    FILE* p = popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
    if (!p)
      return false;
    char line[512];
    if (fgets(line, sizeof(line), p))
      address_ = line;
    if (fgets(line, sizeof(line), p))
      daemon_pid_ = std::atoi(line);
    pclose(p);
    while (!address_.empty() && address_.back() == '\n')
      address_.pop_back();
    if (address_.empty())
      return false;
    context_ = g_main_context_new();
    g_main_context_push_thread_default(context_);
    bus_ = g_dbus_connection_new_for_address_sync(
        address_.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (!bus_)
      return false;
    static const char kXml[] =
        "<node><interface name='org.kde.StatusNotifierWatcher'>"
        "<method name='RegisterStatusNotifierItem'><arg type='s' direction='in'/></method>"
        "</interface></node>";
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kXml, nullptr);
    static const GDBusInterfaceVTable vtable = {
        [](GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar*,
           GVariant* params, GDBusMethodInvocation* invocation, gpointer self) {
          const gchar* path = nullptr;
          g_variant_get(params, "(&s)", &path);
          auto* w = static_cast<WatcherForTesting*>(self);
          w->item_sender_ = sender;
          w->item_path_ = path;
          g_dbus_method_invocation_return_value(invocation, nullptr);
        },
        nullptr,
        nullptr,
        {}};
    g_dbus_connection_register_object(bus_, "/StatusNotifierWatcher", node->interfaces[0], &vtable,
                                      this, nullptr, nullptr);
    g_dbus_node_info_unref(node);
    GVariant* owned = g_dbus_connection_call_sync(
        bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "RequestName", g_variant_new("(su)", "org.kde.StatusNotifierWatcher", 0u), nullptr,
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    if (!owned)
      return false;
    g_variant_unref(owned);
    return true;
  }
  const std::string& address() const { return address_; }
  // Serves the bus until an item registered or 10 s passed.
  bool WaitForItem() {
    for (int i = 0; i < 1000 && item_path_.empty(); ++i) {
      while (g_main_context_iteration(context_, FALSE)) {
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !item_path_.empty();
  }
  std::string Title() {
    GVariant* r = g_dbus_connection_call_sync(
        bus_, item_sender_.c_str(), item_path_.c_str(), "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.kde.StatusNotifierItem", "Title"), nullptr,
        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    if (!r)
      return "";
    GVariant* inner = nullptr;
    g_variant_get(r, "(v)", &inner);
    std::string title = g_variant_get_string(inner, nullptr);
    g_variant_unref(inner);
    g_variant_unref(r);
    return title;
  }
  bool Activate() {
    GVariant* r = g_dbus_connection_call_sync(
        bus_, item_sender_.c_str(), item_path_.c_str(), "org.kde.StatusNotifierItem", "Activate",
        g_variant_new("(ii)", 10, 10), nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    if (r)
      g_variant_unref(r);
    return r != nullptr;
  }

 private:
  std::string address_;
  pid_t daemon_pid_ = -1;
  GMainContext* context_ = nullptr;
  GDBusConnection* bus_ = nullptr;
  std::string item_sender_;
  std::string item_path_;
};

// The tray icon registers with the desktop's tray host, carries the tip, and
// activating it (a left click in the tray) restores the minimised window.
TEST_F(DesktopTest, TrayIconRegistersAndActivationRestoresTheWindow) {
  if (std::system("command -v dbus-daemon >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "dbus-daemon is not installed";
  XServerForTesting x;
  ASSERT_TRUE(x.Start(true));
  WatcherForTesting watcher;
  ASSERT_TRUE(watcher.Start());
  std::vector<std::string> shell = {"sh", "-c", "exec \"$0\" \"$@\" 2>'" + log_ + "'",
                                    ProgramDir() + "/duilib-demo"};
  pid_ = x.Launch(shell,
                  {"TERN_AUTOMATION=" + socket_, "DBUS_SESSION_BUS_ADDRESS=" + watcher.address(),
                   "TERN_MACHINE_ROOT=" + (dir_.GetPath() / "machine").string(),
                   "HOME=" + dir_.GetPath().string()});
  ASSERT_GT(pid_, 0);
  ASSERT_EQ(Automate("wait DemoWnd").find("error"), std::string::npos);
  std::string wid = WindowOf(x);
  ASSERT_FALSE(wid.empty());
  ASSERT_TRUE(watcher.WaitForItem()) << ReadFile(log_);
  EXPECT_EQ(watcher.Title(), "Tern 示例");
  x.Shell("xdotool windowminimize --sync " + wid);
  for (int i = 0; i < 100 && ReadGeometry(x, wid).viewable; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_FALSE(ReadGeometry(x, wid).viewable);
  ASSERT_TRUE(watcher.Activate());
  std::string status;
  for (int i = 0; i < 100; ++i) {
    status = Automate("text DemoWnd status_label");
    if (status == "托盘:单击\n" && ReadGeometry(x, wid).viewable)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(status, "托盘:单击\n");
  EXPECT_TRUE(ReadGeometry(x, wid).viewable);
}

// A window that paints nothing is no square on the desktop: its X shape is
// empty (it stays mapped, so it keeps its taskbar entry), while an opaque
// window keeps its full shape.
TEST_F(DesktopTest, TransparentWindowShowsNoSquare) {
  XServerForTesting x;
  ASSERT_TRUE(x.Start(false));
  Launch(x, {"--transparent"});
  ASSERT_EQ(Automate("wait TransparentWnd").find("error"), std::string::npos);
  std::string ids =
      x.Shell("timeout 10 xdotool search --sync --onlyvisible --pid " + std::to_string(pid_));
  std::istringstream in(ids);
  std::string wid, small, big;
  while (in >> wid) {
    if (ReadGeometry(x, wid).width == 20)
      small = wid;
    else
      big = wid;
  }
  ASSERT_FALSE(small.empty()) << ids;
  // The X server's own account of the window's shape.
  std::string shape;
  for (int i = 0; i < 50; ++i) {
    shape = x.Shell("xwininfo -shape -id " + small);
    if (shape.find("Window shape extents:  0x0+") != std::string::npos)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_NE(shape.find("Window shape extents:  0x0+"), std::string::npos) << shape;
  EXPECT_NE(x.Shell("xwininfo -shape -id " + big).find("No window shape defined"),
            std::string::npos);
  EXPECT_TRUE(ReadGeometry(x, small).viewable);
}

}  // namespace
}  // namespace DuiLib
