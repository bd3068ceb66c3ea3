#include "server/account_store.h"

#include <gtest/gtest.h>

#include "server/testing/store_test_fixture.h"

namespace tern {
namespace {

class AccountStoreTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    store_ = std::make_unique<AccountStore>(path_);
    ASSERT_EQ(store_->Create("13800000001", "hash", kT0, &account_), StoreResult::kOk);
  }
  std::unique_ptr<AccountStore> store_;
  AccountRecord account_;
};

TEST_F(AccountStoreTest, AccountNumbers) {
  for (const char* good : {"13800000001", "00000000000"}) {
    EXPECT_TRUE(AccountStore::IsAccountNumber(good)) << good;
  }
  for (const char* bad :
       {"", "1380000000", "138000000012", "1380000000a", "a3800000001", " 3800000001"}) {
    EXPECT_FALSE(AccountStore::IsAccountNumber(bad)) << bad;
  }
  AccountRecord again;
  EXPECT_EQ(store_->Create("13800000001", "other", kT0, &again), StoreResult::kExists);
}

TEST_F(AccountStoreTest, SmsCodeLifetimeAndRateLimits) {
  const std::string number = "13800000002";
  std::string code;
  ASSERT_EQ(store_->IssueSmsCode(number, kT0, &code), StoreResult::kOk);
  ASSERT_EQ(code.size(), 6u);
  EXPECT_EQ(code.find_first_not_of("0123456789"), std::string::npos);
  std::string again;
  EXPECT_EQ(store_->IssueSmsCode(number, kT0 + AccountStore::kSmsMinInterval - 1, &again),
            StoreResult::kTooFrequent);
  // Still valid at five minutes, gone just after.
  EXPECT_EQ(store_->ConsumeSmsCode(number, code, kT0 + AccountStore::kSmsCodeLifetime),
            StoreResult::kOk);
  EXPECT_EQ(store_->ConsumeSmsCode(number, code, kT0 + 1), StoreResult::kRejected);

  int64_t t = kT0 + 100;
  ASSERT_EQ(store_->IssueSmsCode(number, t, &code), StoreResult::kOk);
  EXPECT_EQ(store_->ConsumeSmsCode(number, code, t + AccountStore::kSmsCodeLifetime + 1),
            StoreResult::kRejected);

  // At most kSmsPerHour codes in an hour, however they are spaced.
  int issued = 1;  // the one at t
  for (int i = 1; i < 20; ++i) {
    std::string c;
    if (store_->IssueSmsCode(number, t + i * AccountStore::kSmsMinInterval, &c) ==
        StoreResult::kOk) {
      ++issued;
    }
  }
  EXPECT_EQ(issued, AccountStore::kSmsPerHour - 1);  // the code issued at kT0 counts too
}

TEST_F(AccountStoreTest, WrongGuessesUseUpACode) {
  const std::string number = "13800000003";
  std::string code;
  ASSERT_EQ(store_->IssueSmsCode(number, kT0, &code), StoreResult::kOk);
  std::string wrong = code == "000000" ? "111111" : "000000";
  for (int i = 0; i < AccountStore::kSmsMaxAttempts - 1; ++i) {
    EXPECT_EQ(store_->ConsumeSmsCode(number, wrong, kT0 + 1), StoreResult::kRejected);
  }
  // The right code still works after fewer than the allowed misses...
  EXPECT_EQ(store_->ConsumeSmsCode(number, code, kT0 + 2), StoreResult::kOk);

  ASSERT_EQ(store_->IssueSmsCode(number, kT0 + 60, &code), StoreResult::kOk);
  wrong = code == "000000" ? "111111" : "000000";
  for (int i = 0; i < AccountStore::kSmsMaxAttempts; ++i) {
    store_->ConsumeSmsCode(number, wrong, kT0 + 61);
  }
  // ...but not after the last allowed miss.
  EXPECT_EQ(store_->ConsumeSmsCode(number, code, kT0 + 62), StoreResult::kRejected);

  // A newer code replaces the older one.
  std::string first, second;
  ASSERT_EQ(store_->IssueSmsCode(number, kT0 + 120, &first), StoreResult::kOk);
  ASSERT_EQ(store_->IssueSmsCode(number, kT0 + 160, &second), StoreResult::kOk);
  if (first != second) {
    EXPECT_EQ(store_->ConsumeSmsCode(number, first, kT0 + 161), StoreResult::kRejected);
  }
  EXPECT_EQ(store_->ConsumeSmsCode(number, second, kT0 + 162), StoreResult::kOk);
}

TEST_F(AccountStoreTest, InterimsBelongToTheirAccountAndExpire) {
  AccountRecord other;
  ASSERT_EQ(store_->Create("13800000004", "hash", kT0, &other), StoreResult::kOk);
  std::string interim;
  ASSERT_EQ(store_->IssueInterim(account_.id, kT0, &interim), StoreResult::kOk);
  AccountRecord found;
  EXPECT_EQ(store_->CheckInterim(account_.uuid, interim, kT0 + 10, &found), StoreResult::kOk);
  EXPECT_EQ(found.number, "13800000001");
  EXPECT_EQ(store_->CheckInterim(other.uuid, interim, kT0 + 10, &found), StoreResult::kRejected);
  EXPECT_EQ(store_->CheckInterim(account_.uuid, interim + "0", kT0 + 10, &found),
            StoreResult::kRejected);
  EXPECT_EQ(store_->CheckInterim(account_.uuid, interim, kT0 + AccountStore::kInterimLifetime + 1,
                                 &found),
            StoreResult::kRejected);
}

TEST_F(AccountStoreTest, FailuresTurnSuspiciousUntilASuccessOrANewPassword) {
  bool suspicious = false;
  for (int i = 1; i <= AccountStore::kSuspiciousAfter; ++i) {
    ASSERT_EQ(store_->RecordFailure(account_.id, &suspicious), StoreResult::kOk);
    EXPECT_EQ(suspicious, i == AccountStore::kSuspiciousAfter) << i;
  }
  ASSERT_EQ(store_->RecordSuccess(account_.id), StoreResult::kOk);
  AccountRecord read;
  ASSERT_EQ(store_->Find("13800000001", &read), StoreResult::kOk);
  EXPECT_FALSE(read.suspicious);
  EXPECT_EQ(read.failed_signins, 0);

  for (int i = 0; i < AccountStore::kSuspiciousAfter; ++i) {
    store_->RecordFailure(account_.id, &suspicious);
  }
  ASSERT_EQ(store_->SetPassword("13800000001", "new"), StoreResult::kOk);
  ASSERT_EQ(store_->Find("13800000001", &read), StoreResult::kOk);
  EXPECT_FALSE(read.suspicious);
  EXPECT_EQ(read.token_epoch, account_.token_epoch + 1);
  EXPECT_EQ(store_->SetPassword("13900000000", "new"), StoreResult::kNotFound);
}

}  // namespace
}  // namespace tern
