// The login window ("LoginWnd.xml"): account and SMS sign-in, registration,
// password reset, remembered accounts, the forced-update check, and the
// hand-over to the windows that follow sign-in (created hidden here during
// set-up). UI thread.
//
// Service calls run on the IO thread. Every task is given the values it
// needs, taken from the controls on the UI thread when it is posted, and
// the window's handle; it never touches the window object. Replies come
// back through a weak pointer, so a task that outlives the window does
// nothing. After shutdown has begun, queued service calls are skipped.
#ifndef CLIENT_WINDOWS_LOGIN_WND_H_
#define CLIENT_WINDOWS_LOGIN_WND_H_

#include <memory>
#include <set>
#include <string>

#include "base/weak_ptr.h"
#include "client/windows/abstract_login_main.h"
#include "duilib/UIlib.h"
#include "servicebridge/service_bridge.h"

class CMainWnd;
class CSliderWnd;
class ParentHWND;

class CLoginWnd : public DuiLib::WindowImplBase, public AbstractLoginMain {
 public:
  // Private messages.
  static constexpr UINT kTipMessage = WM_USER + 1;            // lParam: tip code
  static constexpr UINT kLoginProgressMessage = WM_USER + 2;  // lParam: 1 on, 0 off
  static constexpr UINT kPhoneFormMessage = WM_USER + 6;
  static constexpr UINT kPhoneLoginFailedMessage = WM_USER + 7;
  // Countdown timers of the three code requests.
  static constexpr UINT_PTR kRegisterTimer = 1000;
  static constexpr UINT_PTR kPhoneLoginTimer = 1001;
  static constexpr UINT_PTR kResetTimer = 1002;

  // Posts the service library's set-up (program folder, device description,
  // public key) to the IO thread.
  CLoginWnd();
  ~CLoginWnd() override;

  // AbstractLoginMain:
  void showLoginWnd() override;

  CMainWnd* main_window() const { return main_wnd_.get(); }
  CSliderWnd* slider_window() const { return slider_wnd_.get(); }
  ParentHWND* parent_window() const { return parent_wnd_.get(); }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"LoginWnd"; }
  DuiLib::CDuiString GetSkinFile() override { return L"LoginWnd.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT MessageHandler(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;
  LRESULT OnDestroy(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;

  DUI_DECLARE_MESSAGE_MAP()

 private:
  enum class Page { kRegister, kAccount, kPhone, kReset, kResetLast };
  struct Countdown {
    UINT_PTR timer;
    int counter = 30;
    DuiLib::CButtonUI* send = nullptr;
    DuiLib::CButtonUI* resend = nullptr;
  };
  struct SignIn;

  // Set-up.
  void BindControls();
  void LoadRememberedData();
  void CreateFollowingWindows();
  void ApplyBottomPage();

  // Clicks.
  void OnLogin(DuiLib::TNotifyUI& msg);
  void OnPhoneLogin(DuiLib::TNotifyUI& msg);
  void OnRegister(DuiLib::TNotifyUI& msg);
  void OnFindPassword(DuiLib::TNotifyUI& msg);
  void OnResetNext(DuiLib::TNotifyUI& msg);
  void OnResetConfirm(DuiLib::TNotifyUI& msg);
  void OnMinimize(DuiLib::TNotifyUI& msg);
  void OnClose(DuiLib::TNotifyUI& msg);
  void OnAutoLogin(DuiLib::TNotifyUI& msg);
  void OnRememberPassword(DuiLib::TNotifyUI& msg);
  void OnShowPhonePage(DuiLib::TNotifyUI& msg);
  void OnShowAccountPage(DuiLib::TNotifyUI& msg);
  void OnShowRegisterPage(DuiLib::TNotifyUI& msg);
  void OnShowLoginPage(DuiLib::TNotifyUI& msg);
  void OnSendCaptcha(DuiLib::TNotifyUI& msg);
  void OnToggleBottomPage(DuiLib::TNotifyUI& msg);

  // Pages.
  void ShowOuterPage(Page page);
  void ShowInnerPage(Page page);

  // Sign-in.
  void PostAccountLogin();
  bool CapturePhoneForm();
  void SetLoginProgress(bool on);
  void ShowTip(int code);
  void OnAccountLoginDone(const SignIn& attempt, int verdict, int tip, const LoginResult& result);
  void OnPhoneLoginDone(const SignIn& attempt, const LoginResult& result);
  void setInfoAfterLogin(const SignIn& attempt, const LoginResult& result);
  void OnUserDataWritten(std::wstring account);

  // Codes, registration, reset.
  void StartCountdown(Countdown& countdown);
  void TickCountdown(Countdown& countdown);
  void ResetCountdown(Countdown& countdown);
  void StopAllCountdowns();
  Countdown* CountdownForTimer(UINT_PTR timer);
  DuiLib::CControlUI* TipLabelForPage(Page page);
  void OnCaptchaSent(Page page, const CaptchaResult& result);
  void OnRegisterDone(const RegisterResult& result);
  void OnResetDone(const ResetResult& result);

  void SetText(DuiLib::CControlUI* control, const std::wstring& text);
  std::wstring TextOf(DuiLib::CControlUI* control) const;

  CServiceBridgeVirtual* service_;
  std::wstring config_path_;
  std::string program_dir_;  // UTF-8, for files the window reads and writes
  Page page_ = Page::kAccount;
  std::set<std::wstring> accounts_;
  // The phone-login form as captured on the UI thread (ANSI).
  std::string phone_number_;
  std::string phone_code_;
  bool phone_form_valid_ = false;
  std::wstring phone_failure_text_;

  Countdown register_countdown_{kRegisterTimer};
  Countdown phone_countdown_{kPhoneLoginTimer};
  Countdown reset_countdown_{kResetTimer};

  // Frame.
  DuiLib::CLabelUI* version_label_ = nullptr;
  DuiLib::CTabLayoutUI* outer_tab_ = nullptr;
  DuiLib::CTabLayoutUI* inner_tab_ = nullptr;
  DuiLib::CControlUI* bottom_page_ = nullptr;
  DuiLib::CButtonUI* spread_button_ = nullptr;
  DuiLib::COptionUI* auto_login_ = nullptr;
  DuiLib::COptionUI* remember_passwd_ = nullptr;
  // Account page.
  DuiLib::CEditUI* account_edit_ = nullptr;
  DuiLib::CEditUI* passwd_edit_ = nullptr;
  DuiLib::CLabelUI* login_tips_ = nullptr;
  DuiLib::CControlUI* tips_icon_ = nullptr;
  DuiLib::CButtonUI* login_btn_ = nullptr;
  // Phone page.
  DuiLib::CButtonUI* phone_login_btn_ = nullptr;
  DuiLib::CEditUI* phone_edit_ = nullptr;
  DuiLib::CEditUI* message_code_edit_ = nullptr;
  DuiLib::CLabelUI* phone_login_tips_ = nullptr;
  // Register page.
  DuiLib::CEditUI* register_phone_edit_ = nullptr;
  DuiLib::CEditUI* register_passwd_edit_ = nullptr;
  DuiLib::CEditUI* register_repeat_passwd_edit_ = nullptr;
  DuiLib::CEditUI* register_captcha_edit_ = nullptr;
  DuiLib::CLabelUI* register_tips_ = nullptr;
  DuiLib::CButtonUI* register_btn_ = nullptr;
  // Reset pages.
  DuiLib::CButtonUI* reset_next_btn_ = nullptr;
  DuiLib::CEditUI* reset_phone_edit_ = nullptr;
  DuiLib::CEditUI* reset_code_edit_ = nullptr;
  DuiLib::CLabelUI* reset_phone_tips_ = nullptr;
  DuiLib::CEditUI* reset_passwd_edit_ = nullptr;
  DuiLib::CEditUI* reset_passwd_again_edit_ = nullptr;
  DuiLib::CLabelUI* reset_password_tips_ = nullptr;

  // The windows that follow sign-in; destroyed child first.
  std::unique_ptr<ParentHWND> parent_wnd_;
  std::unique_ptr<CSliderWnd> slider_wnd_;
  std::unique_ptr<CMainWnd> main_wnd_;

  base::WeakPtrFactory<CLoginWnd> weak_factory_{this};
};

#endif  // CLIENT_WINDOWS_LOGIN_WND_H_
