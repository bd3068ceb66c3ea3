#include "client/windows/main_wnd.h"

#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include "base/logging.h"
#include "client/config/config_paths.h"
#include "client/config/profile_store.h"
#include "client/engine/prober.h"
#include "client/engine/route_manager.h"
#include "client/notification/notification_service.h"
#include "client/notification/notification_types.h"
#include "client/system/process_runner.h"
#include "client/system/service_check.h"
#include "client/threads/threads_manager.h"
#include "client/windows/login_rules.h"
#include "client/windows/notice_wnd.h"
#include "client/windows/parent_hwnd.h"
#include "client/windows/pay_wnd.h"
#include "client/windows/service_call_gate.h"
#include "client/windows/slider_wnd.h"
#include "client/windows/updater_launch.h"
#include "client/windows/window_drawer.h"
#include "duilib/menu_wnd.h"
#include "win32/code_page.h"
#include "win32/screen_metrics.h"

using namespace DuiLib;

namespace {

constexpr wchar_t kProductName[] = L"Tern智能加速器";
constexpr wchar_t kVersionText[] = L"1.1.4";
constexpr UINT kTrayIconResource = 139;
constexpr UINT kWatchdogPeriodMs = 700;
constexpr UINT kSecondMs = 1000;
constexpr UINT kSlidePeriodMs = 15;
constexpr UINT kMemberPageDelayMs = 2000;
constexpr int kSlidePixels = 20;
constexpr int kSliderTopOffset = 40;
constexpr int kSliderWidth = 382;
constexpr int kSliderHeight = 480;
constexpr int kIkeChecks = 15;
constexpr int kIkeCheckGapMs = 200;

constexpr wchar_t kMemberExpiredText[] = L"会员已过期，请续费会员后进行加速";
constexpr wchar_t kNoNodeText[] = L"节点获取失败";
constexpr wchar_t kIkeFailedText[] = L"IKEEXT服务启动失败，请重新加速";
constexpr wchar_t kDialFailedText[] = L"加速失败，请更换加速模式重新加速";

// Windows whose posted events may still be delivered; checked on the UI
// thread, where windows are also destroyed.
std::set<CMainWnd*>& LiveWindows() {
  static std::set<CMainWnd*>* windows = new std::set<CMainWnd*>;
  return *windows;
}

// Dial numbers are the dial library's context: events of an earlier dial
// find no window waiting for them.
unsigned long g_last_dial_id = 0;

std::wstring Format(const wchar_t* format, int n, const wchar_t* unit) {
  wchar_t text[128];
  swprintf(text, 128, format, n, unit);
  return text;
}

}  // namespace

// What one Start hands to the IO thread. |stopped| is set by Stop (and by
// anything else that leaves the dialling state) under |mutex|, which the
// task holds from its last check through CreateDial.
struct CMainWnd::DialJob {
  HWND window = nullptr;
  CServiceBridgeVirtual* service = nullptr;
  int speed_mode = 0;
  std::wstring selected_name;
  std::vector<NodeEntry> nodes;
  std::wstring account;
  std::wstring config_path;
  unsigned long dial_id = 0;  // the dial library's context
  std::mutex mutex;
  bool stopped = false;
};

// The dial task's node choice, sent to the UI thread before it dials.
struct CMainWnd::DialTarget {
  std::wstring address;
  std::wstring name;
  std::wstring delay;
  int speed_mode = 0;
  bool fetched = false;
  std::vector<NodeEntry> nodes;  // when |fetched|
};

namespace {

// IO thread.
void RunDialTask(std::shared_ptr<CMainWnd::DialJob> job);

}  // namespace

CMainWnd::CMainWnd(AbstractLoginMain* login_window)
    : login_window_(login_window), service_(GetInterfaceLibraryInfo()) {
  LiveWindows().insert(this);
}

CMainWnd::~CMainWnd() {
  LiveWindows().erase(this);
  weak_factory_.InvalidateWeakPtrs();
  CancelPendingDial();
  probe_timer_.Stop();
  tray_.DeleteTrayIcon();
  if (drawer_ && ::IsWindow(drawer_->GetHWND()))
    ::DestroyWindow(drawer_->GetHWND());
  if (::IsWindow(m_hWnd))
    ::DestroyWindow(m_hWnd);
}

CControlUI* CMainWnd::Find(const wchar_t* name) {
  return m_pm.FindControl(name);
}

void CMainWnd::SetText(const wchar_t* control, const std::wstring& text) {
  if (CControlUI* c = Find(control))
    c->SetText(text.c_str());
}

void CMainWnd::SetVisible(const wchar_t* control, bool visible) {
  if (CControlUI* c = Find(control))
    c->SetVisible(visible);
}

void CMainWnd::InitWindow() {
  SetText(L"warning_text", L"加速过程中切换账号将导致加速停止\n您确定要切换吗？");
  wchar_t text[256];
  swprintf(text, 256, L"您当前使用的版本是最新版本\n版本号%ls，无需更新升级", kVersionText);
  SetText(L"no_update_text", text);
  swprintf(text, 256, L"检测到有版本更新，当前版本%ls\n是否需要进行升级？", kVersionText);
  SetText(L"need_update_text", text);
  SetText(L"version_label", kProductName);
  SetText(L"pop_wnd_tile", kProductName);
}

void CMainWnd::initMainWndData(const std::wstring& account) {
  account_ = account;
  login_flag_ = true;
  if (!KelvoNet_Init())
    LOG(ERROR) << "dial library initialise failed";
  if (slider_)
    slider_->setAccount(account);
  setNodeLabel();
  SetState(0);
  ShowPage(L"acc_normal");
  if (drawer_ && ::IsWindowVisible(drawer_->GetHWND()))
    drawer_->ShowWindow(false, false);
  if (slider_)
    slider_->refreshAccPage();
  // The membership is fetched after every sign-in: Start asks the slide-out
  // window whether it has expired.
  memberDurationPromptWnd();
  ::SetTimer(m_hWnd, kMemberPageTimer, kMemberPageDelayMs, nullptr);
  CNoticeWnd::FetchAfterSignIn(m_hWnd, this);
}

// ---------------------------------------------------------------------------
// Notifications from the controls

void CMainWnd::Notify(TNotifyUI& msg) {
  if (msg.sType == L"windowinit")
    OnWindowInit();
  else if (msg.sType == L"click")
    OnClick(msg);
  else if (msg.sType == L"killfocus")
    OnKillFocus(msg);
  WindowImplBase::Notify(msg);
}

void CMainWnd::OnWindowInit() {
  wchar_t tip[128];
  swprintf(tip, 128, L"%ls %ls", kProductName, kVersionText);
  if (!tray_.CreateTrayIcon(m_hWnd, kTrayIconResource, tip))
    LOG(ERROR) << "create tray icon failed";
  // The message bar: a hidden tool window that slides down from the top.
  drawer_ = std::make_unique<WindowDrawer>();
  drawer_->Create(m_hWnd, kProductName, WS_POPUP, WS_EX_TOOLWINDOW);
  memberDurationPromptWnd();
}

void CMainWnd::OnClick(TNotifyUI& msg) {
  const std::wstring name = msg.pSender ? msg.pSender->GetName().str() : std::wstring();
  if (name == L"main_wnd_min") {
    HWND target = parent_ && ::IsWindow(parent_->GetHWND()) ? parent_->GetHWND() : m_hWnd;
    ::SendMessageW(target, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  } else if (name == L"main_wnd_close") {
    // The client keeps running, and its tunnel with it, in the tray.
    ShowWindow(false, false);
    if (slider_)
      slider_->ShowWindow(false, false);
    if (parent_)
      parent_->ShowWindow(false, false);
  } else if (name == L"account_operater_btn") {
    if (CControlUI* layout = Find(L"account_operater_layout"))
      layout->SetVisible(!layout->IsVisible());
  } else if (name == L"vipinfo") {
    openSliderWnd(L"tab_VIP");
  } else if (name == L"repair_tools_btn") {
    openSliderWnd(L"tab_tool");
  } else if (name == L"setting_btn") {
    // Open on another page, the button turns to the settings page.
    if (slider_ && ::IsWindowVisible(slider_->GetHWND()) && slide_step_ >= 0 &&
        slider_->currentPage() == L"tab_acc")
      closeSliderWnd();
    else
      openSliderWnd(L"tab_acc");
  } else if (name == L"begin_speed_btn" || name == L"speed_btn_new") {
    OnClickGameSpeed();
  } else if (name == L"stop_speed_btn") {
    stopAcceleration();
  } else if (name == L"check_update_btn") {
    SetVisible(L"updating_wnd", true);
    CServiceBridgeVirtual* service = service_;
    auto upgrade = std::make_shared<UpgradeInfo>();
    auto skipped = std::make_shared<bool>(false);
    HWND hwnd = m_hWnd;
    base::WeakPtr<CMainWnd> weak = weak_factory_.GetWeakPtr();
    ThreadsManager::PostTaskAndReply(
        ThreadsManager::IO, FROM_HERE,
        [service, upgrade, skipped] {
          if (ServiceCallsStopped()) {
            *skipped = true;
            return;
          }
          *upgrade = service->checkUpgrade();
        },
        [weak, upgrade, skipped, hwnd] {
          CMainWnd* self = weak.get();
          if (!self || *skipped)
            return;
          self->upgrade_package_ = upgrade->package;
          bool available = IsNewerVersion(upgrade->version, kClientVersion);
          ::SendMessageW(hwnd, kUpdateResultMessage, 0, available ? 1 : 0);
        });
  } else if (name == L"need_update_ok") {
    INT_PTR result = StartUpdater(win32::AnsiToWide(upgrade_package_));
    if (result <= 32)
      LOG(ERROR) << "shell execute return an error value: " << result;
    else
      ExitClient();
  } else if (name == L"updating_close" || name == L"no_update_close" || name == L"no_update_ok" ||
             name == L"need_update_close" || name == L"cancel_update") {
    HideUpdatePopups();
  } else if (name == L"switchAccount") {
    if (acc_state_ != 0)
      SetVisible(L"warning_wnd", true);
    else
      SwitchAccount();
  } else if (name == L"warning_btn_ok") {
    SwitchAccount();
  } else if (name == L"warning_btn_cancel" || name == L"pop_wnd_close") {
    SetVisible(L"warning_wnd", false);
  } else if (name == L"loginOut") {
    ExitClient();
  } else if (name == L"recharge_btn") {
    OpenPayWindow(false);
  }
}

void CMainWnd::OnKillFocus(TNotifyUI&) {
  CControlUI* layout = Find(L"account_operater_layout");
  if (!layout || !layout->IsVisible())
    return;
  // The pointer as this window last saw it, in window coordinates (the
  // window has no frame): a press inside the menu keeps it open.
  POINT cursor = m_pm.GetMousePos();
  int x = cursor.x;
  int y = cursor.y;
  if (!(x >= 239 && x <= 327 && y < 162))
    layout->SetVisible(false);
}

void CMainWnd::HideUpdatePopups() {
  SetVisible(L"updating_wnd", false);
  SetVisible(L"no_update_wnd", false);
  SetVisible(L"need_update_wnd", false);
}

void CMainWnd::OnUpdateResult(bool available) {
  SetVisible(L"updating_wnd", false);
  SetVisible(available ? L"need_update_wnd" : L"no_update_wnd", true);
}

void CMainWnd::OpenPayWindow(bool expiry_prompt) {
  LOG(INFO) << "payment window requested (" << (expiry_prompt ? "expiry prompt" : "normal") << ")";
  CPayWnd::Open(m_hWnd);
}

// ---------------------------------------------------------------------------
// Window messages

LRESULT CMainWnd::HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) {
  handled = TRUE;
  switch (msg) {
    case WM_TIMER:
      switch (wparam) {
        case kMemberPageTimer:
          ::KillTimer(m_hWnd, kMemberPageTimer);
          openSliderWnd(L"tab_VIP");
          return 0;
        case kSlideTimer:
          SlideStep();
          return 0;
        case kWatchdogTimer:
          WatchdogTick();
          return 0;
        case kElapsedTimer:
          ElapsedTick();
          return 0;
        case kFrequencyTimer:
          FrequencyTick();
          return 0;
      }
      break;
    case kDialFailedMessage:
      if (lparam == 0 || static_cast<unsigned long>(lparam) == dial_id_)
        OnDialFailed(static_cast<int>(wparam));
      return 0;
    case kNodeLabelMessage:
      ShowNodeLabel(lparam ? *reinterpret_cast<const std::wstring*>(lparam) : std::wstring());
      return 0;
    case kDialTargetMessage:
      if (lparam)
        OnDialTarget(*reinterpret_cast<const DialTarget*>(lparam));
      return 0;
    case kUpdateResultMessage:
      OnUpdateResult(lparam == 1);
      return 0;
    case kMoveMessage: {
      RECT rc = {};
      ::GetWindowRect(m_hWnd, &rc);
      ::MoveWindow(m_hWnd, static_cast<int>(wparam), static_cast<int>(lparam), rc.right - rc.left,
                   rc.bottom - rc.top, TRUE);
      PlaceSlider();
      return 0;
    }
    case WM_MOVE:
      PlaceSlider();
      handled = FALSE;
      return 0;
    case kTrayMenuMessage: {
      auto* cmd = reinterpret_cast<MenuCmd*>(lparam);
      std::wstring name = cmd ? cmd->szName : L"";
      delete cmd;
      OnMenuCommand(name);
      return 0;
    }
    case UIMSG_TRAYICON:
      OnTrayMessage(lparam);
      return 0;
  }
  handled = FALSE;
  return 0;
}

LRESULT CMainWnd::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
  CancelPendingDial();
  probe_timer_.Stop();
  tray_.DeleteTrayIcon();
  PostQuitMessage(0);
  handled = FALSE;
  return 0;
}

// ---------------------------------------------------------------------------
// Acceleration controller

void CMainWnd::ShowPage(const wchar_t* page) {
  auto* tab = static_cast<CTabLayoutUI*>(Find(L"main_wnd_switch"));
  CControlUI* target = Find(page);
  if (tab && target)
    tab->SelectItem(target);
}

void CMainWnd::ShowError(const std::wstring& text) {
  SetText(L"speed_status_ingerr", text);
  SetVisible(L"speed_status_ingerr", true);
}

void CMainWnd::SetState(int state) {
  // The watchdog only guards a dial in progress.
  if (state != 1)
    StopWatchdog();
  if (state == 0)
    CancelPendingDial();
  acc_state_ = state;
}

void CMainWnd::StopWatchdog() {
  ::KillTimer(m_hWnd, kWatchdogTimer);
}

void CMainWnd::CancelPendingDial() {
  if (!pending_dial_)
    return;
  {
    std::lock_guard<std::mutex> lock(pending_dial_->mutex);
    pending_dial_->stopped = true;
  }
  pending_dial_.reset();
}

void CMainWnd::OnClickGameSpeed() {
  if (slider_ && slider_->isMemberExpired()) {
    openSliderWnd(L"tab_VIP");
    ShowPage(L"acc_failed_wnd");
    ShowError(kMemberExpiredText);
    return;
  }
  CancelPendingDial();
  speed_mode_ = slider_ ? slider_->speedMode() : 0;
  // Every dial gets the whole countdown; automatic mode tries several
  // protocols and gets a longer one.
  dial_countdown_ = speed_mode_ < 1 ? kAutoModeCountdown : kStartCountdown;
  WatchdogTick();
  ::SetTimer(m_hWnd, kWatchdogTimer, kWatchdogPeriodMs, nullptr);
  ShowPage(L"acc_ing");
  acc_state_ = 1;
  SetText(L"begin_speeding_btn", L"正在努力加速中...");
  closeSliderWnd();

  auto job = std::make_shared<DialJob>();
  job->window = m_hWnd;
  job->service = service_;
  job->speed_mode = speed_mode_;
  job->selected_name = slider_ ? slider_->selectedNodeName() : std::wstring();
  job->nodes = node_list_;
  job->account = account_;
  job->config_path = GetConfigPath();
  job->dial_id = dial_id_ = ++g_last_dial_id;
  pending_dial_ = job;
  ThreadsManager::PostTask(ThreadsManager::IO,
                           FROM_HERE_WITH_EXPLICIT_FUNCTION("CMainWnd::OnClickGameSpeed"),
                           [job] { RunDialTask(job); });
}

void CMainWnd::stopAcceleration() {
  if (acc_state_ == 0)
    return;
  CancelPendingDial();
  ShowPage(L"acc_ing");
  SetText(L"begin_speeding_btn", L"正在停止加速...");
  StopDial();
  ::KillTimer(m_hWnd, kElapsedTimer);
  elapsed_seconds_ = 0;
}

void CMainWnd::reDial() {
  ShowPage(L"acc_ing");
  SetText(L"begin_speeding_btn", L"正在重新加速...");
  CancelPendingDial();
  StopDial();
  ::KillTimer(m_hWnd, kElapsedTimer);
  elapsed_seconds_ = 0;
  OnClickGameSpeed();
}

void CMainWnd::WatchdogTick() {
  --dial_countdown_;
  if (dial_countdown_ >= 1)
    return;
  StopDial();
  SetState(0);
  ShowError(kDialFailedText);
  ShowPage(L"acc_failed_wnd");
  dial_countdown_ = 60;
}

void CMainWnd::ElapsedTick() {
  ++elapsed_seconds_;
  time_t seconds = elapsed_seconds_;
  struct tm utc;
  gmtime_r(&seconds, &utc);
  wchar_t clock[32];
  wcsftime(clock, 32, L"%H:%M:%S", &utc);
  SetText(L"acc_time_label", std::wstring(L"已加速：") + clock);
}

void CMainWnd::FrequencyTick() {
  if (CControlUI* retry = Find(L"speed_btn_new"))
    retry->SetEnabled(false);
  ShowError(Format(L"加速过于频繁，请稍后重试(%d%ls)", frequency_countdown_, L"s"));
  --frequency_countdown_;
  if (frequency_countdown_ < 1) {
    frequency_countdown_ = kFrequencyCountdown;
    ::KillTimer(m_hWnd, kFrequencyTimer);
    if (CControlUI* retry = Find(L"speed_btn_new"))
      retry->SetEnabled(true);
    SetText(L"speed_status_ingerr", L"");
    SetVisible(L"speed_status_ingerr", false);
  }
}

void CMainWnd::OnDialFailed(int kind) {
  if (kind == kDialCalledOff) {
    // Stopped before the task dialled: nothing will report a disconnection.
    if (acc_state_ == 1) {
      ShowPage(L"acc_normal");
      SetState(0);
    }
    return;
  }
  if (acc_state_ == 1) {
    ShowPage(L"acc_failed_wnd");
    if (kind == 1)
      ShowError(kNoNodeText);
    else if (kind == 2)
      ShowError(kIkeFailedText);
  } else {
    LOG(ERROR) << "acc return, current acc state: " << acc_state_;
    ShowPage(L"acc_normal");
  }
  SetState(0);
}

void CMainWnd::OnDialTarget(const DialTarget& target) {
  if (target.fetched)
    node_list_ = target.nodes;
  current_node_address_ = target.address;
  current_node_name_ = target.name;
  current_node_delay_ = target.delay;
  speed_mode_ = target.speed_mode;
}

void CMainWnd::ShowNodeLabel(const std::wstring& name) {
  std::wstring text = name;
  if (text.empty())
    text = node_list_.empty() ? L"--" : node_list_.front().name;
  SetText(L"node_label", text);
}

void CMainWnd::AccelerEventCallBack(KelvoVpnEvent event, unsigned long context) {
  if (context == 0)
    return;
  ThreadsManager::PostTask(ThreadsManager::UI,
                           FROM_HERE_WITH_EXPLICIT_FUNCTION("AccelerEventCallBack"),
                           [context, event] {
                             for (CMainWnd* window : LiveWindows()) {
                               if (window->dial_id_ == context) {
                                 window->OnAccelerEvent(event);
                                 return;
                               }
                             }
                             VLOG(1) << "event of an earlier dial ignored: " << event.name;
                           });
}

void CMainWnd::PostTunnelNotification(int type) {
  LOG(INFO) << "notification " << type << " posted";
  if (NotificationService* bus = NotificationService::current())
    bus->Notify(type, NotificationSource(this), NotificationService::NoDetails());
}

void CMainWnd::OnAccelerEvent(const KelvoVpnEvent& event) {
  DCHECK(ThreadsManager::CurrentlyOn(ThreadsManager::UI));
  if (event.notify == 0 || acc_state_ == 0)
    return;
  std::string name(event.name, strnlen(event.name, sizeof(event.name)));
  LOG(INFO) << "dial event " << name << " code " << event.code << " in state " << acc_state_;
  if (event.failed) {
    install_cert();
    StopProbeTimer();
    int state = acc_state_;
    ShowPage(L"acc_failed_wnd");
    if (state == 2)
      PostTunnelNotification(NOTIFICATION_TUNNEL_DOWN);
    if (!::IsWindowVisible(m_hWnd)) {
      ShowWindow(true, false);
      if (parent_)
        parent_->ShowWindow(true, false);
      if (slider_ && ::IsIconic(slider_->GetHWND()))
        ::ShowWindow(slider_->GetHWND(), SW_RESTORE);
    }
    if (event.code == 32) {
      ::KillTimer(m_hWnd, kFrequencyTimer);
      frequency_countdown_ = kFrequencyCountdown;
      FrequencyTick();
      ::SetTimer(m_hWnd, kFrequencyTimer, kSecondMs, nullptr);
    } else {
      ShowError(kDialFailedText);
    }
    StopWatchdog();
    ::KillTimer(m_hWnd, kElapsedTimer);
    if (state == 1)
      openSliderWnd(L"tab_acc");
    SetState(0);
    return;
  }
  if (name == "ADDROUTED") {
    StopWatchdog();
    elapsed_seconds_ = 0;
    ElapsedTick();
    ::SetTimer(m_hWnd, kElapsedTimer, kSecondMs, nullptr);
    int delay = -1;
    if (!current_node_delay_.empty()) {
      wchar_t* end = nullptr;
      long value = wcstol(current_node_delay_.c_str(), &end, 10);
      if (end && *end == 0)
        delay = static_cast<int>(value);
    }
    SetText(L"game_time_proval",
            delay >= 0 && delay < 500 ? std::to_wstring(delay) : std::wstring(L"--"));
    SetText(L"node_label", current_node_name_.empty() ? L"--" : current_node_name_);
    startPingNodeThread();
    PostTunnelNotification(NOTIFICATION_TUNNEL_UP);
    ShowPage(L"acc_success");
    SetState(2);
    if (drawer_ && ::IsWindowVisible(drawer_->GetHWND()))
      drawer_->MotionMove(false);
    if (slider_)
      slider_->selectPage(L"tab_acc");
    closeSliderWnd();
    return;
  }
  if (name == "ACTIVEDISCONNECTED" || name == "PASSIVEDISCONNECTED") {
    StopProbeTimer();
    PostTunnelNotification(NOTIFICATION_TUNNEL_DOWN);
    closeSliderWnd();
    ShowPage(L"acc_normal");
    SetState(0);
    ::KillTimer(m_hWnd, kElapsedTimer);
    elapsed_seconds_ = 0;
  }
}

// ---------------------------------------------------------------------------
// Nodes

void CMainWnd::setNodeLabel() {
  if (slider_ && !slider_->selectedNodeName().empty()) {
    SetText(L"node_label", slider_->selectedNodeName());
    return;
  }
  CServiceBridgeVirtual* service = service_;
  auto nodes = std::make_shared<std::vector<NodeEntry>>();
  auto skipped = std::make_shared<bool>(false);
  base::WeakPtr<CMainWnd> weak = weak_factory_.GetWeakPtr();
  ThreadsManager::PostTaskAndReply(
      ThreadsManager::IO, FROM_HERE_WITH_EXPLICIT_FUNCTION("CMainWnd::setNodeLabel"),
      [service, nodes, skipped] {
        if (ServiceCallsStopped()) {
          *skipped = true;
          return;
        }
        FetchNodeList(service, RouteManager::GetInstance(), "", nodes.get(), &Probe);
      },
      [weak, nodes, skipped] {
        CMainWnd* self = weak.get();
        if (!self || *skipped)
          return;
        self->node_list_ = *nodes;
        self->SetText(L"node_label", nodes->empty() ? L"--" : nodes->front().name);
      });
}

void CMainWnd::updateNodeMsg(NodeListCallback callback, void* opaque, const std::string& region) {
  CServiceBridgeVirtual* service = service_;
  auto nodes = std::make_shared<std::vector<NodeEntry>>();
  auto skipped = std::make_shared<bool>(false);
  base::WeakPtr<CMainWnd> weak = weak_factory_.GetWeakPtr();
  ThreadsManager::PostTaskAndReply(
      ThreadsManager::IO, FROM_HERE_WITH_EXPLICIT_FUNCTION("CMainWnd::updateNodeMsg"),
      [service, nodes, skipped, region] {
        if (ServiceCallsStopped()) {
          *skipped = true;
          return;
        }
        std::printf("start fresh nodes\n");
        std::fflush(stdout);
        FetchNodeList(service, RouteManager::GetInstance(), region, nodes.get(), &Probe);
      },
      [weak, nodes, skipped, callback, opaque] {
        CMainWnd* self = weak.get();
        if (!self || *skipped)
          return;
        self->node_list_ = *nodes;
        if (callback)
          callback(*nodes, opaque);
        std::printf("allocate nodes, size:%zu\n", nodes->size());
        std::fflush(stdout);
      });
}

void CMainWnd::startPingNodeThread() {
  StopProbeTimer();
  probe_timer_.Start(FROM_HERE_WITH_EXPLICIT_FUNCTION("CMainWnd::startPingNodeThread"),
                     base::TimeDelta::FromMilliseconds(2000),
                     base::Bind(
                         [](CMainWnd* self) {
                           if (self->probe_in_flight_)
                             return;  // the last probe has not answered yet
                           self->probe_in_flight_ = true;
                           uint64_t generation = self->probe_generation_;
                           std::string address = win32::WideToAnsi(self->current_node_address_);
                           base::WeakPtr<CMainWnd> weak = self->weak_factory_.GetWeakPtr();
                           std::thread([weak, generation, address] {
                             int delay = Probe(address, "");
                             ThreadsManager::PostTask(
                                 ThreadsManager::UI, FROM_HERE, [weak, generation, delay] {
                                   if (CMainWnd* w = weak.get())
                                     w->OnConnectedNodeProbed(generation, delay);
                                 });
                           }).detach();
                         },
                         base::Unretained(this)));
}

void CMainWnd::OnConnectedNodeProbed(uint64_t generation, int delay_ms) {
  if (generation != probe_generation_)
    return;  // the tunnel went down since
  probe_in_flight_ = false;
  SetText(L"game_time_proval", delay_ms < 100 ? std::to_wstring(delay_ms) : std::wstring(L"--"));
}

void CMainWnd::StopProbeTimer() {
  probe_timer_.Stop();
  ++probe_generation_;
  probe_in_flight_ = false;
}

// ---------------------------------------------------------------------------
// Membership

void CMainWnd::memberDurationPromptWnd() {
  CServiceBridgeVirtual* service = service_;
  auto info = std::make_shared<MemberInfo>();
  auto skipped = std::make_shared<bool>(false);
  base::WeakPtr<CMainWnd> weak = weak_factory_.GetWeakPtr();
  ThreadsManager::PostTaskAndReply(
      ThreadsManager::IO, FROM_HERE_WITH_EXPLICIT_FUNCTION("CMainWnd::memberDurationPromptWnd"),
      [service, info, skipped] {
        if (ServiceCallsStopped()) {
          *skipped = true;
          return;
        }
        *info = service->getMemberInfo();
      },
      [weak, info, skipped] {
        CMainWnd* self = weak.get();
        if (self && !*skipped)
          self->OnMemberInfo(*info);
      });
}

void CMainWnd::OnMemberInfo(const MemberInfo& info) {
  if (slider_ && !info.deadline.empty())
    slider_->setMemberInfo(info);
  const std::wstring config = GetConfigPath();
  std::wstring stamp = ReadProfileString(L"member_tips", L"timestamp", L"", 1024, config, false);
  int64_t now = static_cast<int64_t>(::time(nullptr));
  int64_t hours = 0;
  if (!stamp.empty())
    hours = (now - static_cast<int64_t>(wcstoll(stamp.c_str(), nullptr, 10))) / 3600;
  if (info.days >= 1 && info.days <= 3 && (hours == 0 || hours > 4)) {
    WriteProfileString(L"member_tips", L"almost_expired", L"1", config, false);
    OpenPayWindow(true);
    WriteProfileString(L"member_tips", L"timestamp", std::to_wstring(now), config, false);
  }
}

// ---------------------------------------------------------------------------
// Slide-out window

void CMainWnd::openSliderWnd(const std::wstring& page) {
  if (!slider_ || !::IsWindow(slider_->GetHWND()))
    return;
  slider_->selectPage(page);
  RECT main = {};
  ::GetWindowRect(m_hWnd, &main);
  if (!::IsWindowVisible(slider_->GetHWND())) {
    slide_x_ = main.left;
    ::MoveWindow(slider_->GetHWND(), slide_x_, main.top + kSliderTopOffset, kSliderWidth,
                 kSliderHeight, TRUE);
    slider_->ShowWindow(true, false);
  }
  slide_step_ = kSlidePixels;
  ::SetTimer(m_hWnd, kSlideTimer, kSlidePeriodMs, nullptr);
}

void CMainWnd::closeSliderWnd() {
  if (!slider_ || !::IsWindowVisible(slider_->GetHWND()))
    return;
  slide_step_ = -kSlidePixels;
  ::SetTimer(m_hWnd, kSlideTimer, kSlidePeriodMs, nullptr);
}

void CMainWnd::SlideStep() {
  RECT main = {};
  ::GetWindowRect(m_hWnd, &main);
  const int open_x = main.right;
  const int closed_x = main.left;
  slide_x_ += slide_step_;
  bool done = false;
  if (slide_step_ > 0 && slide_x_ >= open_x) {
    slide_x_ = open_x;
    done = true;
  } else if (slide_step_ < 0 && slide_x_ <= closed_x) {
    slide_x_ = closed_x;
    done = true;
  }
  if (slider_ && ::IsWindow(slider_->GetHWND())) {
    ::MoveWindow(slider_->GetHWND(), slide_x_, main.top + kSliderTopOffset, kSliderWidth,
                 kSliderHeight, TRUE);
    if (done && slide_step_ < 0)
      slider_->ShowWindow(false, false);
  }
  if (done) {
    ::KillTimer(m_hWnd, kSlideTimer);
    ::KillTimer(m_hWnd, kMemberPageTimer);
  }
}

void CMainWnd::PlaceSlider() {
  if (!slider_ || !::IsWindowVisible(slider_->GetHWND()) || slide_step_ < 0)
    return;
  RECT main = {};
  ::GetWindowRect(m_hWnd, &main);
  slide_x_ = main.left + 360;
  ::MoveWindow(slider_->GetHWND(), slide_x_, main.top + kSliderTopOffset, kSliderWidth,
               kSliderHeight, TRUE);
}

void CMainWnd::setSpeedModeLabel(const std::wstring& text) {
  SetText(L"speed_mode_label", text);
}

// ---------------------------------------------------------------------------
// Tray, switching account, exit

void CMainWnd::OnTrayMessage(LPARAM mouse_message) {
  if (mouse_message == WM_LBUTTONUP || mouse_message == WM_LBUTTONDBLCLK) {
    ReopenMainWnd();
  } else if (mouse_message == WM_RBUTTONUP) {
    POINT cursor = {};
    ::GetCursorPos(&cursor);
    cursor.x -= 100;
    cursor.y -= 104;
    CMenuWnd::CreateMenu(L"Menu_Tray.xml", cursor, m_hWnd);
  }
}

void CMainWnd::OnMenuCommand(const std::wstring& name) {
  if (name == L"open_main_wnd")
    ReopenMainWnd();
  else if (name == L"switch_account")
    SwitchAccount();
  else if (name == L"exit")
    ExitClient();
}

void CMainWnd::ReopenMainWnd() {
  if (!login_flag_) {
    // Signed out: the tray brings the login window back instead.
    if (login_window_)
      login_window_->showLoginWnd();
    return;
  }
  if (parent_)
    parent_->ShowWindow(true, false);
  if (::IsIconic(m_hWnd))
    ::ShowWindow(m_hWnd, SW_RESTORE);
  ShowWindow(true, true);
}

void CMainWnd::SwitchAccount() {
  SetVisible(L"account_operater_layout", false);
  CancelPendingDial();
  StopDial();
  KelvoNet_DeInit();
  StopWatchdog();
  ::KillTimer(m_hWnd, kElapsedTimer);
  ::KillTimer(m_hWnd, kFrequencyTimer);
  ::KillTimer(m_hWnd, kMemberPageTimer);
  elapsed_seconds_ = 0;
  // The dial library hangs up without an event here, so the controller
  // ends the tunnel itself.
  StopProbeTimer();
  if (acc_state_ == 2)
    PostTunnelNotification(NOTIFICATION_TUNNEL_DOWN);
  SetState(0);
  ShowPage(L"acc_normal");
  frequency_countdown_ = kFrequencyCountdown;
  if (CControlUI* retry = Find(L"speed_btn_new"))
    retry->SetEnabled(true);
  login_flag_ = false;
  ShowWindow(false, false);
  if (slider_)
    slider_->ShowWindow(false, false);
  if (drawer_)
    drawer_->ShowWindow(false, false);
  if (parent_)
    parent_->ShowWindow(false, false);
  if (login_window_)
    login_window_->showLoginWnd();
  SetVisible(L"warning_wnd", false);
}

void CMainWnd::ExitClient() {
  CancelPendingDial();
  KelvoNet_DeInit();
  probe_timer_.Stop();
  if (slider_ && ::IsWindow(slider_->GetHWND()))
    slider_->Close(IDOK);
  tray_.DeleteTrayIcon();
  Close(IDOK);
  PostQuitMessage(0);
}

namespace {

bool IkeServiceRuns() {
  for (int i = 0; i < kIkeChecks; ++i) {
    if (IsIkeServiceRunning())
      return true;
    if (i + 1 < kIkeChecks)
      std::this_thread::sleep_for(std::chrono::milliseconds(kIkeCheckGapMs));
  }
  return false;
}

void RunDialTask(std::shared_ptr<CMainWnd::DialJob> job) {
  if (ServiceCallsStopped())
    return;
  if (job->speed_mode == 1 && !IkeServiceRuns()) {
    LOG(INFO) << RunCommand("net start IKEEXT");
    ::SendMessageW(job->window, CMainWnd::kDialFailedMessage, 2, static_cast<LPARAM>(job->dial_id));
    return;
  }
  CMainWnd::DialTarget target;
  target.speed_mode = job->speed_mode;
  std::vector<NodeEntry>& nodes = job->nodes;
  if (nodes.empty()) {
    FetchNodeList(job->service, RouteManager::GetInstance(), "", &nodes, &Probe);
    target.fetched = true;
    target.nodes = nodes;
  }
  std::wstring name = job->selected_name;
  ::SendMessageW(job->window, CMainWnd::kNodeLabelMessage, 0, reinterpret_cast<LPARAM>(&name));
  if (nodes.empty()) {
    ::SendMessageW(job->window, CMainWnd::kDialFailedMessage, 1, static_cast<LPARAM>(job->dial_id));
    LOG(ERROR) << "get node list failed while begining speeding";
    return;
  }
  const NodeEntry* chosen = &nodes.front();
  if (!name.empty()) {
    for (const NodeEntry& n : nodes) {
      if (n.name == name) {
        chosen = &n;
        break;
      }
    }
  }
  target.address = chosen->address;
  target.name = chosen->name;
  target.delay = std::to_wstring(chosen->delay);
  ::SendMessageW(job->window, CMainWnd::kDialTargetMessage, 0, reinterpret_cast<LPARAM>(&target));

  std::string routes = RouteManager::GetInstance()->GetActiveRoutes();
  InterimInfo credentials = job->service->refreshInterim();
  if (credentials.uuid.empty() || credentials.interim.empty()) {
    credentials.uuid = win32::WideToAnsi(
        ReadProfileString(job->account, L"uuid", L"", 1024, job->config_path, false));
    credentials.interim = win32::WideToAnsi(
        ReadProfileString(job->account, L"interim", L"", 1024, job->config_path, false));
  }
  int protocol = job->speed_mode - 1;
  std::string server = win32::WideToAnsi(target.address);
  bool stopped;
  {
    std::lock_guard<std::mutex> lock(job->mutex);
    stopped = job->stopped;
    if (!stopped) {
      CreateDial(protocol, server.c_str(), credentials.uuid.c_str(), credentials.interim.c_str(),
                 routes, &CMainWnd::AccelerEventCallBack, job->dial_id);
    }
  }
  if (stopped) {
    LOG(ERROR) << "current acc state is not accelerating, prohibit dialing";
    ::SendMessageW(job->window, CMainWnd::kDialFailedMessage, CMainWnd::kDialCalledOff,
                   static_cast<LPARAM>(job->dial_id));
  }
}

}  // namespace
