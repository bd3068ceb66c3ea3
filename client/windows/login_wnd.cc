#include "client/windows/login_wnd.h"

#include <cstdio>

#include "base/logging.h"
#include "client/config/config_paths.h"
#include "client/config/profile_store.h"
#include "client/config/scrambler.h"
#include "client/engine/route_manager.h"
#include "client/system/os_info.h"
#include "client/threads/threads_manager.h"
#include "client/windows/login_rules.h"
#include "client/windows/main_wnd.h"
#include "client/windows/my_message_box.h"
#include "client/windows/parent_hwnd.h"
#include "client/windows/password_encryption.h"
#include "client/windows/service_call_gate.h"
#include "client/windows/slider_wnd.h"
#include "client/windows/updater_launch.h"
#include "win32/code_page.h"

using namespace DuiLib;

namespace {

constexpr wchar_t kProductName[] = L"Tern智能加速器";
constexpr wchar_t kLoginText[] = L"登录";
constexpr wchar_t kLoggingInText[] = L"正在登录...";
constexpr wchar_t kTooFrequentText[] =
    L"温馨提示：登录过于频繁，请使用手机短信验证码进行验证登录，点击确定将跳转到短信验证登录界面。";
constexpr wchar_t kPasswordFormatText[] =
    L"温馨提示：密码格式错误，密码为长度8-16位至少包含一个英文或特殊字符";
constexpr wchar_t kCaptchaFailedText[] = L"验证码发送失败，请稍后重试";
constexpr wchar_t kPhoneEmptyText[] = L"手机号码不能为空";
constexpr DWORD kFocusedBorderColor = 0xFF0198F9;
constexpr DWORD kNormalBorderColor = 0xFFDCE3EC;
constexpr int kFullHeight = 482;
constexpr int kFoldedHeight = 400;
constexpr int kCountdownSeconds = 30;
constexpr UINT kCountdownPeriodMs = 1000;

const wchar_t kUserData[] = L"user_data";

// The "page_status" entry keeps its names scrambled and its value plain.
std::wstring ReadBottomPageStatus(const std::wstring& config) {
  return ReadProfileString(ScrambleText(L"page_status"), ScrambleText(L"bottom_page_status"), L"0",
                           2, config, true);
}

void WriteBottomPageStatus(const std::wstring& config) {
  WriteProfileString(ScrambleText(L"page_status"), ScrambleText(L"bottom_page_status"), L"1",
                     config, true);
}

// IO thread: a newer version that must be installed starts updater.exe and
// closes the login window, which ends the client.
void CheckForcedUpdate(CServiceBridgeVirtual* service, HWND login_window) {
  if (ServiceCallsStopped())
    return;
  UpgradeInfo upgrade = service->checkUpgrade();
  if (IsNewerVersion(upgrade.version, kClientVersion) && upgrade.must == 1) {
    VLOG(1) << "force to update, force up " << upgrade.must;
    INT_PTR result = StartUpdater(win32::AnsiToWide(upgrade.package));
    if (result <= 32)
      LOG(ERROR) << "start update, shell execute return an error value: " << result;
    else
      ::PostMessageW(login_window, WM_CLOSE, 0, 0);  // fails quietly when the window is gone
    return;
  }
  VLOG(1) << "lastest version";
}

struct AccountLoginOutcome {
  bool skipped = false;
  LoginReading reading;
  LoginResult result;
};

// IO thread: checks the captured form, then signs in with the encrypted
// password.
void AccountLogin(CServiceBridgeVirtual* service,
                  const std::string& key_path,
                  const std::wstring& account,
                  const std::wstring& password,
                  AccountLoginOutcome* outcome) {
  VLOG(1) << "begin to login";
  int tip = CheckAccountForm(account, password);
  if (tip >= 0) {
    LOG(ERROR) << "user account is illegal.";
    outcome->reading = {LoginVerdict::kTip, tip};
    return;
  }
  if (ServiceCallsStopped()) {
    outcome->skipped = true;
    return;
  }
  outcome->result =
      service->loginAccount(win32::WideToAnsi(account), EncryptPassword(password, key_path), "");
  outcome->reading = ReadLoginResult(outcome->result);
}

}  // namespace

// One sign-in attempt as captured on the UI thread.
struct CLoginWnd::SignIn {
  std::wstring account;
  std::wstring password;
};

DUI_BEGIN_MESSAGE_MAP(CLoginWnd, WindowImplBase)
DUI_ON_CLICK_CTRNAME(L"login_btn", OnLogin)
DUI_ON_CLICK_CTRNAME(L"phone_login_btn", OnPhoneLogin)
DUI_ON_CLICK_CTRNAME(L"register__btn", OnRegister)
DUI_ON_CLICK_CTRNAME(L"find_passwd_btn", OnFindPassword)
DUI_ON_CLICK_CTRNAME(L"reset_phone_login_btn", OnResetNext)
DUI_ON_CLICK_CTRNAME(L"reset_passwd_confirm_btn", OnResetConfirm)
DUI_ON_CLICK_CTRNAME(L"login_wnd_min", OnMinimize)
DUI_ON_CLICK_CTRNAME(L"login_wnd_close", OnClose)
DUI_ON_CLICK_CTRNAME(L"auto_login", OnAutoLogin)
DUI_ON_CLICK_CTRNAME(L"remember_passwd", OnRememberPassword)
DUI_ON_CLICK_CTRNAME(L"swicht_login_btn", OnShowPhonePage)
DUI_ON_CLICK_CTRNAME(L"switch_account_login_btn", OnShowAccountPage)
DUI_ON_CLICK_CTRNAME(L"reset_switch_to_login_btn", OnShowAccountPage)
DUI_ON_CLICK_CTRNAME(L"reset_return_login_btn", OnShowAccountPage)
DUI_ON_CLICK_CTRNAME(L"register_account_btn", OnShowRegisterPage)
DUI_ON_CLICK_CTRNAME(L"switch_login_btn", OnShowLoginPage)
DUI_ON_CLICK_CTRNAME(L"send_captcha_btn", OnSendCaptcha)
DUI_ON_CLICK_CTRNAME(L"register_send_captcha_btn", OnSendCaptcha)
DUI_ON_CLICK_CTRNAME(L"reset_send_captcha_btn", OnSendCaptcha)
DUI_ON_CLICK_CTRNAME(L"spread_hidden_page_button", OnToggleBottomPage)
DUI_END_MESSAGE_MAP()

CLoginWnd::CLoginWnd()
    : service_(GetInterfaceLibraryInfo()),
      config_path_(GetConfigPath()),
      program_dir_(win32::WideToUtf8(GetModuleDirectory())) {
  CServiceBridgeVirtual* service = service_;
  std::string directory = win32::WideToAnsi(GetModuleDirectory());
  ThreadsManager::PostTask(ThreadsManager::IO, FROM_HERE, [service, directory] {
    if (ServiceCallsStopped())
      return;
    service->initialize(directory);
    service->setDeviceInfo(GetOsDescription().c_str());
    service->getPublicKey();
  });
}

CLoginWnd::~CLoginWnd() {
  weak_factory_.InvalidateWeakPtrs();
  if (::IsWindow(m_hWnd))
    ::DestroyWindow(m_hWnd);
}

void CLoginWnd::showLoginWnd() {
  if (account_edit_ && TextOf(account_edit_).empty())
    account_edit_->SetFocus();
  else if (passwd_edit_ && TextOf(passwd_edit_).empty())
    passwd_edit_->SetFocus();
  ShowWindow(true);
  ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ::SetWindowPos(m_hWnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

// ---------------------------------------------------------------------------
// Set-up

void CLoginWnd::InitWindow() {
  BindControls();
  SetText(version_label_, kProductName);
  LoadRememberedData();
  CreateFollowingWindows();
  if (account_edit_ && TextOf(account_edit_).empty())
    account_edit_->SetFocus();
  else if (passwd_edit_ && TextOf(passwd_edit_).empty())
    passwd_edit_->SetFocus();
  ApplyBottomPage();
  ShowOuterPage(Page::kAccount);

  // The forced-update check.
  ThreadsManager::PostTask(ThreadsManager::IO, FROM_HERE, [service = service_, hwnd = m_hWnd] {
    CheckForcedUpdate(service, hwnd);
  });

  if (auto_login_ && auto_login_->IsSelected()) {
    SetLoginProgress(true);
    PostAccountLogin();
  }
}

void CLoginWnd::BindControls() {
  auto find = [this](const wchar_t* name) { return m_pm.FindControl(name); };
  version_label_ = static_cast<CLabelUI*>(find(L"version_label"));
  outer_tab_ = static_cast<CTabLayoutUI*>(find(L"login_register_swich"));
  inner_tab_ = static_cast<CTabLayoutUI*>(find(L"swich_login_page"));
  bottom_page_ = find(L"bottom_page");
  spread_button_ = static_cast<CButtonUI*>(find(L"spread_hidden_page_button"));
  auto_login_ = static_cast<COptionUI*>(find(L"auto_login"));
  remember_passwd_ = static_cast<COptionUI*>(find(L"remember_passwd"));
  account_edit_ = static_cast<CEditUI*>(find(L"account_edit"));
  passwd_edit_ = static_cast<CEditUI*>(find(L"passwd_edit"));
  login_tips_ = static_cast<CLabelUI*>(find(L"login_tips"));
  tips_icon_ = find(L"tips_icon");
  login_btn_ = static_cast<CButtonUI*>(find(L"login_btn"));
  phone_login_btn_ = static_cast<CButtonUI*>(find(L"phone_login_btn"));
  phone_edit_ = static_cast<CEditUI*>(find(L"phone_edit"));
  message_code_edit_ = static_cast<CEditUI*>(find(L"message_code_edit"));
  phone_login_tips_ = static_cast<CLabelUI*>(find(L"phone_login_tips"));
  register_phone_edit_ = static_cast<CEditUI*>(find(L"register_phone_edit"));
  register_passwd_edit_ = static_cast<CEditUI*>(find(L"register_passwd_edit"));
  register_repeat_passwd_edit_ = static_cast<CEditUI*>(find(L"register_repeat_passwd_edit"));
  register_captcha_edit_ = static_cast<CEditUI*>(find(L"register_captcha_edit"));
  register_tips_ = static_cast<CLabelUI*>(find(L"register_phone_login_tips"));
  register_btn_ = static_cast<CButtonUI*>(find(L"register__btn"));
  reset_next_btn_ = static_cast<CButtonUI*>(find(L"reset_phone_login_btn"));
  reset_phone_edit_ = static_cast<CEditUI*>(find(L"reset_phone_edit"));
  reset_code_edit_ = static_cast<CEditUI*>(find(L"reset_message_code_edit"));
  reset_phone_tips_ = static_cast<CLabelUI*>(find(L"reset_phone_login_tips"));
  reset_passwd_edit_ = static_cast<CEditUI*>(find(L"reset_passwd_edit"));
  reset_passwd_again_edit_ = static_cast<CEditUI*>(find(L"preset_passwd_again_edit"));
  reset_password_tips_ = static_cast<CLabelUI*>(find(L"reset_password_tips"));

  register_countdown_.send = static_cast<CButtonUI*>(find(L"register_send_captcha_btn"));
  register_countdown_.resend = static_cast<CButtonUI*>(find(L"send_captcha_disable_btn"));
  phone_countdown_.send = static_cast<CButtonUI*>(find(L"send_captcha_btn"));
  phone_countdown_.resend = static_cast<CButtonUI*>(find(L"resend_captcha_btn"));
  reset_countdown_.send = static_cast<CButtonUI*>(find(L"reset_send_captcha_btn"));
  reset_countdown_.resend = static_cast<CButtonUI*>(find(L"reset_resend_captcha_btn"));
}

void CLoginWnd::LoadRememberedData() {
  std::wstring list = ReadProfileString(kUserData, L"account_list", L"", 1024, config_path_, false);
  size_t start = 0;
  while (start <= list.size()) {
    size_t bar = list.find(L'|', start);
    if (bar == std::wstring::npos)
      bar = list.size();
    if (bar > start)
      accounts_.insert(list.substr(start, bar - start));
    start = bar + 1;
  }

  std::wstring account = ReadProfileString(kUserData, L"account", L"", 1024, config_path_, false);
  if (!account.empty()) {
    SetText(account_edit_, account);
    bool save =
        ReadProfileString(account, L"is_save_password", L"0", 200, config_path_, false) == L"1";
    bool automatic =
        ReadProfileString(account, L"is_auto_login", L"0", 200, config_path_, false) == L"1";
    if (remember_passwd_)
      remember_passwd_->Selected(save, false);
    if (auto_login_)
      auto_login_->Selected(automatic, false);
    SetText(passwd_edit_, ReadProfileString(account, L"password", L"", 1024, config_path_, false));
    SetText(login_tips_, L"");
    if (tips_icon_)
      tips_icon_->SetVisible(false);
  } else {
    SetText(account_edit_, L"");
    SetText(passwd_edit_, L"");
    if (remember_passwd_)
      remember_passwd_->Selected(true, false);
    if (auto_login_)
      auto_login_->Selected(false, false);
  }
}

void CLoginWnd::CreateFollowingWindows() {
  constexpr DWORD kHiddenDialog = UI_WNDSTYLE_DIALOG & ~WS_VISIBLE;
  main_wnd_ = std::make_unique<CMainWnd>(this);
  parent_wnd_ = std::make_unique<ParentHWND>();
  slider_wnd_ = std::make_unique<CSliderWnd>(main_wnd_.get());
  parent_wnd_->Create(nullptr, kProductName, kHiddenDialog, WS_EX_WINDOWEDGE);
  parent_wnd_->CenterWindow();
  slider_wnd_->Create(parent_wnd_->GetHWND(), kProductName, kHiddenDialog, WS_EX_WINDOWEDGE);
  main_wnd_->Create(slider_wnd_->GetHWND(), kProductName, kHiddenDialog, WS_EX_WINDOWEDGE);
  main_wnd_->SetSliderWnd(slider_wnd_.get());
  main_wnd_->SetParentWnd(parent_wnd_.get());
}

void CLoginWnd::ApplyBottomPage() {
  bool folded = ReadBottomPageStatus(config_path_) == L"1";
  if (bottom_page_)
    bottom_page_->SetVisible(!folded);
  ResizeClient(-1, folded ? kFoldedHeight : kFullHeight);
  // Written off the UI thread; it is a locked, synced file replace.
  std::wstring config = config_path_;
  ThreadsManager::PostTask(ThreadsManager::IO, FROM_HERE,
                           [config] { WriteBottomPageStatus(config); });
}

// ---------------------------------------------------------------------------
// Notifications and messages

void CLoginWnd::Notify(TNotifyUI& msg) {
  CControlUI* sender = msg.pSender;
  if (!sender)
    return;
  if (msg.sType == DUI_MSGTYPE_SETFOCUS) {
    if (sender == account_edit_ || sender == passwd_edit_) {
      sender->SetBorderColor(kFocusedBorderColor);
    } else if (sender == phone_edit_) {
      SetText(phone_login_tips_, L"请输入您的手机号码");
    } else if (sender == message_code_edit_) {
      if (!TextOf(phone_edit_).empty())
        SetText(phone_login_tips_, L"请输入验证码");
    } else if (sender == register_phone_edit_) {
      SetText(register_tips_, L"请输入您的注册手机号码");
    } else if (sender == register_passwd_edit_) {
      SetText(register_tips_, L"请输入密码");
    } else if (sender == register_repeat_passwd_edit_) {
      SetText(register_tips_, L"请再次输入您的密码");
    } else if (sender == register_captcha_edit_) {
      SetText(register_tips_, L"请输入验证码");
    }
  } else if (msg.sType == DUI_MSGTYPE_KILLFOCUS) {
    if (sender == account_edit_ || sender == passwd_edit_)
      sender->SetBorderColor(kNormalBorderColor);
  } else if (msg.sType == DUI_MSGTYPE_TEXTCHANGED) {
    if (sender == account_edit_) {
      SetText(passwd_edit_, L"");
      SetText(login_tips_, L"");
      if (tips_icon_)
        tips_icon_->SetVisible(false);
    }
  }
}

LRESULT CLoginWnd::MessageHandler(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) {
  if (msg == WM_KEYDOWN && wparam == VK_RETURN) {
    TNotifyUI none;
    switch (page_) {
      case Page::kAccount:
        if (login_btn_ && login_btn_->IsEnabled())
          OnLogin(none);
        break;
      case Page::kPhone:
        if (phone_login_btn_ && phone_login_btn_->IsEnabled())
          OnPhoneLogin(none);
        break;
      case Page::kRegister:
        if (register_btn_ && register_btn_->IsEnabled())
          OnRegister(none);
        break;
      default:
        break;
    }
    handled = true;
    return 0;
  }
  return WindowImplBase::MessageHandler(msg, wparam, lparam, handled);
}

LRESULT CLoginWnd::HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) {
  handled = TRUE;
  switch (msg) {
    case kTipMessage:
      ShowTip(static_cast<int>(lparam));
      return 0;
    case kLoginProgressMessage:
      SetLoginProgress(lparam != 0);
      return 0;
    case kPhoneFormMessage:
      return CapturePhoneForm() ? 1 : 0;
    case kPhoneLoginFailedMessage:
      SetText(phone_login_tips_, phone_failure_text_);
      if (phone_login_btn_) {
        phone_login_btn_->SetEnabled(true);
        phone_login_btn_->SetText(kLoginText);
      }
      return 0;
    case WM_TIMER:
      if (Countdown* countdown = CountdownForTimer(wparam)) {
        TickCountdown(*countdown);
        return 0;
      }
      break;
    default:
      break;
  }
  handled = FALSE;
  return 0;
}

LRESULT CLoginWnd::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
  StopAllCountdowns();
  PostQuitMessage(0);
  handled = FALSE;
  return 0;
}

// ---------------------------------------------------------------------------
// Clicks

void CLoginWnd::OnLogin(TNotifyUI&) {
  SetLoginProgress(true);
  PostAccountLogin();
}

void CLoginWnd::OnPhoneLogin(TNotifyUI&) {
  // The form is checked and taken here, on the UI thread, and handed to
  // the IO task.
  if (!CapturePhoneForm())
    return;
  SignIn attempt{win32::AnsiToWide(phone_number_), std::wstring()};
  std::string number = phone_number_;
  std::string code = phone_code_;
  CServiceBridgeVirtual* service = service_;
  auto result = std::make_shared<LoginResult>();
  auto skipped = std::make_shared<bool>(false);
  base::WeakPtr<CLoginWnd> weak = weak_factory_.GetWeakPtr();
  ThreadsManager::PostTaskAndReply(
      ThreadsManager::IO, FROM_HERE,
      [service, number, code, result, skipped] {
        if (ServiceCallsStopped()) {
          *skipped = true;
          return;
        }
        *result = service->loginAccount(number, "", code);
      },
      [weak, attempt, result, skipped] {
        if (CLoginWnd* self = weak.get(); self && !*skipped)
          self->OnPhoneLoginDone(attempt, *result);
      });
}

void CLoginWnd::OnRegister(TNotifyUI&) {
  std::wstring phone = TextOf(register_phone_edit_);
  std::wstring password = TextOf(register_passwd_edit_);
  std::wstring repeated = TextOf(register_repeat_passwd_edit_);
  std::wstring code = TextOf(register_captcha_edit_);
  std::wstring problem = CheckRegisterForm(phone, password, repeated, code, true);
  if (!problem.empty()) {
    SetText(register_tips_, problem);
    return;
  }
  if (register_btn_) {
    register_btn_->SetText(L"正在注册");
    register_btn_->SetEnabled(false);
  }
  CServiceBridgeVirtual* service = service_;
  std::string key_path = program_dir_ + "/pubkey.pem";
  std::string number = win32::WideToAnsi(phone);
  std::string captcha = win32::WideToAnsi(code);
  auto result = std::make_shared<RegisterResult>();
  base::WeakPtr<CLoginWnd> weak = weak_factory_.GetWeakPtr();
  // The key file is read on the IO thread too.
  ThreadsManager::PostTaskAndReply(
      ThreadsManager::IO, FROM_HERE,
      [service, key_path, number, password, captcha, result] {
        if (ServiceCallsStopped())
          return;
        *result = service->registerAccount(number, EncryptPassword(password, key_path), captcha);
      },
      [weak, result] {
        if (CLoginWnd* self = weak.get())
          self->OnRegisterDone(*result);
      });
}

void CLoginWnd::OnFindPassword(TNotifyUI&) {
  SetText(reset_phone_tips_, L"请输入您的手机号码");
  SetText(reset_password_tips_, L"请输入您的新密码");
  ShowInnerPage(Page::kReset);
}

void CLoginWnd::OnResetNext(TNotifyUI&) {
  if (TextOf(reset_code_edit_).size() != 6) {
    SetText(reset_phone_tips_, L"您输入的验证码位数有误");
    return;
  }
  ShowInnerPage(Page::kResetLast);
}

void CLoginWnd::OnResetConfirm(TNotifyUI&) {
  std::wstring phone = TextOf(reset_phone_edit_);
  if (phone.size() != 11) {
    SetText(reset_password_tips_, L"请输入手机号码");
    return;
  }
  std::wstring password = TextOf(reset_passwd_edit_);
  if (password != TextOf(reset_passwd_again_edit_)) {
    SetText(reset_password_tips_, L"两次输入的密码不一致，请重新输入");
    return;
  }
  CServiceBridgeVirtual* service = service_;
  std::string key_path = program_dir_ + "/pubkey.pem";
  std::string number = win32::WideToAnsi(phone);
  std::string captcha = win32::WideToAnsi(TextOf(reset_code_edit_));
  auto result = std::make_shared<ResetResult>();
  auto skipped = std::make_shared<bool>(false);
  base::WeakPtr<CLoginWnd> weak = weak_factory_.GetWeakPtr();
  ThreadsManager::PostTaskAndReply(
      ThreadsManager::IO, FROM_HERE,
      [service, key_path, number, password, captcha, result, skipped] {
        if (ServiceCallsStopped()) {
          *skipped = true;
          return;
        }
        *result = service->resetPassword(number, EncryptPassword(password, key_path), captcha);
      },
      [weak, result, skipped] {
        if (CLoginWnd* self = weak.get(); self && !*skipped)
          self->OnResetDone(*result);
      });
}

void CLoginWnd::OnMinimize(TNotifyUI&) {
  SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

void CLoginWnd::OnClose(TNotifyUI&) {
  Close(IDOK);
}

void CLoginWnd::OnAutoLogin(TNotifyUI&) {
  // The click arrives before the option flips its state.
  if (auto_login_ && !auto_login_->IsSelected() && remember_passwd_)
    remember_passwd_->Selected(true);
}

void CLoginWnd::OnRememberPassword(TNotifyUI&) {
  if (remember_passwd_ && remember_passwd_->IsSelected() && auto_login_)
    auto_login_->Selected(false);
}

void CLoginWnd::OnShowPhonePage(TNotifyUI&) {
  ShowInnerPage(Page::kPhone);
}

void CLoginWnd::OnShowAccountPage(TNotifyUI&) {
  ShowInnerPage(Page::kAccount);
}

void CLoginWnd::OnShowRegisterPage(TNotifyUI&) {
  ShowOuterPage(Page::kRegister);
}

void CLoginWnd::OnShowLoginPage(TNotifyUI&) {
  ShowOuterPage(Page::kAccount);
}

void CLoginWnd::OnToggleBottomPage(TNotifyUI&) {
  if (spread_button_)
    spread_button_->SetVisible(true);
  if (!bottom_page_)
    return;
  bool show = !bottom_page_->IsVisible();
  bottom_page_->SetVisible(show);
  ResizeClient(-1, show ? kFullHeight : kFoldedHeight);
}

// ---------------------------------------------------------------------------
// Pages

void CLoginWnd::ShowOuterPage(Page page) {
  if (!outer_tab_)
    return;
  if (page == Page::kRegister) {
    outer_tab_->SelectItem(m_pm.FindControl(L"register_page"));
    page_ = Page::kRegister;
    return;
  }
  outer_tab_->SelectItem(m_pm.FindControl(L"login_page"));
  if (inner_tab_)
    inner_tab_->SelectItem(m_pm.FindControl(L"account_password_page"));
  page_ = Page::kAccount;
}

void CLoginWnd::ShowInnerPage(Page page) {
  const wchar_t* name = page == Page::kPhone       ? L"phone_login_page"
                        : page == Page::kReset     ? L"reset_password_page"
                        : page == Page::kResetLast ? L"reset_password_last_page"
                                                   : L"account_password_page";
  if (inner_tab_)
    inner_tab_->SelectItem(m_pm.FindControl(name));
  page_ = page;
  SetText(phone_edit_, TextOf(account_edit_));
}

// ---------------------------------------------------------------------------
// Sign-in

void CLoginWnd::PostAccountLogin() {
  SignIn attempt{TextOf(account_edit_), TextOf(passwd_edit_)};
  CServiceBridgeVirtual* service = service_;
  std::string key_path = program_dir_ + "/pubkey.pem";
  auto outcome = std::make_shared<AccountLoginOutcome>();
  base::WeakPtr<CLoginWnd> weak = weak_factory_.GetWeakPtr();
  ThreadsManager::PostTaskAndReply(
      ThreadsManager::IO, FROM_HERE,
      [service, key_path, attempt, outcome] {
        AccountLogin(service, key_path, attempt.account, attempt.password, outcome.get());
      },
      [weak, attempt, outcome] {
        CLoginWnd* self = weak.get();
        if (!self || outcome->skipped)
          return;
        self->OnAccountLoginDone(attempt, static_cast<int>(outcome->reading.verdict),
                                 outcome->reading.tip, outcome->result);
      });
}

void CLoginWnd::OnAccountLoginDone(const SignIn& attempt,
                                   int verdict,
                                   int tip,
                                   const LoginResult& result) {
  switch (static_cast<LoginVerdict>(verdict)) {
    case LoginVerdict::kSuccess:
      setInfoAfterLogin(attempt, result);
      return;
    case LoginVerdict::kTooFrequent:
      MyMessageBox::show(m_hWnd, kTooFrequentText);
      SetLoginProgress(false);
      ShowInnerPage(Page::kPhone);
      return;
    case LoginVerdict::kTip:
      ShowTip(tip);
      SetLoginProgress(false);
      return;
  }
}

bool CLoginWnd::CapturePhoneForm() {
  phone_form_valid_ = false;
  std::wstring phone = TextOf(phone_edit_);
  if (phone.empty()) {
    SetText(phone_login_tips_, kPhoneEmptyText);
    return false;
  }
  std::wstring code = TextOf(message_code_edit_);
  if (code.empty()) {
    SetText(phone_login_tips_, L"请输入手机验证码");
    return false;
  }
  phone_number_ = win32::WideToAnsi(phone);
  phone_code_ = win32::WideToAnsi(code);
  SetText(message_code_edit_, L"");
  if (phone_login_btn_) {
    phone_login_btn_->SetEnabled(false);
    phone_login_btn_->SetText(kLoggingInText);
  }
  phone_form_valid_ = true;
  return true;
}

void CLoginWnd::OnPhoneLoginDone(const SignIn& attempt, const LoginResult& result) {
  if (result.code == 200) {
    SetLoginProgress(true);
    setInfoAfterLogin(attempt, result);
    return;
  }
  // A request that never reached the service says so, like the account
  // sign-in does.
  phone_failure_text_ = IsTransportFailure(result.status) ? LoginTipText(kTipNetwork)
                                                          : win32::AnsiToWide(result.info);
  HandleMessage(kPhoneLoginFailedMessage, 0, 0);
}

void CLoginWnd::SetLoginProgress(bool on) {
  for (CButtonUI* button : {login_btn_, phone_login_btn_}) {
    if (!button)
      continue;
    button->SetEnabled(!on);
    button->SetText(on ? kLoggingInText : kLoginText);
  }
}

void CLoginWnd::ShowTip(int code) {
  if (tips_icon_)
    tips_icon_->SetVisible(true);
  SetText(login_tips_, LoginTipText(code));
}

void CLoginWnd::setInfoAfterLogin(const SignIn& attempt, const LoginResult& result) {
  accounts_.insert(attempt.account);
  std::wstring list;
  for (const std::wstring& account : accounts_)
    list += (list.empty() ? L"" : L"|") + account;
  bool remember = remember_passwd_ && remember_passwd_->IsSelected();
  bool automatic = auto_login_ && auto_login_->IsSelected();
  std::wstring account = attempt.account;
  std::wstring password = remember ? attempt.password : std::wstring();
  std::wstring uuid = win32::AnsiToWide(result.uuid);
  std::wstring interim = win32::AnsiToWide(result.interim);
  std::wstring config = config_path_;
  base::WeakPtr<CLoginWnd> weak = weak_factory_.GetWeakPtr();
  // The user data first, so the hand-over to the main window does not wait
  // for the route download queued behind it.
  ThreadsManager::PostTaskAndReply(
      ThreadsManager::IO, FROM_HERE,
      [config, account, list, remember, automatic, password, uuid, interim] {
        WriteProfileString(account, L"uuid", uuid, config, false);
        WriteProfileString(account, L"interim", interim, config, false);
        WriteProfileString(account, L"is_save_password", remember ? L"1" : L"0", config, false);
        WriteProfileString(account, L"is_auto_login", automatic ? L"1" : L"0", config, false);
        WriteProfileString(account, L"password", password, config, false);
        WriteProfileString(kUserData, L"account", account, config, false);
        WriteProfileString(kUserData, L"account_list", list, config, false);
      },
      [weak, account] {
        if (CLoginWnd* self = weak.get())
          self->OnUserDataWritten(account);
      });

  CServiceBridgeVirtual* service = service_;
  ThreadsManager::PostTask(ThreadsManager::IO,
                           FROM_HERE_WITH_EXPLICIT_FUNCTION("CLoginWnd::setInfoAfterLogin"),
                           [service] {
                             if (ServiceCallsStopped())
                               return;
                             RouteManager* routes = RouteManager::GetInstance();
                             routes->CreateRouteTable();
                             routes->SyncRouteTable(service);
                           });
  StopAllCountdowns();
}

void CLoginWnd::OnUserDataWritten(std::wstring account) {
  SetLoginProgress(false);
  SetText(login_tips_, L"");
  if (tips_icon_)
    tips_icon_->SetVisible(false);
  ShowWindow(false);
  if (main_wnd_) {
    main_wnd_->initMainWndData(account);
    main_wnd_->ShowWindow(true);
  }
  if (parent_wnd_)
    parent_wnd_->ShowWindow(true, false);
}

// ---------------------------------------------------------------------------
// Codes, registration and reset

CLoginWnd::Countdown* CLoginWnd::CountdownForTimer(UINT_PTR timer) {
  switch (timer) {
    case kRegisterTimer:
      return &register_countdown_;
    case kPhoneLoginTimer:
      return &phone_countdown_;
    case kResetTimer:
      return &reset_countdown_;
    default:
      return nullptr;
  }
}

CControlUI* CLoginWnd::TipLabelForPage(Page page) {
  switch (page) {
    case Page::kRegister:
      return register_tips_;
    case Page::kPhone:
      return phone_login_tips_;
    case Page::kReset:
    case Page::kResetLast:
      return reset_phone_tips_;
    default:
      return nullptr;
  }
}

void CLoginWnd::OnSendCaptcha(TNotifyUI&) {
  Page page = page_;
  std::wstring number;
  Countdown* countdown = nullptr;
  if (page == Page::kRegister) {
    SetText(register_captcha_edit_, L"");
    std::wstring problem =
        CheckRegisterForm(TextOf(register_phone_edit_), TextOf(register_passwd_edit_),
                          TextOf(register_repeat_passwd_edit_), std::wstring(), false);
    if (!problem.empty()) {
      SetText(register_tips_, problem);
      return;
    }
    number = TextOf(register_phone_edit_);
    countdown = &register_countdown_;
  } else if (page == Page::kPhone) {
    SetText(message_code_edit_, L"");
    number = TextOf(phone_edit_);
    if (number.empty()) {
      SetText(phone_login_tips_, kPhoneEmptyText);
      return;
    }
    countdown = &phone_countdown_;
  } else if (page == Page::kReset) {
    SetText(reset_code_edit_, L"");
    number = TextOf(reset_phone_edit_);
    if (number.empty()) {
      SetText(reset_phone_tips_, kPhoneEmptyText);
      return;
    }
    countdown = &reset_countdown_;
  }
  if (countdown)
    StartCountdown(*countdown);

  if (!countdown || !IsElevenDigits(number)) {
    LOG(ERROR) << "the format of phone number is incorrect";
    if (CControlUI* label = TipLabelForPage(page)) {
      SetText(label, L"手机号码格式错误！");
    } else {
      SetText(phone_login_tips_, L"请输入手机号码！");
      SetText(register_tips_, L"请输入手机号码！");
    }
    StopAllCountdowns();
    return;
  }

  CServiceBridgeVirtual* service = service_;
  std::string ansi = win32::WideToAnsi(number);
  auto result = std::make_shared<CaptchaResult>();
  auto skipped = std::make_shared<bool>(false);
  base::WeakPtr<CLoginWnd> weak = weak_factory_.GetWeakPtr();
  ThreadsManager::PostTaskAndReply(
      ThreadsManager::IO, FROM_HERE,
      [service, ansi, result, skipped] {
        if (ServiceCallsStopped()) {
          *skipped = true;
          return;
        }
        *result = service->sendCaptcha(ansi);
      },
      [weak, page, result, skipped] {
        if (CLoginWnd* self = weak.get(); self && !*skipped)
          self->OnCaptchaSent(page, *result);
      });
}

void CLoginWnd::OnCaptchaSent(Page page, const CaptchaResult& result) {
  CControlUI* label = TipLabelForPage(page);
  if (result.status == 200) {
    LOG(INFO) << "captcha response: " << result.info;
    SetText(label, result.info.empty() ? std::wstring(kCaptchaFailedText)
                                       : win32::AnsiToWide(result.info));
    if (page == Page::kReset && reset_next_btn_)
      reset_next_btn_->SetEnabled(true);
    return;
  }
  SetText(label, kCaptchaFailedText);
  if (page == Page::kRegister)
    LOG(ERROR) << "request register catpcha failed, status code:" << result.status;
  else if (page == Page::kPhone)
    LOG(ERROR) << "request phone login captcha failed, status code:" << result.status;
  else
    LOG(ERROR) << "request reset password captcha failed, status code:" << result.status;
}

void CLoginWnd::StartCountdown(Countdown& countdown) {
  TickCountdown(countdown);
  ::SetTimer(m_hWnd, countdown.timer, kCountdownPeriodMs, nullptr);
  if (countdown.send)
    countdown.send->SetVisible(false);
  if (countdown.resend)
    countdown.resend->SetVisible(true);
}

void CLoginWnd::TickCountdown(Countdown& countdown) {
  if (countdown.resend)
    countdown.resend->SetVisible(true);
  if (countdown.timer == kRegisterTimer && countdown.send)
    countdown.send->SetVisible(false);
  --countdown.counter;
  wchar_t text[64];
  std::swprintf(text, 64, L"重新发送(%d%ls)", countdown.counter, L"s");
  SetText(countdown.resend, text);
  if (countdown.counter < 1)
    ResetCountdown(countdown);
}

void CLoginWnd::ResetCountdown(Countdown& countdown) {
  if (::IsWindow(m_hWnd))
    ::KillTimer(m_hWnd, countdown.timer);
  countdown.counter = kCountdownSeconds;
  if (countdown.send)
    countdown.send->SetVisible(true);
  if (countdown.resend) {
    countdown.resend->SetVisible(false);
    countdown.resend->SetText(L"");
  }
}

void CLoginWnd::StopAllCountdowns() {
  ResetCountdown(register_countdown_);
  ResetCountdown(phone_countdown_);
  ResetCountdown(reset_countdown_);
}

void CLoginWnd::OnRegisterDone(const RegisterResult& result) {
  if (register_btn_) {
    register_btn_->SetText(L"注册");
    register_btn_->SetEnabled(true);
  }
  if (result.code == 104) {
    MyMessageBox::show(m_hWnd, kPasswordFormatText);
    return;
  }
  SetText(register_tips_, result.info.empty() ? std::wstring(L"发送注册请求失败，请重试")
                                              : win32::AnsiToWide(result.info));
}

void CLoginWnd::OnResetDone(const ResetResult& result) {
  if (result.code == 104) {
    MyMessageBox::show(m_hWnd, kPasswordFormatText);
    return;
  }
  SetText(reset_password_tips_, result.info.empty() ? std::wstring(L"重置密码失败，请重试")
                                                    : win32::AnsiToWide(result.info));
}

// ---------------------------------------------------------------------------

void CLoginWnd::SetText(CControlUI* control, const std::wstring& text) {
  if (control)
    control->SetText(text.c_str());
}

std::wstring CLoginWnd::TextOf(CControlUI* control) const {
  return control ? control->GetText().str() : std::wstring();
}
