#include "client/windows/pay_wnd.h"

#include <unistd.h>

#include <cstdio>

#include "base/logging.h"
#include "client/config/config_paths.h"
#include "client/config/profile_store.h"
#include "client/threads/threads_manager.h"
#include "client/windows/service_call_gate.h"
#include "qrgenerator/qr_generator.h"
#include "win32/code_page.h"

using namespace DuiLib;

namespace {

constexpr DWORD kSelectedBorder = 0xFF0198F9;
constexpr DWORD kPlainBorder = 0xFFE5E5E5;

struct Plan {
  const char* name;
  const wchar_t* tile;
  const wchar_t* origin;
  const wchar_t* badge;
  const wchar_t* price_format;
  const wchar_t* plus_prefix;
  const wchar_t* order_text;
};

constexpr Plan kPlans[] = {
    {"monthly", L"month_price", L"origin_month", L"act_month", L"包月￥%.1f", L"（实际获得1个月+",
     L"包月￥ "},
    {"season", L"season_price", L"origin_season", L"act_season", L"包季%.1f", L"（实际获得3个月+",
     L"包季￥ "},
    {"yearly", L"year_price", L"origin_year", L"act_year", L"包年￥%.1f", L"（实际获得12个月+",
     L"包年￥ "},
};

const Plan& PlanOf(const std::string& name) {
  for (const Plan& plan : kPlans) {
    if (name == plan.name)
      return plan;
  }
  return kPlans[0];
}

std::wstring Format(const wchar_t* format, int hundredths) {
  wchar_t text[64];
  swprintf(text, 64, format, hundredths / 100.0);
  return text;
}

CPayWnd* g_window = nullptr;
std::function<void()>& PaidCallback() {
  static std::function<void()> callback;
  return callback;
}

// IO thread: removes the image; after any image write still queued there.
void DeleteQrImage(const std::wstring& path) {
  if (::unlink(win32::WideToUtf8(path).c_str()) == 0) {
    printf("delete file success.\n");
    VLOG(0) << "delete qr.bmp success";
  } else {
    printf("delete file failed.\n");
    VLOG(0) << "delete qr.bmp failed";
  }
  fflush(stdout);
}

}  // namespace

// static
std::wstring CPayWnd::PriceText(const std::string& plan, const GoodsItem& item) {
  return Format(PlanOf(plan).price_format, item.payment);
}

// static
std::wstring CPayWnd::OriginText(const GoodsItem& item) {
  return Format(L"原价%.1f", item.payable);
}

// static
std::wstring CPayWnd::MoneyText(const GoodsItem& item) {
  return Format(L"￥%.1f", item.payment);
}

// static
std::wstring CPayWnd::PlusDaysText(const std::string& plan, const GoodsItem& item) {
  if (item.handsel < 1)
    return std::wstring();
  return PlanOf(plan).plus_prefix + std::to_wstring(item.handsel) + L"天）";
}

// static
std::wstring CPayWnd::QrImagePath() {
  return GetModuleDirectory() + L"/qr.bmp";
}

// static
CPayWnd* CPayWnd::Open(HWND owner) {
  if (!g_window) {
    auto* wnd = new CPayWnd();
    if (!wnd->Create(owner, L"", UI_WNDSTYLE_DIALOG, WS_EX_WINDOWEDGE)) {
      delete wnd;
      return nullptr;
    }
    g_window = wnd;
  }
  g_window->SetUp();
  g_window->CenterWindow();
  g_window->ShowWindow(true);
  return g_window;
}

// static
CPayWnd* CPayWnd::Current() {
  return g_window;
}

// static
void CPayWnd::SetPaidCallback(std::function<void()> callback) {
  PaidCallback() = std::move(callback);
}

CPayWnd::CPayWnd() : service_(GetInterfaceLibraryInfo()) {}

CPayWnd::~CPayWnd() {
  weak_factory_.InvalidateWeakPtrs();
  if (g_window == this)
    g_window = nullptr;
}

CControlUI* CPayWnd::Find(const wchar_t* name) {
  return m_pm.FindControl(name);
}

void CPayWnd::SetText(const wchar_t* control, const std::wstring& text) {
  if (CControlUI* c = Find(control))
    c->SetText(text.c_str());
}

void CPayWnd::SetVisible(const wchar_t* control, bool visible) {
  if (CControlUI* c = Find(control))
    c->SetVisible(visible);
}

void CPayWnd::InitWindow() {}

void CPayWnd::SetUp() {
  // A new set-up forgets any order of an earlier opening.
  order_id_->fetch_add(1);
  ::KillTimer(m_hWnd, kPollTimer);
  polling_ = false;
  poll_in_flight_ = false;
  counter_ = 0;
  order_ = WechatOrder();
  if (auto* tab = static_cast<CTabLayoutUI*>(Find(L"pay_tab")))
    tab->SelectItem(Find(L"pay_goods_wnd"));
  almost_expired_ =
      ReadProfileString(L"member_tips", L"almost_expired", L"", 64, GetConfigPath(), false) == L"1";
  SetVisible(L"expir_lab", almost_expired_);
  ChoosePlan("monthly");
  FetchGoods();
}

GoodsItem CPayWnd::Item(const std::string& plan) const {
  auto it = goods_.find(plan);
  return it == goods_.end() ? GoodsItem() : it->second;
}

void CPayWnd::FetchGoods() {
  CServiceBridgeVirtual* service = service_;
  auto goods = std::make_shared<std::map<std::string, GoodsItem>>();
  auto skipped = std::make_shared<bool>(false);
  base::WeakPtr<CPayWnd> weak = weak_factory_.GetWeakPtr();
  ThreadsManager::PostTaskAndReply(
      ThreadsManager::IO, FROM_HERE_WITH_EXPLICIT_FUNCTION("CPayWnd::FetchGoods"),
      [service, goods, skipped] {
        if (ServiceCallsStopped()) {
          *skipped = true;
          return;
        }
        *goods = service->getGoodsInfo();
      },
      [weak, goods, skipped] {
        CPayWnd* self = weak.get();
        if (!self || *skipped)
          return;
        self->goods_ = *goods;
        self->FillPlanTexts();
      });
}

void CPayWnd::FillPlanTexts() {
  for (const Plan& plan : kPlans) {
    GoodsItem item = Item(plan.name);
    SetText(plan.tile, PriceText(plan.name, item));
    SetText(plan.origin, OriginText(item));
    SetVisible(plan.badge, item.favorable == 1);
  }
  FillChosenPlan();
}

void CPayWnd::ChoosePlan(const std::string& plan) {
  plan_ = PlanOf(plan).name;
  for (const Plan& p : kPlans) {
    if (CControlUI* tile = Find(p.tile))
      tile->SetBorderColor(plan_ == p.name ? kSelectedBorder : kPlainBorder);
  }
  FillChosenPlan();
}

void CPayWnd::FillChosenPlan() {
  GoodsItem item = Item(plan_);
  SetText(L"des_detail", win32::AnsiToWide(item.describe));
  SetText(L"pay_money", MoneyText(item));
  SetText(L"plus_days", PlusDaysText(plan_, item));
}

void CPayWnd::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender) {
    const std::wstring name = msg.pSender->GetName().str();
    if (name == L"close_btn" || name == L"pay_compelete_btn") {
      Close();
      return;
    }
    if (name == L"pay_btn") {
      Pay();
      return;
    }
    for (const Plan& plan : kPlans) {
      if (name == plan.tile) {
        ChoosePlan(plan.name);
        return;
      }
    }
  }
  WindowImplBase::Notify(msg);
}

void CPayWnd::Pay() {
  ::KillTimer(m_hWnd, kPollTimer);
  polling_ = false;
  poll_in_flight_ = false;
  counter_ = 0;
  const int id = order_id_->fetch_add(1) + 1;
  CServiceBridgeVirtual* service = service_;
  std::string plan = plan_;
  std::wstring path = QrImagePath();
  std::shared_ptr<std::atomic<int>> current = order_id_;
  auto order = std::make_shared<WechatOrder>();
  auto skipped = std::make_shared<bool>(false);
  base::WeakPtr<CPayWnd> weak = weak_factory_.GetWeakPtr();
  ThreadsManager::PostTaskAndReply(
      ThreadsManager::IO, FROM_HERE_WITH_EXPLICIT_FUNCTION("CPayWnd::Pay"),
      [service, plan, path, current, id, order, skipped] {
        if (ServiceCallsStopped()) {
          *skipped = true;
          return;
        }
        *order = service->createWechatOrder(plan);
        // Closing bumps the number and queues the image's removal behind
        // this task, so checking here is enough.
        if (current->load() != id) {
          *skipped = true;
          return;
        }
        if (!QRGenerator(order->qr_url.c_str(), win32::WideToAnsi(path).c_str()))
          LOG(WARNING) << "no QR code for the order, status " << order->status;
      },
      [weak, id, order, skipped] {
        CPayWnd* self = weak.get();
        if (self && !*skipped)
          self->OnOrder(id, *order);
      });
}

void CPayWnd::OnOrder(int order_id, const WechatOrder& order) {
  if (order_id != order_id_->load() || !::IsWindowVisible(m_hWnd))
    return;
  order_ = order;
  if (CControlUI* qr = Find(L"qrcode")) {
    qr->SetBkImage(L"");
    qr->SetBkImage(QrImagePath().c_str());
  }
  SetText(L"qr_oder_number", win32::AnsiToWide(order.trade_no));
  SetText(L"qr_user_account", win32::AnsiToWide(order.nickname));
  SetText(L"qr_goods_type", PlanOf(plan_).order_text);
  SetText(L"qr_pay_money", MoneyText(Item(plan_)));
  counter_ = 0;
  polling_ = true;
  ::SetTimer(m_hWnd, kPollTimer, kFastPollMs, nullptr);
  if (auto* tab = static_cast<CTabLayoutUI*>(Find(L"pay_tab")))
    tab->SelectItem(Find(L"pay_content_wnd"));
}

LRESULT CPayWnd::HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM, BOOL& handled) {
  if (msg == WM_TIMER && wparam == kPollTimer) {
    handled = TRUE;
    counter_ += 5;
    Poll();
    return 0;
  }
  handled = FALSE;
  return 0;
}

void CPayWnd::Poll() {
  // A slow billing host must not pile up requests: one at a time.
  if (poll_in_flight_ || !polling_)
    return;
  poll_in_flight_ = true;
  const int id = order_id_->load();
  CServiceBridgeVirtual* service = service_;
  std::string trade_no = order_.trade_no;
  auto status = std::make_shared<int>(0);
  auto skipped = std::make_shared<bool>(false);
  base::WeakPtr<CPayWnd> weak = weak_factory_.GetWeakPtr();
  ThreadsManager::PostTaskAndReply(
      ThreadsManager::IO, FROM_HERE_WITH_EXPLICIT_FUNCTION("CPayWnd::Poll"),
      [service, trade_no, status, skipped] {
        if (ServiceCallsStopped()) {
          *skipped = true;
          return;
        }
        *status = service->queryPayStatus(trade_no);
      },
      [weak, id, status, skipped] {
        CPayWnd* self = weak.get();
        if (!self)
          return;
        if (id == self->order_id_->load())
          self->poll_in_flight_ = false;
        if (!*skipped)
          self->OnPayStatus(id, *status);
      });
}

void CPayWnd::OnPayStatus(int order_id, int status) {
  if (order_id != order_id_->load() || !polling_)
    return;
  if (status == 1) {
    WriteProfileString(L"member_tips", L"almost_expired", L"0", GetConfigPath(), false);
    if (auto* tab = static_cast<CTabLayoutUI*>(Find(L"pay_tab")))
      tab->SelectItem(Find(L"pay_compelete_wnd"));
    ::KillTimer(m_hWnd, kPollTimer);
    polling_ = false;
    counter_ = 0;
    LOG(INFO) << "order " << order_.trade_no << " paid";
    if (PaidCallback())
      PaidCallback()();
    return;
  }
  if (counter_ > 300) {
    counter_ = 0;
    ::KillTimer(m_hWnd, kPollTimer);
    Poll();
    ::SetTimer(m_hWnd, kPollTimer, kSlowPollMs, nullptr);
  }
}

void CPayWnd::Close() {
  ShowWindow(false);
  ::KillTimer(m_hWnd, kPollTimer);
  polling_ = false;
  poll_in_flight_ = false;
  order_id_->fetch_add(1);
  std::wstring path = QrImagePath();
  if (!ThreadsManager::PostTask(ThreadsManager::IO,
                                FROM_HERE_WITH_EXPLICIT_FUNCTION("CPayWnd::Close"),
                                [path] { DeleteQrImage(path); }))
    DeleteQrImage(path);
}

LRESULT CPayWnd::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
  PostQuitMessage(0);
  handled = FALSE;
  return 0;
}

void CPayWnd::OnFinalMessage(HWND hwnd) {
  WindowImplBase::OnFinalMessage(hwnd);
  delete this;
}
