#include "client/windows/vip_page.h"

#include <memory>

#include "base/logging.h"
#include "client/config/config_paths.h"
#include "client/config/profile_store.h"
#include "client/threads/threads_manager.h"
#include "client/windows/pay_wnd.h"
#include "client/windows/qq_wechat_wnd.h"
#include "client/windows/service_call_gate.h"
#include "client/windows/slider_wnd.h"
#include "win32/shell_execute.h"

using namespace DuiLib;

namespace {
constexpr wchar_t kDefaultWebSite[] = L"https://www.tern.example/";
}  // namespace

VipPage::VipPage(CSliderWnd* slider, AbstractCommunication* main_window)
    : slider_(slider), main_window_(main_window) {
  base::WeakPtr<VipPage> weak = weak_factory_.GetWeakPtr();
  CPayWnd::SetPaidCallback([weak] {
    if (VipPage* self = weak.get())
      self->Refresh();
  });
}

VipPage::~VipPage() {
  weak_factory_.InvalidateWeakPtrs();
}

// static
std::wstring VipPage::WebSiteAddress() {
  std::wstring url = ReadProfileString(L"web_site", L"url", L"", 512, GetConfigPath(), true);
  return url.empty() ? kDefaultWebSite : url;
}

void VipPage::Refresh() {
  CServiceBridgeVirtual* service = GetInterfaceLibraryInfo();
  auto info = std::make_shared<MemberInfo>();
  auto skipped = std::make_shared<bool>(false);
  base::WeakPtr<VipPage> weak = weak_factory_.GetWeakPtr();
  ThreadsManager::PostTaskAndReply(
      ThreadsManager::IO, FROM_HERE_WITH_EXPLICIT_FUNCTION("VipPage::Refresh"),
      [service, info, skipped] {
        if (ServiceCallsStopped()) {
          *skipped = true;
          return;
        }
        *info = service->getMemberInfo();
      },
      [weak, info, skipped] {
        VipPage* self = weak.get();
        // A failed request keeps what the page shows.
        if (self && !*skipped && !info->deadline.empty())
          self->slider_->setMemberInfo(*info);
      });
}

bool VipPage::OnClick(HWND window, CPaintManagerUI* pm, const std::wstring& name) {
  if (name == L"acc_expir_btn" || name == L"open_vip_btn") {
    CPayWnd::Open(window);
  } else if (name == L"online_service") {
    QQWechatWnd::Open(window);
  } else if (name == L"member_info_center") {
    std::wstring url = WebSiteAddress();
    auto result = reinterpret_cast<intptr_t>(
        ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result <= 32)
      LOG(WARNING) << "web site not opened: " << result;
  } else if (name == L"stop_speed_btn") {
    if (main_window_ && main_window_->accelerationState() == 2)
      main_window_->stopAcceleration();
    if (CControlUI* box = pm->FindControl(L"open_member_info"))
      box->SetVisible(false);
  } else if (name == L"cancel_acc_btn" || name == L"o_mem_close") {
    if (CControlUI* box = pm->FindControl(L"open_member_info"))
      box->SetVisible(false);
  } else {
    return false;
  }
  return true;
}
