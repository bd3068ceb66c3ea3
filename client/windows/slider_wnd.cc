#include "client/windows/slider_wnd.h"

#include <algorithm>
#include <cstdio>

#include "base/logging.h"
#include "client/config/config_paths.h"
#include "client/config/profile_store.h"
#include "client/config/scrambler.h"
#include "client/threads/threads_manager.h"
#include "client/windows/service_call_gate.h"
#include "win32/code_page.h"

using namespace DuiLib;

namespace {

constexpr const wchar_t* kRegionOptions[] = {L"auto_server", L"sea_server", L"ea_server",
                                             L"na_server", L"eur_sever"};
constexpr const char* kRegionCodes[] = {"", "SEA", "EA", "NA", "EUR"};
constexpr const wchar_t* kModeLabels[] = {L"自动模式", L"模式一", L"模式二", L"模式三", L"模式四"};
constexpr const wchar_t* kModeHelps[] = {
    L"自动模式下，小Tern会自动帮您选择合适的加速模式",
    L"IKEV2加速模式，速度快，穿透能力强，推荐此模式",
    L"L2TP加速模式，连接、挂断速度快，要求防火墙支持，第一次使用会修正注册表（重启电脑后生效）",
    L"PPTP加速模式，穿透能力强，有一定防网络闪断能力",
    L"OpenVPN加速模式，穿透能力强，第一次使用需要安装虚拟网卡，推荐此模式",
};
// Room for a scrambled value: the buffer holds the cipher text.
constexpr DWORD kScrambledLength = 1024;
constexpr wchar_t kGoodColor[] = L"#FF666666";
constexpr wchar_t kBadColor[] = L"#FFFF495F";

}  // namespace

const char* CSliderWnd::RegionCode(int index) {
  return index >= 0 && index < 5 ? kRegionCodes[index] : "";
}

const wchar_t* CSliderWnd::ModeLabel(int mode) {
  return mode >= 0 && mode < kModeCount ? kModeLabels[mode] : kModeLabels[0];
}

const wchar_t* CSliderWnd::ModeHelp(int mode) {
  return mode >= 0 && mode < kModeCount ? kModeHelps[mode] : kModeHelps[0];
}

std::vector<NodeEntry> CSliderWnd::SortedByDelay(std::vector<NodeEntry> nodes) {
  std::stable_sort(nodes.begin(), nodes.end(),
                   [](const NodeEntry& a, const NodeEntry& b) { return a.delay < b.delay; });
  return nodes;
}

CSliderWnd::NodeTexts CSliderWnd::TextsForDelay(int delay_ms) {
  NodeTexts texts;
  if (delay_ms >= 0 && delay_ms < 500) {
    wchar_t text[32];
    swprintf(text, 32, L"%d ms", std::max(delay_ms, 1));
    texts.delay = text;
    texts.loss = L"0%";
  } else {
    texts.delay = L"--";
    texts.loss = L"100%";
    texts.failed = true;
  }
  return texts;
}

bool CSliderWnd::MembershipExpired(const MemberInfo& info) {
  if (info.deadline == "0")
    return true;
  // Both are decimal seconds since 1970; as numbers, so that a shorter text
  // does not sort first.
  char* end = nullptr;
  long long deadline = strtoll(info.deadline.c_str(), &end, 10);
  if (info.deadline.empty() || *end != 0)
    return info.deadline < info.timestamp;
  long long now = strtoll(info.timestamp.c_str(), &end, 10);
  if (info.timestamp.empty() || *end != 0)
    return info.deadline < info.timestamp;
  return deadline < now;
}

CSliderWnd::CSliderWnd(AbstractCommunication* main_window)
    : main_window_(main_window),
      service_(GetInterfaceLibraryInfo()),
      config_path_(GetConfigPath()) {}

CSliderWnd::~CSliderWnd() {
  weak_factory_.InvalidateWeakPtrs();
  if (::IsWindow(m_hWnd))
    ::DestroyWindow(m_hWnd);
}

CControlUI* CSliderWnd::Find(const wchar_t* name) {
  return m_pm.FindControl(name);
}

void CSliderWnd::SetText(const wchar_t* control, const std::wstring& text) {
  if (CControlUI* c = Find(control))
    c->SetText(text.c_str());
}

void CSliderWnd::InitWindow() {
  for (int mode = 0; mode < kModeCount; ++mode) {
    wchar_t name[8];
    swprintf(name, 8, L"mode%d", mode);
    if (CControlUI* option = Find(name))
      option->SetToolTip(kModeHelps[mode]);
  }
  if (CControlUI* alternative = Find(L"alternative_node")) {
    alternative->SetEnabled(false);
    static_cast<COptionUI*>(alternative)->Selected(false);
  }
  SetText(L"speed_mode_label", kModeLabels[0]);
  SetText(L"acc_mode_help", kModeHelps[0]);
  tool_page_.Attach(m_hWnd, &m_pm);
}

LRESULT CSliderWnd::HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) {
  handled = tool_page_.OnMessage(msg, wparam, lparam) ? TRUE : FALSE;
  return 0;
}

LRESULT CSliderWnd::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
  PostQuitMessage(0);
  handled = FALSE;
  return 0;
}

void CSliderWnd::selectPage(const std::wstring& page) {
  auto* tab = static_cast<CTabLayoutUI*>(Find(L"slider_wnd_switch"));
  CControlUI* target = Find(page.c_str());
  if (tab && target)
    tab->SelectItem(target);
}

std::wstring CSliderWnd::currentPage() {
  auto* tab = static_cast<CTabLayoutUI*>(Find(L"slider_wnd_switch"));
  CControlUI* page = tab ? tab->GetItemAt(tab->GetCurSel()) : nullptr;
  return page ? page->GetName().str() : std::wstring();
}

void CSliderWnd::setAccount(const std::wstring& account) {
  account_ = account;
  std::wstring stored =
      ReadProfileString(account, L"speed_mode", L"0", kScrambledLength, config_path_, false);
  int mode = 0;
  if (!stored.empty())
    mode = static_cast<int>(wcstol(stored.c_str(), nullptr, 10));
  ChooseMode(mode, false);
}

void CSliderWnd::refreshAccPage() {
  setDnsServerInfo();
  RefreshNodeList();
}

void CSliderWnd::setMemberInfo(const MemberInfo& info) {
  if (!info.nickname.empty())
    SetText(L"member_account", L"您的账号：" + win32::AnsiToWide(info.nickname));
  if (!info.deadline.empty())
    SetText(L"vip_date", L"会员有效期至：" + win32::AnsiToWide(info.deadline));
  member_expired_ = MembershipExpired(info);
  if (CControlUI* box = Find(L"acc_expir_wnd"))
    box->SetVisible(member_expired_);
  if (info.days > 3) {
    std::wstring config = config_path_;
    ThreadsManager::PostTask(ThreadsManager::IO, FROM_HERE, [config] {
      WriteProfileString(L"member_tips", L"almost_expired", L"0", config, false);
    });
  }
}

// ---------------------------------------------------------------------------
// Clicks and selection

void CSliderWnd::Notify(TNotifyUI& msg) {
  const std::wstring name = msg.pSender ? msg.pSender->GetName().str() : std::wstring();
  if (msg.sType == L"click")
    OnClick(name);
  else if (msg.sType == L"itemselect" && name == L"node_lists" && !filling_list_)
    OnItemSelect(static_cast<int>(msg.wParam));
  WindowImplBase::Notify(msg);
}

void CSliderWnd::OnClick(const std::wstring& name) {
  for (int i = 0; i < 5; ++i) {
    if (name == kRegionOptions[i]) {
      ChooseRegion(i);
      return;
    }
  }
  for (int mode = 0; mode < kModeCount; ++mode) {
    if (name == std::wstring(L"mode") + std::to_wstring(mode)) {
      ChooseMode(mode, true);
      return;
    }
  }
  if (name == L"acc_setting_close_btn" || name == L"close_tool_btn" ||
      name == L"member_close_btn" || name == L"confirm_btn") {
    if (main_window_)
      main_window_->closeSliderWnd();
  } else if (name == L"alternative_node") {
    alternative_ = !alternative_;
    RefreshNodeList();
    WarnIfAccelerating();
  } else if (name == L"refresh_delay_btn") {
    if (CControlUI* button = Find(L"refresh_delay_btn"))
      button->SetEnabled(false);
    RefreshNodeList();
  } else if (name == L"acc_warning_ok") {
    if (CControlUI* box = Find(L"acc_warning_wnd"))
      box->SetVisible(false);
    if (main_window_)
      main_window_->reDial();
  } else if (name == L"acc_warning_cancel" || name == L"acc_warning_close") {
    if (CControlUI* box = Find(L"acc_warning_wnd"))
      box->SetVisible(false);
  } else if (name == L"acc_expir_close") {
    if (CControlUI* box = Find(L"acc_expir_wnd"))
      box->SetVisible(false);
  } else if (vip_page_.OnClick(m_hWnd, &m_pm, name) || tool_page_.OnClick(name)) {
  } else if (!name.empty()) {
    // The membership page, the payment window and the toolbox come with the
    // membership work.
    LOG(INFO) << "slide-out window click: " << win32::WideToUtf8(name);
  }
}

void CSliderWnd::WarnIfAccelerating() {
  if (!main_window_ || main_window_->accelerationState() == 0)
    return;
  if (CControlUI* box = Find(L"acc_warning_wnd"))
    box->SetVisible(true);
}

void CSliderWnd::ChooseRegion(int index) {
  int previous = region_index_;
  region_index_ = index;
  if (index == 0) {
    setDnsServerInfo();
    if (alternative_)
      RefreshNodeList();
    alternative_ = false;
    if (CControlUI* alternative = Find(L"alternative_node")) {
      static_cast<COptionUI*>(alternative)->Selected(false);
      alternative->SetEnabled(false);
    }
  } else {
    setDnsServerInfo();
    if (alternative_)
      RefreshNodeList();
  }
  if (previous != index)
    WarnIfAccelerating();
}

void CSliderWnd::ChooseMode(int mode, bool from_user) {
  if (mode < 0 || mode >= kModeCount) {
    LOG(ERROR) << "selected speed mode is illegal: " << mode;
    SetText(L"speed_mode_label", kModeLabels[0]);
    if (main_window_)
      main_window_->setSpeedModeLabel(kModeLabels[0]);
    return;
  }
  int previous = speed_mode_;
  speed_mode_ = mode;
  wchar_t option_name[8];
  swprintf(option_name, 8, L"mode%d", mode);
  if (CControlUI* option = Find(option_name))
    static_cast<COptionUI*>(option)->Selected(true);
  SetText(L"speed_mode_label", kModeLabels[mode]);
  SetText(L"acc_mode_help", kModeHelps[mode]);
  if (main_window_)
    main_window_->setSpeedModeLabel(kModeLabels[mode]);
  if (!from_user)
    return;
  if (!account_.empty()) {
    std::wstring account = account_;
    std::wstring config = config_path_;
    std::wstring value = std::to_wstring(mode);
    ThreadsManager::PostTask(ThreadsManager::IO, FROM_HERE, [account, config, value] {
      WriteProfileString(account, L"speed_mode", value, config, false);
    });
  }
  if (previous != mode)
    WarnIfAccelerating();
}

void CSliderWnd::setDnsServerInfo() {
  std::string code;
  if (region_index_ >= 1 && region_index_ <= 4)
    code = kRegionCodes[region_index_];
  else
    VLOG(1) << "selected server zone: " << region_index_;
  CServiceBridgeVirtual* service = service_;
  std::wstring config = config_path_;
  auto result = std::make_shared<DnsServerInfo>();
  auto skipped = std::make_shared<bool>(false);
  base::WeakPtr<CSliderWnd> weak = weak_factory_.GetWeakPtr();
  ThreadsManager::PostTaskAndReply(
      ThreadsManager::IO, FROM_HERE_WITH_EXPLICIT_FUNCTION("CSliderWnd::setDnsServerInfo"),
      [service, code, result, skipped, config] {
        if (ServiceCallsStopped()) {
          *skipped = true;
          return;
        }
        *result = service->pullDnsServer(code);
        // A failed request leaves the stored name servers as they were.
        if (result->status == 200 && !result->dns.empty())
          WriteProfileString(L"dns_server", L"dns", win32::AnsiToWide(result->dns), config, true);
      },
      [weak, result, skipped] {
        CSliderWnd* self = weak.get();
        if (!self || *skipped)
          return;
        if (result->forward == 1) {
          if (CControlUI* alternative = self->Find(L"alternative_node"))
            alternative->SetEnabled(true);
        }
      });
}

void CSliderWnd::RefreshNodeList() {
  std::string region;
  if (alternative_) {
    if (region_index_ < 1 || region_index_ > 4) {
      VLOG(1) << "unknown server name";
      return;
    }
    region = kRegionCodes[region_index_];
  }
  if (CControlUI* animation = Find(L"refresh_animation_wnd"))
    animation->SetVisible(true);
  if (CControlUI* ring = Find(L"node_animation"))
    ring->SetVisible(true);
  if (auto* list = static_cast<CListUI*>(Find(L"node_lists")))
    list->RemoveAll();
  nodes_.clear();
  selected_node_name_.clear();
  if (CControlUI* failed = Find(L"get_nodes_failed"))
    failed->SetVisible(false);
  if (main_window_)
    main_window_->updateNodeMsg(&CSliderWnd::OnNodeListCallback, this, region);
}

void CSliderWnd::OnNodeListCallback(std::vector<NodeEntry> nodes, void* opaque) {
  static_cast<CSliderWnd*>(opaque)->ShowNodeList(std::move(nodes));
}

void CSliderWnd::ShowNodeList(std::vector<NodeEntry> nodes) {
  if (CControlUI* button = Find(L"refresh_delay_btn"))
    button->SetEnabled(true);
  auto* list = static_cast<CListUI*>(Find(L"node_lists"));
  if (nodes.empty()) {
    if (CControlUI* animation = Find(L"refresh_animation_wnd"))
      animation->SetVisible(false);
    if (CControlUI* failed = Find(L"get_nodes_failed"))
      failed->SetVisible(true);
    return;
  }
  if (CControlUI* failed = Find(L"get_nodes_failed"))
    failed->SetVisible(false);
  if (CControlUI* animation = Find(L"refresh_animation_wnd"))
    animation->SetVisible(false);
  nodes_ = SortedByDelay(std::move(nodes));
  if (!list)
    return;
  filling_list_ = true;
  list->RemoveAll();
  for (size_t i = 0; i < nodes_.size(); ++i) {
    const NodeEntry& node = nodes_[i];
    NodeTexts texts = TextsForDelay(node.delay);
    auto* item = new CListContainerElementUI();
    item->SetFixedHeight(24);
    auto* name = new CLabelUI();
    name->SetName((L"node_name_" + std::to_wstring(i)).c_str());
    name->SetText(node.name.empty() ? L"--" : node.name.c_str());
    name->SetAttribute(L"textcolor", kGoodColor);
    name->SetAttribute(L"textpadding", L"38,3,0,0");
    name->SetAttribute(L"align", L"left");
    auto* delay = new CLabelUI();
    delay->SetName((L"node_delay_" + std::to_wstring(i)).c_str());
    delay->SetFixedWidth(86);
    delay->SetText(texts.delay.c_str());
    delay->SetAttribute(L"textcolor", texts.failed ? kBadColor : kGoodColor);
    delay->SetAttribute(L"align", L"left");
    auto* loss = new CLabelUI();
    loss->SetName((L"node_loss_" + std::to_wstring(i)).c_str());
    loss->SetFixedWidth(74);
    loss->SetText(texts.loss.c_str());
    loss->SetAttribute(L"textcolor", texts.failed ? kBadColor : kGoodColor);
    loss->SetAttribute(L"align", L"center");
    item->Add(name);
    item->Add(delay);
    item->Add(loss);
    list->Add(item);
  }
  std::printf("nodeSize:%zu\n", nodes_.size());
  std::fflush(stdout);
  int selected = 0;
  if (main_window_ && main_window_->accelerationState() == 2) {
    std::wstring in_use = main_window_->currentNodeName();
    for (size_t i = 0; i < nodes_.size(); ++i) {
      if (nodes_[i].name == in_use)
        selected = static_cast<int>(i);
    }
  }
  list->SelectItem(selected, false, false);
  selected_node_name_ = nodes_[selected].name;
  filling_list_ = false;
}

void CSliderWnd::OnItemSelect(int index) {
  if (index < 0 || index >= static_cast<int>(nodes_.size()))
    return;
  const std::wstring previous = selected_node_name_;
  selected_node_name_ = nodes_[index].name;
  if (previous != selected_node_name_)
    WarnIfAccelerating();
}
