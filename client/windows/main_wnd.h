// The main window ("MainWnd.xml"): the window the user lives in after
// sign-in, and the acceleration controller inside it. Created hidden by the
// login window during its set-up, as the child of the slide-out window, and
// shown after sign-in. UI thread unless a method says otherwise.
//
// The controller's state (0 normal, 1 dialling, 2 accelerated), pages,
// timers and node choice live on the UI thread. Start hands the dial task
// on the IO thread everything it needs (speed mode, selected node, node
// list, account) and a stop flag; the task talks back only by sent window
// messages, and the dial library's events arrive as posted tasks.
#ifndef CLIENT_WINDOWS_MAIN_WND_H_
#define CLIENT_WINDOWS_MAIN_WND_H_

#include <memory>
#include <string>
#include <vector>

#include "base/timer.h"
#include "base/weak_ptr.h"
#include "client/engine/node_fetch.h"
#include "client/windows/abstract_communication.h"
#include "client/windows/abstract_login_main.h"
#include "duilib/UIlib.h"
#include "duilib/tray_icon.h"
#include "kelvonet/kelvo_net.h"
#include "servicebridge/service_bridge.h"

class CSliderWnd;
class ParentHWND;
class WindowDrawer;

class CMainWnd : public DuiLib::WindowImplBase, public AbstractCommunication {
 public:
  // Private messages.
  // wParam: 1 no node, 2 IKE service, kDialCalledOff; lParam: the dial number.
  static constexpr UINT kDialFailedMessage = 1131;
  static constexpr WPARAM kDialCalledOff = 100;       // stopped before CreateDial
  static constexpr UINT kMoveMessage = 1133;          // wParam, lParam: new left, top
  static constexpr UINT kTrayMenuMessage = 1145;      // the tray menu's command
  static constexpr UINT kNodeLabelMessage = 1036;     // lParam: const std::wstring* name
  static constexpr UINT kUpdateResultMessage = 1035;  // lParam: 0 none, 1 available
  static constexpr UINT kDialTargetMessage = 1137;    // lParam: the dial task's node choice
  // Window timers.
  static constexpr UINT_PTR kMemberPageTimer = 1000;
  static constexpr UINT_PTR kSlideTimer = 1001;
  static constexpr UINT_PTR kWatchdogTimer = 1002;
  static constexpr UINT_PTR kElapsedTimer = 1003;
  static constexpr UINT_PTR kFrequencyTimer = 1004;

  static constexpr int kStartCountdown = 90;
  static constexpr int kAutoModeCountdown = 150;
  static constexpr int kFrequencyCountdown = 20;

  explicit CMainWnd(AbstractLoginMain* login_window);
  ~CMainWnd() override;

  void SetSliderWnd(CSliderWnd* slider) { slider_ = slider; }
  void SetParentWnd(ParentHWND* parent) { parent_ = parent; }

  // After a successful sign-in, before the window is shown: takes the
  // signed-in account, initialises the dial library and the pages.
  void initMainWndData(const std::wstring& account);
  const std::wstring& account() const { return account_; }

  // Start (the buttons "begin_speed_btn" and "speed_btn_new", and re-dial).
  void OnClickGameSpeed();
  // Fetches the membership and, when it ends within three days, prompts.
  void memberDurationPromptWnd();
  // Connected-node probing every 2 s while the tunnel is up.
  void startPingNodeThread();

  // The dial library's event function. Any thread: copies the event and
  // posts it to the UI thread; a null context drops it. The context is the
  // dial's number, so events of an earlier dial reach nobody.
  static void AccelerEventCallBack(KelvoVpnEvent event, unsigned long context);
  void OnAccelerEvent(const KelvoVpnEvent& event);

  // AbstractCommunication:
  void openSliderWnd(const std::wstring& page) override;
  void closeSliderWnd() override;
  void reDial() override;
  bool loginFlag() const override { return login_flag_; }
  void setSpeedModeLabel(const std::wstring& text) override;
  void setNodeLabel() override;
  void updateNodeMsg(NodeListCallback callback, void* opaque, const std::string& region) override;
  std::wstring currentNodeName() const override { return current_node_name_; }
  std::wstring currentNodeAddress() const override { return current_node_address_; }
  void stopAcceleration() override;
  int accelerationState() const override { return acc_state_; }

  const std::vector<NodeEntry>& node_list() const { return node_list_; }

  // What Start hands the dial task, and the task's node choice.
  struct DialJob;
  struct DialTarget;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"MainWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"MainWnd.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;
  LRESULT OnDestroy(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;

 private:
  void OnClick(DuiLib::TNotifyUI& msg);
  void OnWindowInit();
  void OnKillFocus(DuiLib::TNotifyUI& msg);

  // Controller.
  void ShowPage(const wchar_t* page);
  void ShowError(const std::wstring& text);
  void SetState(int state);
  void CancelPendingDial();
  void WatchdogTick();
  void ElapsedTick();
  void FrequencyTick();
  void StopWatchdog();
  void OnDialFailed(int kind);
  void OnDialTarget(const DialTarget& target);
  void ShowNodeLabel(const std::wstring& name);
  void OnConnectedNodeProbed(uint64_t generation, int delay_ms);
  void StopProbeTimer();
  void PostTunnelNotification(int type);

  // Windows and tray.
  void ReopenMainWnd();
  void SwitchAccount();
  void ExitClient();
  void OnTrayMessage(LPARAM mouse_message);
  void OnMenuCommand(const std::wstring& name);
  void SlideStep();
  void PlaceSlider();
  void HideUpdatePopups();
  void OnUpdateResult(bool available);
  void OnMemberInfo(const MemberInfo& info);
  // The payment window comes with the membership work; until then it logs.
  void OpenPayWindow(bool expiry_prompt);

  void SetText(const wchar_t* control, const std::wstring& text);
  void SetVisible(const wchar_t* control, bool visible);
  DuiLib::CControlUI* Find(const wchar_t* name);

  AbstractLoginMain* login_window_;
  CSliderWnd* slider_ = nullptr;
  ParentHWND* parent_ = nullptr;
  std::unique_ptr<WindowDrawer> drawer_;
  DuiLib::CTrayIcon tray_;
  CServiceBridgeVirtual* service_;
  std::wstring account_;
  bool login_flag_ = false;

  // Controller state (UI thread).
  int acc_state_ = 0;
  int dial_countdown_ = kStartCountdown;
  int elapsed_seconds_ = 0;
  int frequency_countdown_ = kFrequencyCountdown;
  int speed_mode_ = 0;
  std::wstring current_node_address_;
  std::wstring current_node_name_;
  std::wstring current_node_delay_;
  std::vector<NodeEntry> node_list_;
  std::shared_ptr<DialJob> pending_dial_;
  unsigned long dial_id_ = 0;  // the current dial's number
  base::RepeatingTimer probe_timer_;
  uint64_t probe_generation_ = 0;
  bool probe_in_flight_ = false;

  // Slide-out animation.
  int slide_step_ = 0;
  int slide_x_ = 0;

  std::string upgrade_package_;

  base::WeakPtrFactory<CMainWnd> weak_factory_{this};
};

#endif  // CLIENT_WINDOWS_MAIN_WND_H_
