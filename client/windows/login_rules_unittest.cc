#include "client/windows/login_rules.h"

#include <gtest/gtest.h>

namespace {

TEST(LoginRulesTest, AccountForm) {
  struct Case {
    const wchar_t* account;
    const wchar_t* password;
    int tip;
  } cases[] = {
      {L"", L"secret12", kTipNoAccount},
      {L"1380000000", L"secret12", kTipBadAccount},   // 10 digits
      {L"a3800000000", L"secret12", kTipBadAccount},  // 11, leading letter
      {L"138000000001", L"secret12", kTipBadAccount},
      {L"13800000000", L"", kTipNoPassword},
      {L"13800000000", L"x", -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CheckAccountForm(c.account, c.password), c.tip) << c.account;
}

TEST(LoginRulesTest, RegisterForm) {
  EXPECT_EQ(CheckRegisterForm(L"", L"abcdefgh", L"abcdefgh", L"1", true), L"账号不能为空");
  EXPECT_EQ(CheckRegisterForm(L"1", L"", L"", L"1", true), L"密码不能为空");
  EXPECT_EQ(CheckRegisterForm(L"1", L"abcdefgh", L"abcdefgX", L"1", true), L"两次输入密码不一致");
  EXPECT_EQ(CheckRegisterForm(L"1", L"abcdefg", L"abcdefg", L"1", true), L"密码长度为8-16位");
  EXPECT_EQ(CheckRegisterForm(L"1", std::wstring(17, L'a'), std::wstring(17, L'a'), L"1", true),
            L"密码长度为8-16位");
  EXPECT_EQ(CheckRegisterForm(L"1", L"abcdefgh", L"abcdefgh", L"1", true), L"");
  EXPECT_EQ(CheckRegisterForm(L"1", std::wstring(16, L'a'), std::wstring(16, L'a'), L"1", true),
            L"");
  // The code is only needed for the registration itself.
  EXPECT_EQ(CheckRegisterForm(L"1", L"abcdefgh", L"abcdefgh", L"", true), L"验证码不能为空");
  EXPECT_EQ(CheckRegisterForm(L"1", L"abcdefgh", L"abcdefgh", L"", false), L"");
}

TEST(LoginRulesTest, ReadingASignInAnswer) {
  struct Case {
    int status;
    int code;
    int suspicious;
    LoginVerdict verdict;
    int tip;
  } cases[] = {
      {200, 200, 0, LoginVerdict::kSuccess, -1},
      {200, 110, 0, LoginVerdict::kSuccess, -1},
      {200, 110, 1, LoginVerdict::kTooFrequent, -1},
      {200, 112, 0, LoginVerdict::kTip, kTipUnknownAccount},
      {200, 113, 0, LoginVerdict::kTip, kTipWrongPassword},
      {400, -1, 0, LoginVerdict::kTip, kTipOther},
      {500, -1, 0, LoginVerdict::kTip, kTipOther},
      {200, -1, 0, LoginVerdict::kTip, kTipOther},   // an answer that is not JSON
      {6, -1, 0, LoginVerdict::kTip, kTipNetwork},   // host not resolved
      {7, -1, 0, LoginVerdict::kTip, kTipNetwork},   // connection refused
      {28, -1, 0, LoginVerdict::kTip, kTipNetwork},  // time-out
      {60, -1, 0, LoginVerdict::kTip, kTipNetwork},  // TLS check failed
      {2, -1, 0, LoginVerdict::kTip, kTipNetwork},   // no transfer set up
  };
  for (const Case& c : cases) {
    LoginResult result;
    result.status = c.status;
    result.code = c.code;
    result.suspicious = c.suspicious;
    LoginReading reading = ReadLoginResult(result);
    EXPECT_EQ(reading.verdict, c.verdict) << c.status << "/" << c.code;
    if (c.verdict == LoginVerdict::kTip) {
      EXPECT_EQ(reading.tip, c.tip) << c.status << "/" << c.code;
    }
  }
}

TEST(LoginRulesTest, TipTexts) {
  EXPECT_STREQ(LoginTipText(kTipNetwork), L"登录失败，请检查网络连接是否正常");
  EXPECT_STREQ(LoginTipText(kTipOther), L"登录失败，请确认账号密码是否正确");
  EXPECT_STREQ(LoginTipText(99), L"登录失败，请确认账号密码是否正确");
}

TEST(LoginRulesTest, VersionsCompareAsPlainText) {
  EXPECT_TRUE(IsNewerVersion("1.2.0", kClientVersion));
  EXPECT_TRUE(IsNewerVersion("1.1.5", kClientVersion));
  EXPECT_FALSE(IsNewerVersion("1.1.4", kClientVersion));
  EXPECT_FALSE(IsNewerVersion("1.1.10", kClientVersion));
  EXPECT_FALSE(IsNewerVersion("", kClientVersion));
}

}  // namespace
