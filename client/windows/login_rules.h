// The login window's rules that do not need a window: form checks, tip
// texts, how a sign-in answer is read, and the update version test.
#ifndef CLIENT_WINDOWS_LOGIN_RULES_H_
#define CLIENT_WINDOWS_LOGIN_RULES_H_

#include <string>

#include "servicebridge/service_bridge.h"

// The client's own version (the build's TERN_CLIENT_VERSION, "1.1.4", or the
// one an update package stamped), compared with the service's as plain text.
extern const char* const kClientVersion;

// Tip codes shown in "login_tips".
enum LoginTip {
  kTipNoAccount = 0,
  kTipBadAccount = 1,
  kTipNoPassword = 2,
  kTipUnknownAccount = 3,
  kTipWrongPassword = 4,
  kTipNetwork = 5,
  kTipOther = 6,
};

const wchar_t* LoginTipText(int code);

bool IsElevenDigits(const std::wstring& text);

// The account form's check: a tip code, or -1 when it may be sent.
int CheckAccountForm(const std::wstring& account, const std::wstring& password);

// The register form's check: the first failing message, or empty. The code
// is only required for the registration itself, not for a code request.
std::wstring CheckRegisterForm(const std::wstring& phone,
                               const std::wstring& password,
                               const std::wstring& repeated,
                               const std::wstring& code,
                               bool require_code);

// How an account sign-in answer is read.
enum class LoginVerdict { kSuccess, kTooFrequent, kTip };
struct LoginReading {
  LoginVerdict verdict = LoginVerdict::kTip;
  int tip = kTipOther;
};
// Any failed transfer (no answer at all) reads as a network failure; an
// answer reads by its code.
LoginReading ReadLoginResult(const LoginResult& result);
// True when |status| says the request never got an HTTP answer.
bool IsTransportFailure(int status);

// True when |remote| sorts after |local| as plain text.
bool IsNewerVersion(const std::string& remote, const std::string& local);

#endif  // CLIENT_WINDOWS_LOGIN_RULES_H_
