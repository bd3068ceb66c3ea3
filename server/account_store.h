// Accounts, SMS codes and tunnel credentials. Every call opens its own
// connection, so one AccountStore may be used from any thread. Times are
// seconds since 1970, passed in so that rules around time can be tested.
#ifndef SERVER_ACCOUNT_STORE_H_
#define SERVER_ACCOUNT_STORE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "server/store_result.h"

namespace tern {

struct AccountRecord {
  int64_t id = 0;
  std::string number;
  std::string nickname;
  std::string uuid;
  std::string password_hash;
  int64_t deadline = 0;  // membership end, 0 = never a member
  int failed_signins = 0;
  bool suspicious = false;
  int64_t token_epoch = 0;
};

class AccountStore {
 public:
  static constexpr int kSmsCodeLifetime = 5 * 60;
  static constexpr int kSmsMinInterval = 30;
  static constexpr int kSmsPerHour = 10;
  static constexpr int kSmsMaxAttempts = 5;
  static constexpr int kInterimLifetime = 24 * 3600;
  // Password failures in a row after which only SMS sign-in is accepted.
  static constexpr int kSuspiciousAfter = 5;

  // |sms_interval| is the least time between two codes for one number.
  explicit AccountStore(std::string db_path, int sms_interval = kSmsMinInterval);

  // 11 decimal digits.
  static bool IsAccountNumber(std::string_view number);

  StoreResult Create(const std::string& number,
                     const std::string& password_hash,
                     int64_t now,
                     AccountRecord* out);
  StoreResult Find(const std::string& number, AccountRecord* out);
  StoreResult FindById(int64_t id, AccountRecord* out);
  StoreResult List(std::vector<AccountRecord>* out);
  // Also raises the token epoch (voids older tokens and every tunnel
  // credential issued so far) and clears the sign-in failures.
  StoreResult SetPassword(const std::string& number, const std::string& password_hash);
  StoreResult SetNickname(const std::string& number, const std::string& nickname);
  StoreResult SetDeadline(const std::string& number, int64_t deadline);
  // Counts a wrong password; *suspicious tells whether the account is now
  // limited to SMS sign-in.
  StoreResult RecordFailure(int64_t id, bool* suspicious);
  StoreResult RecordSuccess(int64_t id);

  // A fresh 6-digit code for |number| (which need not have an account).
  StoreResult IssueSmsCode(const std::string& number, int64_t now, std::string* code);
  // kOk uses the code up; kRejected for a wrong, used or expired code, and
  // after too many wrong tries.
  StoreResult ConsumeSmsCode(const std::string& number, const std::string& code, int64_t now);
  StoreResult LastSmsCode(const std::string& number, std::string* code, int64_t* issued_at);

  StoreResult IssueInterim(int64_t account_id, int64_t now, std::string* interim);
  // kOk with the account when |interim| was issued to the account of |uuid|
  // and has not expired; kRejected otherwise.
  StoreResult CheckInterim(const std::string& uuid,
                           const std::string& interim,
                           int64_t now,
                           AccountRecord* out);

 private:
  std::string db_path_;
  int sms_interval_;
};

}  // namespace tern

#endif  // SERVER_ACCOUNT_STORE_H_
