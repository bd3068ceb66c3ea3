// The slide-out window ("SlideWnd.xml", class "Slider Window"): the
// acceleration settings page "tab_acc" (regions, name servers, alternative
// nodes, speed modes, the measured node list and node choice) beside the
// main window, and the membership state the acceleration controller asks
// for. Created hidden by the login window as the child of the hidden parent
// window. UI thread.
//
// The membership page "tab_VIP" and the toolbox "tab_tool" come with the
// membership work; their buttons only log here.
#ifndef CLIENT_WINDOWS_SLIDER_WND_H_
#define CLIENT_WINDOWS_SLIDER_WND_H_

#include <string>
#include <vector>

#include "base/weak_ptr.h"
#include "client/engine/node_fetch.h"
#include "client/windows/abstract_communication.h"
#include "client/windows/tool_page.h"
#include "client/windows/vip_page.h"
#include "duilib/UIlib.h"
#include "servicebridge/service_bridge.h"

class CSliderWnd : public DuiLib::WindowImplBase {
 public:
  static constexpr int kModeCount = 5;
  // Region codes by region index (0 automatic: none).
  static const char* RegionCode(int index);
  static const wchar_t* ModeLabel(int mode);
  static const wchar_t* ModeHelp(int mode);

  explicit CSliderWnd(AbstractCommunication* main_window);
  ~CSliderWnd() override;

  // After sign-in: the account whose stored speed mode is used.
  void setAccount(const std::wstring& account);
  // Fetches the name servers and the node list again.
  void refreshAccPage();
  void selectPage(const std::wstring& page);
  // The name of the page shown.
  std::wstring currentPage();

  // What the acceleration controller reads.
  bool isMemberExpired() const { return member_expired_; }
  int speedMode() const { return speed_mode_; }
  int regionIndex() const { return region_index_; }
  bool alternativeNodes() const { return alternative_; }
  const std::wstring& selectedNodeName() const { return selected_node_name_; }

  // The membership record (getMemberInfo): keeps the expiry state and shows
  // the account and the end date on "tab_VIP".
  void setMemberInfo(const MemberInfo& info);
  // Fetches the membership record again (after a payment).
  void refreshMemberInfo() { vip_page_.Refresh(); }

  // Sorted as shown: by delay, ties in service order.
  static std::vector<NodeEntry> SortedByDelay(std::vector<NodeEntry> nodes);
  // The delay and loss texts of a node and whether they show as failed.
  struct NodeTexts {
    std::wstring delay;
    std::wstring loss;
    bool failed = false;
  };
  static NodeTexts TextsForDelay(int delay_ms);
  // Expired: a deadline of "0", or one before the server's time.
  static bool MembershipExpired(const MemberInfo& info);

 protected:
  const wchar_t* GetWindowClassName() const override { return L"Slider Window"; }
  DuiLib::CDuiString GetSkinFile() override { return L"SlideWnd.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT OnDestroy(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;

 private:
  static void OnNodeListCallback(std::vector<NodeEntry> nodes, void* opaque);
  void OnClick(const std::wstring& name);
  void ChooseRegion(int index);
  void ChooseMode(int mode, bool from_user);
  void setDnsServerInfo();
  void RefreshNodeList();
  void ShowNodeList(std::vector<NodeEntry> nodes);
  void OnItemSelect(int index);
  // During an acceleration a new choice asks whether to re-dial now.
  void WarnIfAccelerating();

  void SetText(const wchar_t* control, const std::wstring& text);
  DuiLib::CControlUI* Find(const wchar_t* name);

  AbstractCommunication* main_window_;
  CServiceBridgeVirtual* service_;
  std::wstring config_path_;
  std::wstring account_;
  int region_index_ = 0;
  int speed_mode_ = 0;
  bool alternative_ = false;
  bool member_expired_ = false;
  std::vector<NodeEntry> nodes_;  // as shown, sorted
  std::wstring selected_node_name_;
  bool filling_list_ = false;

  VipPage vip_page_{this, main_window_};
  ToolPage tool_page_{main_window_};

  base::WeakPtrFactory<CSliderWnd> weak_factory_{this};
};

#endif  // CLIENT_WINDOWS_SLIDER_WND_H_
