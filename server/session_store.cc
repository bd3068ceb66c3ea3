#include "server/session_store.h"

#include "server/account_store.h"
#include "server/service_database.h"

namespace tern {
namespace {

std::shared_ptr<Database> OpenDb(const std::string& path) {
  std::string error;
  return Database::ForThread(path, &error);
}

}  // namespace

SessionStore::SessionStore(std::string db_path) : db_path_(std::move(db_path)) {}

StoreResult SessionStore::AcceptDial(int64_t account_id, int64_t now_ms, int64_t min_interval_ms) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Transaction txn(db.get());
  Statement last(db.get(), "SELECT last_accepted_ms FROM dials WHERE account_id = ?");
  last.Bind(1, account_id);
  if (!txn.ok())
    return StoreResult::kError;
  if (last.Step()) {
    int64_t previous = last.Int(0);
    if (now_ms >= previous && now_ms - previous < min_interval_ms) {
      return StoreResult::kTooFrequent;
    }
  } else if (last.failed()) {
    return StoreResult::kError;
  }
  Statement record(db.get(), "INSERT OR REPLACE INTO dials VALUES(?,?)");
  record.Bind(1, account_id).Bind(2, now_ms);
  if (!record.Run() || !txn.Commit())
    return StoreResult::kError;
  return StoreResult::kOk;
}

StoreResult SessionStore::Start(const SessionRecord& r, int64_t* id) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(),
              "INSERT INTO sessions(account_id, number, node, protocol, route_count, started_at, "
              "last_seen, state) VALUES(?,?,?,?,?,?,?,'active')");
  s.Bind(1, r.account_id)
      .Bind(2, r.number)
      .Bind(3, r.node)
      .Bind(4, r.protocol)
      .Bind(5, r.route_count)
      .Bind(6, r.started_at)
      .Bind(7, r.started_at);
  if (!s.Run())
    return StoreResult::kError;
  *id = db->LastInsertId();
  return StoreResult::kOk;
}

StoreResult SessionStore::Touch(int64_t id, int64_t now) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(), "UPDATE sessions SET last_seen = ? WHERE id = ? AND state != 'ended'");
  s.Bind(1, now).Bind(2, id);
  return s.Run() ? StoreResult::kOk : StoreResult::kError;
}

StoreResult SessionStore::End(int64_t id, const std::string& reason, int64_t now) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(),
              "UPDATE sessions SET state = 'ended', ended_at = ?, end_reason = ? "
              "WHERE id = ? AND state != 'ended'");
  s.Bind(1, now).Bind(2, reason).Bind(3, id);
  return s.Run() ? StoreResult::kOk : StoreResult::kError;
}

StoreResult SessionStore::EndAllOpen(const std::string& reason, int64_t now) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(),
              "UPDATE sessions SET state = 'ended', ended_at = ?, end_reason = ? "
              "WHERE state != 'ended'");
  s.Bind(1, now).Bind(2, reason);
  return s.Run() ? StoreResult::kOk : StoreResult::kError;
}

StoreResult SessionStore::RequestDrop(const std::string& who, int* marked) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  bool by_number = AccountStore::IsAccountNumber(who);
  Statement s(db.get(), by_number ? "UPDATE sessions SET state = 'drop' "
                                    "WHERE number = ? AND state = 'active'"
                                  : "UPDATE sessions SET state = 'drop' "
                                    "WHERE CAST(id AS TEXT) = ? AND state = 'active'");
  s.Bind(1, who);
  if (!s.Run())
    return StoreResult::kError;
  *marked = db->Changes();
  return *marked > 0 ? StoreResult::kOk : StoreResult::kNotFound;
}

StoreResult SessionStore::DropRequested(std::vector<int64_t>* ids) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(), "SELECT id FROM sessions WHERE state = 'drop'");
  ids->clear();
  while (s.Step())
    ids->push_back(s.Int(0));
  return s.failed() ? StoreResult::kError : StoreResult::kOk;
}

StoreResult SessionStore::List(bool include_ended, std::vector<SessionRecord>* out) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(), include_ended
                            ? "SELECT id, account_id, number, node, protocol, route_count, "
                              "started_at, last_seen, COALESCE(ended_at, 0), state, end_reason "
                              "FROM sessions ORDER BY id"
                            : "SELECT id, account_id, number, node, protocol, route_count, "
                              "started_at, last_seen, COALESCE(ended_at, 0), state, end_reason "
                              "FROM sessions WHERE state != 'ended' ORDER BY id");
  out->clear();
  while (s.Step()) {
    SessionRecord r;
    r.id = s.Int(0);
    r.account_id = s.Int(1);
    r.number = s.Text(2);
    r.node = s.Text(3);
    r.protocol = static_cast<int>(s.Int(4));
    r.route_count = static_cast<int>(s.Int(5));
    r.started_at = s.Int(6);
    r.last_seen = s.Int(7);
    r.ended_at = s.Int(8);
    r.state = s.Text(9);
    r.end_reason = s.Text(10);
    out->push_back(std::move(r));
  }
  return s.failed() ? StoreResult::kError : StoreResult::kOk;
}

}  // namespace tern
