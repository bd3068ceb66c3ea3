// The payment window ("PayWnd.xml", class "PayWnd"): the three membership
// plans with their prices, a WeChat order for the chosen plan shown as a QR
// code ("qr.bmp" in the program folder), and the poll of the order until it
// is paid. One window per process, opened from the main window and the
// membership page; closing only hides it. UI thread.
//
// The billing calls and the QR generation run on the IO thread; their
// replies carry the order they belong to and are dropped once that order is
// no longer the current one (another order, or the window closed).
#ifndef CLIENT_WINDOWS_PAY_WND_H_
#define CLIENT_WINDOWS_PAY_WND_H_

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "base/weak_ptr.h"
#include "duilib/UIlib.h"
#include "servicebridge/service_bridge.h"

class CPayWnd : public DuiLib::WindowImplBase {
 public:
  static constexpr UINT_PTR kPollTimer = 1100;
  static constexpr UINT kFastPollMs = 5000;
  static constexpr UINT kSlowPollMs = 15000;

  // Creates the window on first use (owned by |owner|), sets it up again
  // (stored expiry flag, price page, monthly plan, a fresh goods list),
  // centres and shows it.
  static CPayWnd* Open(HWND owner);
  // The open window, if any.
  static CPayWnd* Current();
  // Runs after an order was paid (the membership page refreshes its data).
  static void SetPaidCallback(std::function<void()> callback);

  // Texts of a plan, as shown.
  static std::wstring PriceText(const std::string& plan, const GoodsItem& item);
  static std::wstring OriginText(const GoodsItem& item);
  static std::wstring MoneyText(const GoodsItem& item);
  static std::wstring PlusDaysText(const std::string& plan, const GoodsItem& item);
  // "qr.bmp" in the program folder.
  static std::wstring QrImagePath();

 protected:
  CPayWnd();
  ~CPayWnd() override;
  const wchar_t* GetWindowClassName() const override { return L"PayWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"PayWnd.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;
  LRESULT OnDestroy(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;
  void OnFinalMessage(HWND hwnd) override;

 private:
  void SetUp();
  void FetchGoods();
  void FillPlanTexts();
  void ChoosePlan(const std::string& plan);
  void FillChosenPlan();
  void Pay();
  void OnOrder(int order_id, const WechatOrder& order);
  void Poll();
  void OnPayStatus(int order_id, int status);
  void Close();
  GoodsItem Item(const std::string& plan) const;

  void SetText(const wchar_t* control, const std::wstring& text);
  void SetVisible(const wchar_t* control, bool visible);
  DuiLib::CControlUI* Find(const wchar_t* name);

  CServiceBridgeVirtual* service_;
  std::map<std::string, GoodsItem> goods_;
  std::string plan_ = "monthly";
  WechatOrder order_;
  int counter_ = 0;
  bool almost_expired_ = false;
  bool poll_in_flight_ = false;
  bool polling_ = false;
  // The current order's number; read by the IO thread before it writes the
  // QR image, so that no image is written for a stale or closed order.
  std::shared_ptr<std::atomic<int>> order_id_ = std::make_shared<std::atomic<int>>(0);

  base::WeakPtrFactory<CPayWnd> weak_factory_{this};
};

#endif  // CLIENT_WINDOWS_PAY_WND_H_
