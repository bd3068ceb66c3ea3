// Holds every window file of the three skin archives to what the programs
// look up: each named control exists with the expected kind, each window
// has its fixed size, and every image a file names is in the archive.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "client/windows/skin_setup.h"
#include "duilib/button_ui.h"
#include "duilib/container_ui.h"
#include "duilib/window_impl_base.h"
#include "duilib/zip_archive.h"
#include "win32/resource.h"

namespace {

struct Expected {
  const char* name;
  const wchar_t* kind;  // an interface the control must answer
};

struct WindowFile {
  const char* archive;
  const wchar_t* file;
  SIZE size;
  std::vector<Expected> controls;
};

const wchar_t kButton[] = L"Button";
const wchar_t kOption[] = L"Option";
const wchar_t kLabel[] = L"Label";
const wchar_t kEdit[] = L"Edit";
const wchar_t kRichEdit[] = L"RichEdit";
const wchar_t kTab[] = L"TabLayout";
const wchar_t kBox[] = L"Container";
const wchar_t kList[] = L"List";
const wchar_t kProgress[] = L"Progress";
const wchar_t kRing[] = L"Ring";
const wchar_t kCircle[] = L"CircleProgress";
const wchar_t kControl[] = L"Control";
const wchar_t kMenuItem[] = L"MenuElement";

const std::vector<WindowFile>& Files() {
  static const std::vector<WindowFile> files = {
      {"client",
       L"LoginWnd.xml",
       {290, 482},
       {{"version_label", kLabel},
        {"login_register_swich", kTab},
        {"swich_login_page", kTab},
        {"login_page", kBox},
        {"register_page", kBox},
        {"account_password_page", kBox},
        {"phone_login_page", kBox},
        {"reset_password_page", kBox},
        {"reset_password_last_page", kBox},
        {"login_wnd_min", kButton},
        {"login_wnd_close", kButton},
        {"bottom_page", kBox},
        {"spread_hidden_page_button", kButton},
        {"auto_login", kOption},
        {"remember_passwd", kOption},
        {"register_account_btn", kButton},
        {"find_passwd_btn", kButton},
        {"account_edit", kEdit},
        {"passwd_edit", kEdit},
        {"login_tips", kLabel},
        {"tips_icon", kControl},
        {"login_btn", kButton},
        {"swicht_login_btn", kButton},
        {"phone_login_btn", kButton},
        {"send_captcha_btn", kButton},
        {"resend_captcha_btn", kButton},
        {"switch_account_login_btn", kButton},
        {"phone_edit", kEdit},
        {"message_code_edit", kEdit},
        {"phone_login_tips", kLabel},
        {"register_phone_edit", kEdit},
        {"register_passwd_edit", kEdit},
        {"register_repeat_passwd_edit", kEdit},
        {"register_captcha_edit", kEdit},
        {"register_phone_login_tips", kLabel},
        {"register__btn", kButton},
        {"register_send_captcha_btn", kButton},
        {"send_captcha_disable_btn", kButton},
        {"switch_login_btn", kButton},
        {"reset_phone_login_btn", kButton},
        {"reset_send_captcha_btn", kButton},
        {"reset_resend_captcha_btn", kButton},
        {"reset_switch_to_login_btn", kButton},
        {"reset_phone_edit", kEdit},
        {"reset_message_code_edit", kEdit},
        {"reset_phone_login_tips", kLabel},
        {"reset_passwd_confirm_btn", kButton},
        {"reset_return_login_btn", kButton},
        {"reset_passwd_edit", kEdit},
        {"preset_passwd_again_edit", kEdit},
        {"reset_password_tips", kLabel}}},
      {"client",
       L"MainWnd.xml",
       {360, 560},
       {{"version_label", kLabel},
        {"pop_wnd_tile", kLabel},
        {"main_wnd_min", kButton},
        {"main_wnd_close", kButton},
        {"account_operater_btn", kButton},
        {"begin_speed_btn", kButton},
        {"speed_btn_new", kButton},
        {"stop_speed_btn", kButton},
        {"check_update_btn", kButton},
        {"account_operater_layout", kBox},
        {"main_wnd_switch", kTab},
        {"acc_normal", kBox},
        {"acc_ing", kBox},
        {"acc_success", kBox},
        {"acc_failed_wnd", kBox},
        {"switchAccount", kButton},
        {"loginOut", kButton},
        {"vipinfo", kButton},
        {"speed_game", kBox},
        {"speeding_game_name", kLabel},
        {"game_icon_ing", kControl},
        {"repair_tools_btn", kButton},
        {"game_time_proval", kCircle},
        {"speedgame_suc", kBox},
        {"game_icon_btn", kButton},
        {"begin_speeding_btn", kButton},
        {"acc_time_label", kLabel},
        {"speedgame_ingerr", kBox},
        {"speed_status_ingerr", kLabel},
        {"gameerr_icon_btn", kButton},
        {"bottom_menu_wnd", kBox},
        {"setting_btn", kButton},
        {"node_label", kLabel},
        {"speed_mode_label", kLabel},
        {"warning_wnd", kBox},
        {"warning_btn_ok", kButton},
        {"warning_btn_cancel", kButton},
        {"warning_text", kLabel},
        {"pop_wnd_close", kButton},
        {"updating_wnd", kBox},
        {"no_update_wnd", kBox},
        {"need_update_wnd", kBox},
        {"no_update_text", kLabel},
        {"need_update_text", kLabel},
        {"updating_close", kButton},
        {"no_update_close", kButton},
        {"no_update_ok", kButton},
        {"need_update_close", kButton},
        {"need_update_ok", kButton},
        {"cancel_update", kButton},
        {"recharge_btn", kButton}}},
      {"client",
       L"Menu_Tray.xml",
       {108, 104},
       {{"open_main_wnd", kMenuItem}, {"switch_account", kMenuItem}, {"exit", kMenuItem}}},
      {"client",
       L"SlideWnd.xml",
       {382, 480},
       {{"slider_wnd_switch", kTab},
        {"tab_acc", kBox},
        {"tab_VIP", kBox},
        {"tab_tool", kBox},
        {"acc_setting_close_btn", kButton},
        {"refresh_animation_wnd", kBox},
        {"refresh_delay_btn", kButton},
        {"alternative_node", kOption},
        {"node_lists_wnd", kBox},
        {"node_lists", kList},
        {"get_nodes_failed", kButton},
        {"node_animation", kRing},
        {"select_server_label", kLabel},
        {"select_server_wnd", kBox},
        {"auto_server", kOption},
        {"sea_server", kOption},
        {"ea_server", kOption},
        {"na_server", kOption},
        {"eur_sever", kOption},
        {"speed_mode_label", kLabel},
        {"confirm_btn", kButton},
        {"select_mode_wnd", kBox},
        {"mode0", kOption},
        {"mode1", kOption},
        {"mode2", kOption},
        {"mode3", kOption},
        {"mode4", kOption},
        {"acc_warning_wnd", kBox},
        {"acc_warning_close", kButton},
        {"acc_warning_text", kLabel},
        {"acc_warning_ok", kButton},
        {"acc_warning_cancel", kButton},
        {"member_close_btn", kButton},
        {"member_account", kLabel},
        {"vip_date", kLabel},
        {"open_vip_btn", kButton},
        {"acc_expir_wnd", kBox},
        {"acc_expir_close", kButton},
        {"acc_expir_btn", kButton},
        {"open_member_info", kBox},
        {"o_mem_close", kButton},
        {"open_mem_remarks", kLabel},
        {"stop_speed_btn", kButton},
        {"cancel_acc_btn", kButton},
        {"online_service", kButton},
        {"member_info_center", kButton},
        {"pc_notice", kButton},
        {"close_tool_btn", kButton},
        {"reset_network_btn", kButton},
        {"system_service_btn", kButton},
        {"install_tap_btn", kButton},
        {"uninstall_tap_btn", kButton},
        {"toolbox_popup_wnd", kBox},
        {"toolbox_popup_title", kLabel},
        {"toolbox_popup_text", kLabel},
        {"toolbox_popup_close", kButton},
        {"tool_success_wnd", kBox},
        {"tool_success_title", kLabel},
        {"tool_success_text", kLabel},
        {"tool_success_close", kButton},
        {"tool_success_ok_btn", kButton},
        {"tool_failed_wnd", kBox},
        {"tool_failed_title", kLabel},
        {"tool_failed_text", kLabel},
        {"tool_failed_close", kButton},
        {"tool_failed_ok_btn", kButton},
        {"reset_network_wnd", kBox},
        {"reset_net_title", kLabel},
        {"reset_net_close", kButton},
        {"reboot_pc", kButton},
        {"reset_net_cancel", kButton},
        {"service_state_w", kBox},
        {"service_info", kLabel},
        {"service_text", kLabel},
        {"service_ok_btn", kButton},
        {"service_state_close_1", kButton},
        {"install_tap_failed_wnd", kBox},
        {"install_tap_failed_title", kLabel},
        {"install_tap_failed_close", kButton},
        {"install_tap_failed_ok", kButton},
        {"install_tap_failed_cancel", kButton}}},
      {"client",
       L"PayWnd.xml",
       {450, 366},
       {{"close_btn", kButton},     {"pay_btn", kButton},           {"month_price", kButton},
        {"season_price", kButton},  {"year_price", kButton},        {"origin_month", kLabel},
        {"origin_season", kLabel},  {"origin_year", kLabel},        {"act_month", kControl},
        {"act_season", kControl},   {"act_year", kControl},         {"des_detail", kLabel},
        {"pay_money", kLabel},      {"plus_days", kLabel},          {"pay_tab", kTab},
        {"pay_content_wnd", kBox},  {"pay_compelete_wnd", kBox},    {"qrcode", kControl},
        {"qr_oder_number", kLabel}, {"qr_user_account", kLabel},    {"qr_goods_type", kLabel},
        {"qr_pay_money", kLabel},   {"pay_compelete_btn", kButton}, {"expir_lab", kLabel}}},
      {"client",
       L"NoticeWnd.xml",
       {300, 200},
       {{"close_btn", kButton},
        {"title", kLabel},
        {"content", kLabel},
        {"click_detail_btn", kButton},
        {"no_more_remind", kOption}}},
      {"client",
       L"QrCodeWnd.xml",
       {470, 366},
       {{"title", kLabel},
        {"close_btn", kButton},
        {"pay_tab", kTab},
        {"qrcode_wnd", kBox},
        {"qrcode_qq", kControl},
        {"qrcode_qq_name", kLabel},
        {"qrcode_wechat", kControl},
        {"qrcode_wechat_name", kLabel}}},
      {"client", L"ParentFree.xml", {20, 20}, {}},
      {"client",
       L"MessageBox.xml",
       {400, 186},
       {{"tips_rich_edit", kRichEdit},
        {"version_label", kLabel},
        {"confirm_button", kButton},
        {"close_button", kButton}}},
      {"client", L"PopWnd.xml", {360, 40}, {{"acc_msg_wnd", kBox}, {"acc_msg_show", kLabel}}},
      {"client", L"backbox.xml", {360, 200}, {{"ok_btn", kButton}, {"cancel_btn", kButton}}},
      {"client", L"Menu_Show.xml", {108, 8}, {}},
      {"updater",
       L"UpgraderMainWnd.xml",
       {420, 180},
       {{"status_label", kLabel}, {"progress", kProgress}}},
      {"uninstal",
       L"UninstallMainWnd.xml",
       {550, 380},
       {{"closebtn", kButton},
        {"uninstall", kButton},
        {"cancel", kButton},
        {"progress_tab", kTab},
        {"progress", kProgress},
        {"opt0", kOption},
        {"opt1", kOption},
        {"opt2", kOption},
        {"opt3", kOption},
        {"otherEdit", kEdit},
        {"finish", kButton}}},
  };
  return files;
}

// Initial texts the programs rely on, exactly as shown to the user.
struct InitialText {
  const char* archive;
  const wchar_t* file;
  const char* control;
  const wchar_t* text;
};

const InitialText kInitialTexts[] = {
    {"client", L"SlideWnd.xml", "refresh_delay_btn", L"延迟"},
    {"client", L"SlideWnd.xml", "alternative_node", L" 直连节点"},
    {"client", L"SlideWnd.xml", "get_nodes_failed", L"节点获取出现异常"},
    {"client", L"SlideWnd.xml", "auto_server", L" 自动"},
    {"client", L"SlideWnd.xml", "sea_server", L" 东南亚"},
    {"client", L"SlideWnd.xml", "ea_server", L" 韩服"},
    {"client", L"SlideWnd.xml", "na_server", L" 美服"},
    {"client", L"SlideWnd.xml", "eur_sever", L" 欧服"},
    {"client", L"SlideWnd.xml", "mode0", L"自动模式"},
    {"client", L"SlideWnd.xml", "mode1", L"模式一"},
    {"client", L"SlideWnd.xml", "mode4", L"模式四"},
    {"client", L"SlideWnd.xml", "member_account", L"您的账号："},
    {"client", L"SlideWnd.xml", "vip_date", L"会员有效期至："},
    {"client", L"SlideWnd.xml", "open_vip_btn", L"会员续费"},
    {"client", L"SlideWnd.xml", "acc_expir_btn", L"立即续费"},
    {"client", L"SlideWnd.xml", "online_service", L"联系客服"},
    {"client", L"SlideWnd.xml", "member_info_center", L"会员中心"},
    {"client", L"SlideWnd.xml", "pc_notice", L"官网公告"},
    {"client", L"SlideWnd.xml", "reset_network_btn", L"立即修复"},
    {"client", L"SlideWnd.xml", "system_service_btn", L"立即检测"},
    {"client", L"SlideWnd.xml", "install_tap_btn", L"立即安装"},
    {"client", L"SlideWnd.xml", "uninstall_tap_btn", L"立即卸载"},
    {"client", L"SlideWnd.xml", "reboot_pc", L"立即重启"},
    {"client", L"SlideWnd.xml", "install_tap_failed_ok", L"重新安装"},
    {"client", L"LoginWnd.xml", "reset_phone_login_btn", L"下一步"},
    {"client", L"QrCodeWnd.xml", "title", L"联系方式"},
    {"client", L"QrCodeWnd.xml", "qrcode_qq_name", L"玩家QQ群"},
    {"client", L"QrCodeWnd.xml", "qrcode_wechat_name", L"微信公众号"},
    {"updater", L"UpgraderMainWnd.xml", "status_label", L"正在下载更新文件，请稍后..."},
    {"uninstal", L"UninstallMainWnd.xml", "opt0", L"安装其他版本"},
    {"uninstal", L"UninstallMainWnd.xml", "opt1", L"延迟高，加速效果不好"},
    {"uninstal", L"UninstallMainWnd.xml", "opt2", L"不稳定，加速经常失败"},
    {"uninstal", L"UninstallMainWnd.xml", "opt3", L"没有找到我想加速的游戏"},
};

std::string ReadArchive(const std::string& archive) {
  std::ifstream in(std::string(TERN_SKIN_ZIP_DIR) + "/" + archive + "_skin.zip", std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class SkinWindow : public DuiLib::WindowImplBase {
 public:
  explicit SkinWindow(const wchar_t* file) : file_(file) {}
  DuiLib::CPaintManagerUI& pm() { return m_pm; }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"SkinTestWindow"; }
  DuiLib::CDuiString GetSkinFile() override { return file_.c_str(); }

 private:
  std::wstring file_;
};

class SkinArchiveTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    DuiLib::CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
    RegisterCustomControls();
  }

  // Makes `archive` the program's skin, as each program's start-up does.
  void UseArchive(const std::string& archive) {
    static std::map<std::string, std::string>* loaded = new std::map<std::string, std::string>;
    std::string& bytes = (*loaded)[archive];
    if (bytes.empty())
      bytes = ReadArchive(archive);
    ASSERT_FALSE(bytes.empty()) << archive << " archive was not built";
    win32::RegisterResource(L"IDR_ZIPRES", L"ZIPRES", bytes.data(), bytes.size());
    ASSERT_TRUE(SetupSkin());
    bytes_ = &bytes;
  }

  std::string* bytes_ = nullptr;
};

TEST_F(SkinArchiveTest, EveryWindowFileHasItsSizeAndNamedControls) {
  for (const WindowFile& wf : Files()) {
    SCOPED_TRACE(DuiLib::ToUtf8(wf.file));
    UseArchive(wf.archive);
    SkinWindow window(wf.file);
    ASSERT_TRUE(window.Create(nullptr, L"t", UI_WNDSTYLE_DIALOG & ~WS_VISIBLE, 0));
    SIZE init = window.pm().GetInitSize();
    EXPECT_EQ(init.cx, wf.size.cx);
    EXPECT_EQ(init.cy, wf.size.cy);
    RECT client;
    GetClientRect(window.GetHWND(), &client);
    EXPECT_EQ(client.right, wf.size.cx);
    EXPECT_EQ(client.bottom, wf.size.cy);
    // Windows do not resize: minimum and maximum equal the size.
    EXPECT_EQ(window.pm().GetMinInfo().cx, wf.size.cx);
    EXPECT_EQ(window.pm().GetMinInfo().cy, wf.size.cy);
    EXPECT_EQ(window.pm().GetMaxInfo().cx, wf.size.cx);
    EXPECT_EQ(window.pm().GetMaxInfo().cy, wf.size.cy);
    for (const Expected& e : wf.controls) {
      DuiLib::CControlUI* c = window.pm().FindControl(DuiLib::FromUtf8(e.name).c_str());
      ASSERT_NE(c, nullptr) << e.name;
      EXPECT_NE(c->GetInterface(e.kind), nullptr)
          << e.name << " is a " << DuiLib::ToUtf8(c->GetClass()) << ", wanted "
          << DuiLib::ToUtf8(e.kind);
    }
    DestroyWindow(window.GetHWND());
  }
}

// The node list shows whole 24-pixel node rows: no sliver of the next row at
// its bottom edge.
TEST_F(SkinArchiveTest, NodeListShowsWholeRows) {
  UseArchive("client");
  SkinWindow window(L"SlideWnd.xml");
  ASSERT_TRUE(window.Create(nullptr, L"t", UI_WNDSTYLE_DIALOG & ~WS_VISIBLE, 0));
  window.pm().PaintNow();
  auto* list = static_cast<DuiLib::CContainerUI*>(
      window.pm().FindControl(L"node_lists")->GetInterface(L"Container"));
  ASSERT_NE(list, nullptr);
  RECT pos = list->GetPos();
  RECT inset = list->GetInset();
  int view = (pos.bottom - inset.bottom) - (pos.top + inset.top);
  EXPECT_GE(view, 4 * 24);
  EXPECT_EQ(view % 24, 0) << "the list shows " << view << " pixels of rows";
  DestroyWindow(window.GetHWND());
}

TEST_F(SkinArchiveTest, InitialTextsAreTheProductTexts) {
  for (const InitialText& t : kInitialTexts) {
    SCOPED_TRACE(t.control);
    UseArchive(t.archive);
    SkinWindow window(t.file);
    ASSERT_TRUE(window.Create(nullptr, L"t", UI_WNDSTYLE_DIALOG & ~WS_VISIBLE, 0));
    DuiLib::CControlUI* c = window.pm().FindControl(DuiLib::FromUtf8(t.control).c_str());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->GetText().str(), t.text);
    DestroyWindow(window.GetHWND());
  }
}

TEST_F(SkinArchiveTest, OptionGroupsHelpTextsAndHiddenBoxes) {
  UseArchive("client");
  SkinWindow window(L"SlideWnd.xml");
  ASSERT_TRUE(window.Create(nullptr, L"t", UI_WNDSTYLE_DIALOG & ~WS_VISIBLE, 0));
  auto option = [&](const char* name) {
    return static_cast<DuiLib::COptionUI*>(
        window.pm().FindControl(DuiLib::FromUtf8(name).c_str())->GetInterface(L"Option"));
  };
  for (const char* name : {"auto_server", "sea_server", "ea_server", "na_server", "eur_sever"})
    EXPECT_STREQ(option(name)->GetGroup(), L"server") << name;
  EXPECT_TRUE(option("auto_server")->IsSelected());
  const std::pair<const char*, const wchar_t*> modes[] = {
      {"mode0", L"自动模式下，小Tern会自动帮您选择合适的加速模式"},
      {"mode1", L"IKEV2加速模式，速度快，穿透能力强，推荐此模式"},
      {"mode2",
       L"L2TP加速模式，连接、挂断速度快，要求防火墙支持，第一次使用会修正注册表（重启电脑后生效）"},
      {"mode3", L"PPTP加速模式，穿透能力强，有一定防网络闪断能力"},
      {"mode4", L"OpenVPN加速模式，穿透能力强，第一次使用需要安装虚拟网卡，推荐此模式"},
  };
  for (auto& [name, help] : modes) {
    EXPECT_STREQ(option(name)->GetGroup(), L"mode") << name;
    EXPECT_EQ(option(name)->GetToolTip().str(), help) << name;
  }
  for (const char* box :
       {"toolbox_popup_wnd", "tool_success_wnd", "tool_failed_wnd", "reset_network_wnd",
        "service_state_w", "install_tap_failed_wnd", "acc_warning_wnd", "acc_expir_wnd",
        "open_member_info", "get_nodes_failed"}) {
    DuiLib::CControlUI* c = window.pm().FindControl(DuiLib::FromUtf8(box).c_str());
    ASSERT_NE(c, nullptr) << box;
    EXPECT_FALSE(c->IsVisible()) << box << " should start hidden";
  }
  DestroyWindow(window.GetHWND());
}

// The acceleration controller selects the status pages of "main_wnd_switch"
// by name and changes controls that must be seen on a given page.
TEST_F(SkinArchiveTest, MainWindowStatusPagesAreSelectedByName) {
  UseArchive("client");
  SkinWindow window(L"MainWnd.xml");
  ASSERT_TRUE(window.Create(nullptr, L"t", UI_WNDSTYLE_DIALOG & ~WS_VISIBLE, 0));
  auto find = [&](const char* name) {
    return window.pm().FindControl(DuiLib::FromUtf8(name).c_str());
  };
  auto* tab = static_cast<DuiLib::CTabLayoutUI*>(find("main_wnd_switch")->GetInterface(kTab));
  ASSERT_NE(tab, nullptr);
  const std::pair<const char*, std::vector<const char*>> pages[] = {
      {"acc_normal", {"begin_speed_btn"}},
      {"acc_ing", {"speed_game", "begin_speeding_btn", "speeding_game_name", "game_icon_ing"}},
      {"acc_success",
       {"speedgame_suc", "game_time_proval", "acc_time_label", "stop_speed_btn", "game_icon_btn"}},
      {"acc_failed_wnd",
       {"speedgame_ingerr", "speed_status_ingerr", "speed_btn_new", "gameerr_icon_btn"}},
  };
  for (const auto& [page, inside] : pages) {
    SCOPED_TRACE(page);
    DuiLib::CControlUI* p = find(page);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetParent(), tab) << "not a page of main_wnd_switch";
    EXPECT_TRUE(tab->SelectItem(p));
    EXPECT_EQ(tab->GetCurSel(), tab->GetItemIndex(p));
    for (const char* name : inside) {
      DuiLib::CControlUI* c = find(name);
      ASSERT_NE(c, nullptr) << name;
      while (c && c != p)
        c = c->GetParent();
      EXPECT_EQ(c, p) << name << " is not on the page";
    }
  }
  EXPECT_EQ(tab->GetCount(), 4);
  DestroyWindow(window.GetHWND());
}

// Image names in a window file: plain values of *image="..." attributes
// and the file='...' part of image descriptions (also inside the &quot;
// quoted attribute lists of <Default> entries).
std::set<std::string> ImagesNamedIn(const std::string& xml) {
  std::set<std::string> out;
  for (size_t at = xml.find("file='"); at != std::string::npos; at = xml.find("file='", at + 1)) {
    size_t begin = at + 6;
    size_t end = xml.find('\'', begin);
    if (end != std::string::npos && end > begin)
      out.insert(xml.substr(begin, end - begin));
  }
  for (size_t at = xml.find("image=\""); at != std::string::npos;
       at = xml.find("image=\"", at + 1)) {
    size_t begin = at + 7;
    size_t end = xml.find('"', begin);
    std::string value = xml.substr(begin, end - begin);
    if (!value.empty() && value.find('=') == std::string::npos)
      out.insert(value);
  }
  return out;
}

TEST_F(SkinArchiveTest, EveryImageAFileNamesIsInItsArchive) {
  for (const char* archive : {"client", "updater", "uninstal"}) {
    SCOPED_TRACE(archive);
    std::string bytes = ReadArchive(archive);
    DuiLib::CZipArchive zip;
    ASSERT_TRUE(zip.Open(bytes.data(), bytes.size()));
    std::vector<std::string> names = zip.Names();
    std::set<std::string> entries(names.begin(), names.end());
    int files = 0;
    for (const std::string& name : names) {
      if (name.find('/') != std::string::npos || name.size() < 5 ||
          name.compare(name.size() - 4, 4, ".xml") != 0)
        continue;
      ++files;
      std::string xml;
      ASSERT_TRUE(zip.Read(name, &xml));
      for (std::string image : ImagesNamedIn(xml)) {
        std::replace(image.begin(), image.end(), '\\', '/');
        // Exact case: the ring's own loader matches names case-sensitively.
        EXPECT_TRUE(entries.count(image)) << name << " names missing image " << image;
      }
    }
    EXPECT_GT(files, 0);
  }
}

TEST_F(SkinArchiveTest, ClientArchiveCarriesQrCodesAnimationAndGameLogos) {
  std::string bytes = ReadArchive("client");
  DuiLib::CZipArchive zip;
  ASSERT_TRUE(zip.Open(bytes.data(), bytes.size()));
  std::vector<std::string> names = zip.Names();
  for (const char* required :
       {"TaskSkin/qrcode_qq.png", "TaskSkin/qrcode_wechat.png",
        "TaskSkin/node_refresh_animation.png", "TaskSkin/gamelogo/game_1.png"}) {
    std::string png;
    ASSERT_TRUE(zip.Read(required, &png)) << required;
    EXPECT_EQ(png.compare(0, 4, "\x89PNG"), 0) << required;
  }
  // Entry names use forward slashes only.
  for (const std::string& name : names)
    EXPECT_EQ(name.find('\\'), std::string::npos) << name;
}

}  // namespace
