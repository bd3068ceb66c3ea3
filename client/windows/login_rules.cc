#include "client/windows/login_rules.h"

#include "tern/client_version.h"

const char* const kClientVersion = ClientVersionText();

const wchar_t* LoginTipText(int code) {
  switch (code) {
    case kTipNoAccount:
      return L"账号不能为空！";
    case kTipBadAccount:
      return L"您输入的账号格式有误！";
    case kTipNoPassword:
      return L"密码不能为空！";
    case kTipUnknownAccount:
      return L"账号不存在，请确认账号后重新登录！";
    case kTipWrongPassword:
      return L"密码错误，请确认密码后重新登录！";
    case kTipNetwork:
      return L"登录失败，请检查网络连接是否正常";
    default:
      return L"登录失败，请确认账号密码是否正确";
  }
}

bool IsElevenDigits(const std::wstring& text) {
  if (text.size() != 11)
    return false;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9')
      return false;
  }
  return true;
}

int CheckAccountForm(const std::wstring& account, const std::wstring& password) {
  if (account.empty())
    return kTipNoAccount;
  if (!IsElevenDigits(account))
    return kTipBadAccount;
  if (password.empty())
    return kTipNoPassword;
  return -1;
}

std::wstring CheckRegisterForm(const std::wstring& phone,
                               const std::wstring& password,
                               const std::wstring& repeated,
                               const std::wstring& code,
                               bool require_code) {
  if (phone.empty())
    return L"账号不能为空";
  if (password.empty())
    return L"密码不能为空";
  if (password != repeated)
    return L"两次输入密码不一致";
  if (password.size() < 8 || password.size() > 16)
    return L"密码长度为8-16位";
  if (require_code && code.empty())
    return L"验证码不能为空";
  return std::wstring();
}

bool IsTransportFailure(int status) {
  // HTTP statuses start at 100; below that the library reports its own
  // transfer error (or 2 when no transfer could be set up).
  return status < 100;
}

LoginReading ReadLoginResult(const LoginResult& result) {
  if (IsTransportFailure(result.status))
    return {LoginVerdict::kTip, kTipNetwork};
  if (result.code == 200 || (result.code == 110 && result.suspicious != 1))
    return {LoginVerdict::kSuccess, -1};
  if (result.code == 110)
    return {LoginVerdict::kTooFrequent, -1};
  if (result.code == 112)
    return {LoginVerdict::kTip, kTipUnknownAccount};
  if (result.code == 113)
    return {LoginVerdict::kTip, kTipWrongPassword};
  return {LoginVerdict::kTip, kTipOther};
}

bool IsNewerVersion(const std::string& remote, const std::string& local) {
  return remote.compare(local) > 0;
}
