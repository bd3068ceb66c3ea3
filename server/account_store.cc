#include "server/account_store.h"

#include <sqlcipher/sqlite3.h>

#include "server/crypto_util.h"
#include "server/service_database.h"

namespace tern {
namespace {

constexpr char kAccountColumns[] =
    "SELECT id, number, nickname, uuid, password_hash, deadline, failed_signins, suspicious, "
    "token_epoch FROM accounts ";

void ReadAccount(const Statement& s, AccountRecord* out) {
  out->id = s.Int(0);
  out->number = s.Text(1);
  out->nickname = s.Text(2);
  out->uuid = s.Text(3);
  out->password_hash = s.Text(4);
  out->deadline = s.Int(5);
  out->failed_signins = static_cast<int>(s.Int(6));
  out->suspicious = s.Int(7) != 0;
  out->token_epoch = s.Int(8);
}

std::shared_ptr<Database> OpenDb(const std::string& path) {
  std::string error;
  return Database::ForThread(path, &error);
}

StoreResult FindWhere(const std::string& path,
                      const char* where,
                      const auto& bind,
                      AccountRecord* out) {
  auto db = OpenDb(path);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(), std::string(kAccountColumns) + where);
  bind(s);
  if (s.Step()) {
    ReadAccount(s, out);
    return StoreResult::kOk;
  }
  return s.failed() ? StoreResult::kError : StoreResult::kNotFound;
}

StoreResult UpdateByNumber(const std::string& path, const char* sql, const auto& bind) {
  auto db = OpenDb(path);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(), sql);
  bind(s);
  if (!s.Run())
    return StoreResult::kError;
  return db->Changes() > 0 ? StoreResult::kOk : StoreResult::kNotFound;
}

}  // namespace

AccountStore::AccountStore(std::string db_path, int sms_interval)
    : db_path_(std::move(db_path)), sms_interval_(sms_interval) {}

bool AccountStore::IsAccountNumber(std::string_view number) {
  if (number.size() != 11)
    return false;
  for (char c : number) {
    if (c < '0' || c > '9')
      return false;
  }
  return true;
}

StoreResult AccountStore::Create(const std::string& number,
                                 const std::string& password_hash,
                                 int64_t now,
                                 AccountRecord* out) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  std::string uuid = RandomHex(16);
  if (uuid.empty())
    return StoreResult::kError;
  Statement s(db.get(),
              "INSERT INTO accounts(number, nickname, uuid, password_hash, created_at) "
              "VALUES(?,?,?,?,?)");
  s.Bind(1, number).Bind(2, number).Bind(3, uuid).Bind(4, password_hash).Bind(5, now);
  if (!s.Run()) {
    return sqlite3_extended_errcode(db->handle()) == SQLITE_CONSTRAINT_UNIQUE ? StoreResult::kExists
                                                                              : StoreResult::kError;
  }
  out->id = db->LastInsertId();
  out->number = number;
  out->nickname = number;
  out->uuid = uuid;
  out->password_hash = password_hash;
  out->deadline = 0;
  out->failed_signins = 0;
  out->suspicious = false;
  out->token_epoch = 0;
  return StoreResult::kOk;
}

StoreResult AccountStore::Find(const std::string& number, AccountRecord* out) {
  return FindWhere(
      db_path_, "WHERE number = ?", [&](Statement& s) { s.Bind(1, number); }, out);
}

StoreResult AccountStore::FindById(int64_t id, AccountRecord* out) {
  return FindWhere(
      db_path_, "WHERE id = ?", [&](Statement& s) { s.Bind(1, id); }, out);
}

StoreResult AccountStore::List(std::vector<AccountRecord>* out) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(), std::string(kAccountColumns) + "ORDER BY id");
  out->clear();
  while (s.Step()) {
    out->emplace_back();
    ReadAccount(s, &out->back());
  }
  return s.failed() ? StoreResult::kError : StoreResult::kOk;
}

StoreResult AccountStore::SetPassword(const std::string& number, const std::string& password_hash) {
  return UpdateByNumber(db_path_,
                        "UPDATE accounts SET password_hash = ?, token_epoch = token_epoch + 1, "
                        "failed_signins = 0, suspicious = 0 WHERE number = ?",
                        [&](Statement& s) { s.Bind(1, password_hash).Bind(2, number); });
}

StoreResult AccountStore::SetNickname(const std::string& number, const std::string& nickname) {
  return UpdateByNumber(db_path_, "UPDATE accounts SET nickname = ? WHERE number = ?",
                        [&](Statement& s) { s.Bind(1, nickname).Bind(2, number); });
}

StoreResult AccountStore::SetDeadline(const std::string& number, int64_t deadline) {
  return UpdateByNumber(db_path_, "UPDATE accounts SET deadline = ? WHERE number = ?",
                        [&](Statement& s) { s.Bind(1, deadline).Bind(2, number); });
}

StoreResult AccountStore::RecordFailure(int64_t id, bool* suspicious) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Transaction txn(db.get());
  Statement update(db.get(),
                   "UPDATE accounts SET failed_signins = failed_signins + 1, "
                   "suspicious = CASE WHEN failed_signins + 1 >= ? THEN 1 ELSE suspicious END "
                   "WHERE id = ?");
  update.Bind(1, kSuspiciousAfter).Bind(2, id);
  Statement read(db.get(), "SELECT suspicious FROM accounts WHERE id = ?");
  read.Bind(1, id);
  if (!txn.ok() || !update.Run() || !read.Step())
    return StoreResult::kError;
  *suspicious = read.Int(0) != 0;
  return txn.Commit() ? StoreResult::kOk : StoreResult::kError;
}

StoreResult AccountStore::RecordSuccess(int64_t id) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(), "UPDATE accounts SET failed_signins = 0, suspicious = 0 WHERE id = ?");
  s.Bind(1, id);
  return s.Run() ? StoreResult::kOk : StoreResult::kError;
}

StoreResult AccountStore::IssueSmsCode(const std::string& number, int64_t now, std::string* code) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Transaction txn(db.get());
  Statement recent(db.get(),
                   "SELECT COUNT(*), COALESCE(MAX(issued_at), 0) FROM sms_codes "
                   "WHERE number = ? AND issued_at > ?");
  recent.Bind(1, number).Bind(2, now - 3600);
  if (!txn.ok() || !recent.Step())
    return StoreResult::kError;
  if (recent.Int(0) >= kSmsPerHour || (recent.Int(0) > 0 && now - recent.Int(1) < sms_interval_)) {
    return StoreResult::kTooFrequent;
  }
  std::string fresh = RandomDigits(6);
  if (fresh.empty())
    return StoreResult::kError;
  // A new code replaces any earlier one that is still open.
  Statement retire(db.get(), "UPDATE sms_codes SET used = 1 WHERE number = ? AND used = 0");
  retire.Bind(1, number);
  Statement insert(db.get(), "INSERT INTO sms_codes(number, code, issued_at) VALUES(?,?,?)");
  insert.Bind(1, number).Bind(2, fresh).Bind(3, now);
  // Keep the table small: codes older than a day are of no use.
  Statement prune(db.get(), "DELETE FROM sms_codes WHERE issued_at < ?");
  prune.Bind(1, now - 24 * 3600);
  if (!retire.Run() || !insert.Run() || !prune.Run() || !txn.Commit()) {
    return StoreResult::kError;
  }
  *code = fresh;
  return StoreResult::kOk;
}

StoreResult AccountStore::ConsumeSmsCode(const std::string& number,
                                         const std::string& code,
                                         int64_t now) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Transaction txn(db.get());
  Statement open(db.get(),
                 "SELECT id, code, issued_at, attempts FROM sms_codes "
                 "WHERE number = ? AND used = 0 ORDER BY id DESC LIMIT 1");
  open.Bind(1, number);
  if (!txn.ok())
    return StoreResult::kError;
  if (!open.Step()) {
    return open.failed() ? StoreResult::kError : StoreResult::kRejected;
  }
  int64_t id = open.Int(0);
  bool expired = now - open.Int(2) > kSmsCodeLifetime || now < open.Int(2) - 60;
  bool match = ConstantTimeEquals(open.Text(1), code);
  Statement mark(db.get(),
                 match || expired
                     ? "UPDATE sms_codes SET used = 1 WHERE id = ?"
                     : "UPDATE sms_codes SET attempts = attempts + 1, "
                       "used = CASE WHEN attempts + 1 >= ? THEN 1 ELSE 0 END WHERE id = ?");
  if (match || expired) {
    mark.Bind(1, id);
  } else {
    mark.Bind(1, kSmsMaxAttempts).Bind(2, id);
  }
  if (!mark.Run() || !txn.Commit())
    return StoreResult::kError;
  return match && !expired ? StoreResult::kOk : StoreResult::kRejected;
}

StoreResult AccountStore::LastSmsCode(const std::string& number,
                                      std::string* code,
                                      int64_t* issued_at) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(),
              "SELECT code, issued_at FROM sms_codes WHERE number = ? ORDER BY id DESC LIMIT 1");
  s.Bind(1, number);
  if (!s.Step())
    return s.failed() ? StoreResult::kError : StoreResult::kNotFound;
  *code = s.Text(0);
  *issued_at = s.Int(1);
  return StoreResult::kOk;
}

StoreResult AccountStore::IssueInterim(int64_t account_id, int64_t now, std::string* interim) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  std::string fresh = RandomHex(16);
  if (fresh.empty())
    return StoreResult::kError;
  Transaction txn(db.get());
  Statement insert(db.get(), "INSERT INTO interims(account_id, interim, issued_at) VALUES(?,?,?)");
  insert.Bind(1, account_id).Bind(2, fresh).Bind(3, now);
  Statement prune(db.get(), "DELETE FROM interims WHERE issued_at < ?");
  prune.Bind(1, now - kInterimLifetime);
  if (!txn.ok() || !insert.Run() || !prune.Run() || !txn.Commit())
    return StoreResult::kError;
  *interim = fresh;
  return StoreResult::kOk;
}

StoreResult AccountStore::CheckInterim(const std::string& uuid,
                                       const std::string& interim,
                                       int64_t now,
                                       AccountRecord* out) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(),
              "SELECT a.id, a.number, a.nickname, a.uuid, a.password_hash, a.deadline, "
              "a.failed_signins, a.suspicious, a.token_epoch, i.issued_at FROM interims i "
              "JOIN accounts a ON a.id = i.account_id WHERE i.interim = ? AND a.uuid = ?");
  s.Bind(1, interim).Bind(2, uuid);
  if (!s.Step())
    return s.failed() ? StoreResult::kError : StoreResult::kRejected;
  if (now - s.Int(9) > kInterimLifetime)
    return StoreResult::kRejected;
  ReadAccount(s, out);
  return StoreResult::kOk;
}

}  // namespace tern
