// The membership page "tab_VIP" of the slide-out window: the account and
// its end date (fetched on the IO thread), the expiry and stop boxes, and
// the ways to renewal, customer service and the web site. Owned by the
// slide-out window, which forwards its clicks. UI thread.
#ifndef CLIENT_WINDOWS_VIP_PAGE_H_
#define CLIENT_WINDOWS_VIP_PAGE_H_

#include <string>

#include "base/weak_ptr.h"
#include "client/windows/abstract_communication.h"
#include "duilib/UIlib.h"

class CSliderWnd;

class VipPage {
 public:
  VipPage(CSliderWnd* slider, AbstractCommunication* main_window);
  ~VipPage();

  // Fetches the membership record again and shows it on the page.
  void Refresh();
  // True when |name| was one of this page's buttons.
  bool OnClick(HWND window, DuiLib::CPaintManagerUI* pm, const std::wstring& name);

  // The web site opened by "member_info_center": [web_site] url in
  // config.ini, else the product's address.
  static std::wstring WebSiteAddress();

 private:
  CSliderWnd* slider_;
  AbstractCommunication* main_window_;
  base::WeakPtrFactory<VipPage> weak_factory_{this};
};

#endif  // CLIENT_WINDOWS_VIP_PAGE_H_
