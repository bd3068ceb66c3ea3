#include "machine/store.h"

#include <sqlcipher/sqlite3.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <utility>

#include "machine/machine_root.h"

namespace machine {

namespace {

constexpr int kBusyTimeoutMs = 10000;
// Beyond the busy handler's own waiting: a few more tries when SQLite gives
// up without calling it (e.g. a WAL snapshot conflict).
constexpr int kBusyRetries = 50;
constexpr int kSchemaVersion = 1;

const char kSchema[] = R"sql(
CREATE TABLE IF NOT EXISTS reg_keys (
  hive TEXT NOT NULL, view INTEGER NOT NULL, lpath TEXT NOT NULL,
  path TEXT NOT NULL, lparent TEXT NOT NULL,
  PRIMARY KEY (hive, view, lpath));
CREATE INDEX IF NOT EXISTS reg_keys_parent ON reg_keys (hive, view, lparent);
CREATE TABLE IF NOT EXISTS reg_values (
  hive TEXT NOT NULL, view INTEGER NOT NULL, lpath TEXT NOT NULL,
  lname TEXT NOT NULL, name TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,
  PRIMARY KEY (hive, view, lpath, lname));
CREATE TABLE IF NOT EXISTS services (
  lname TEXT PRIMARY KEY, name TEXT NOT NULL, display_name TEXT NOT NULL,
  state INTEGER NOT NULL, start_type INTEGER NOT NULL, wait_hint_ms INTEGER NOT NULL,
  on_start INTEGER NOT NULL, pending_since_ms INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS firewall_rules (
  id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL, description TEXT NOT NULL,
  application_name TEXT NOT NULL, service_name TEXT NOT NULL, grouping TEXT NOT NULL,
  local_ports TEXT NOT NULL, remote_ports TEXT NOT NULL, local_addresses TEXT NOT NULL,
  remote_addresses TEXT NOT NULL, interface_types TEXT NOT NULL, protocol INTEGER NOT NULL,
  direction INTEGER NOT NULL, action INTEGER NOT NULL, profiles INTEGER NOT NULL,
  enabled INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS adapters (
  id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL, description TEXT NOT NULL,
  mac TEXT NOT NULL, addresses TEXT NOT NULL, gateway TEXT NOT NULL, type INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS routes (
  id INTEGER PRIMARY KEY AUTOINCREMENT, destination TEXT NOT NULL, mask TEXT NOT NULL,
  gateway TEXT NOT NULL, metric INTEGER NOT NULL, interface_address TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS restart_requests (
  id INTEGER PRIMARY KEY AUTOINCREMENT, time_ms INTEGER NOT NULL, kind TEXT NOT NULL,
  reason TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS counters (name TEXT PRIMARY KEY, value INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS effects (
  id INTEGER PRIMARY KEY AUTOINCREMENT, time_ms INTEGER NOT NULL, tool TEXT NOT NULL,
  text TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS settings (key TEXT PRIMARY KEY, value TEXT NOT NULL);
)sql";

bool IsBusy(int rc) {
  rc &= 0xFF;
  return rc == SQLITE_BUSY || rc == SQLITE_LOCKED;
}

void BackOff(int attempt) {
  std::this_thread::sleep_for(std::chrono::milliseconds(1 + attempt % 10));
}

Status FromSqlite(int rc) {
  if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW)
    return Status::kOk;
  if (IsBusy(rc))
    return Status::kBusy;
  if ((rc & 0xFF) == SQLITE_CONSTRAINT)
    return Status::kExists;
  return Status::kError;
}

// One prepared statement; steps are retried while the database is busy.
class Stmt {
 public:
  Stmt(sqlite3* db, std::string_view sql) {
    for (int attempt = 0;; ++attempt) {
      rc_ = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
      if (!IsBusy(rc_) || attempt >= kBusyRetries)
        break;
      BackOff(attempt);
    }
  }
  ~Stmt() { sqlite3_finalize(stmt_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  bool ok() const { return rc_ == SQLITE_OK && stmt_; }
  int rc() const { return rc_; }

  Stmt& Bind(std::string_view text) {
    sqlite3_bind_text(stmt_, ++index_, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
    return *this;
  }
  Stmt& Bind(const char* text) { return Bind(std::string_view(text)); }
  Stmt& Bind(const std::string& text) { return Bind(std::string_view(text)); }
  Stmt& Bind(int64_t value) {
    sqlite3_bind_int64(stmt_, ++index_, value);
    return *this;
  }
  Stmt& BindBlob(const std::vector<uint8_t>& data) {
    sqlite3_bind_blob(stmt_, ++index_, data.data(), static_cast<int>(data.size()),
                      SQLITE_TRANSIENT);
    return *this;
  }

  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() {
    if (!ok())
      return rc_ == SQLITE_OK ? SQLITE_ERROR : rc_;
    for (int attempt = 0;; ++attempt) {
      int rc = sqlite3_step(stmt_);
      if (!IsBusy(rc) || attempt >= kBusyRetries)
        return rc;
      sqlite3_reset(stmt_);
      BackOff(attempt);
    }
  }
  Status Run() { return FromSqlite(Step()); }

  std::string Text(int col) {
    const unsigned char* p = sqlite3_column_text(stmt_, col);
    return p ? std::string(reinterpret_cast<const char*>(p), sqlite3_column_bytes(stmt_, col))
             : std::string();
  }
  int64_t Int(int col) { return sqlite3_column_int64(stmt_, col); }
  std::vector<uint8_t> Blob(int col) {
    const uint8_t* p = static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, col));
    int n = sqlite3_column_bytes(stmt_, col);
    return p ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>();
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_ = SQLITE_OK;
  int index_ = 0;
};

Status ExecRetry(sqlite3* db, const char* sql) {
  for (int attempt = 0;; ++attempt) {
    int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (!IsBusy(rc) || attempt >= kBusyRetries)
      return FromSqlite(rc);
    BackOff(attempt);
  }
}

// Splits a registry path into its folded and display forms, dropping empty
// components.
struct KeyPath {
  std::vector<std::string> parts;  // display case
  std::string Joined(size_t count) const {
    std::string out;
    for (size_t i = 0; i < count && i < parts.size(); ++i) {
      if (i)
        out.push_back('\\');
      out += parts[i];
    }
    return out;
  }
  std::string Full() const { return Joined(parts.size()); }
};

KeyPath ParsePath(std::string_view path) {
  KeyPath kp;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos)
      end = path.size();
    if (end > start)
      kp.parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return kp;
}

// Windows keeps two copies of HKLM\SOFTWARE only; all else is shared (view 0).
int64_t EffectiveView(std::string_view hive, RegistryView view, const std::string& lpath) {
  if (FoldCase(hive) == "hkey_local_machine" && lpath.rfind("software\\", 0) == 0)
    return static_cast<int64_t>(view);
  return 0;
}

bool ValidHive(std::string_view hive) {
  return !hive.empty();
}

// Runs a group of statements atomically unless the caller already holds a
// transaction on this store.
class WriteScope {
 public:
  WriteScope(sqlite3* db, bool in_transaction) : db_(db), own_(!in_transaction) {
    if (own_)
      status_ = ExecRetry(db_, "BEGIN IMMEDIATE");
  }
  ~WriteScope() {
    if (own_ && status_ == Status::kOk && !done_)
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  Status status() const { return status_; }
  Status Commit() {
    done_ = true;
    if (!own_)
      return Status::kOk;
    Status s = ExecRetry(db_, "COMMIT");
    if (s != Status::kOk)
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return s;
  }

 private:
  sqlite3* db_;
  bool own_;
  bool done_ = false;
  Status status_ = Status::kOk;
};

}  // namespace

const char* StatusName(Status status) {
  switch (status) {
    case Status::kOk:
      return "ok";
    case Status::kNotFound:
      return "not found";
    case Status::kExists:
      return "exists";
    case Status::kHasChildren:
      return "has children";
    case Status::kInvalidArgument:
      return "invalid argument";
    case Status::kBusy:
      return "busy";
    case Status::kError:
      return "error";
  }
  return "unknown";
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

Store::Store(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}

Store::~Store() {
  if (in_transaction_)
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(db_);
}

Status Store::Open(std::unique_ptr<Store>* out) {
  std::string root = EnsureRootDirectory();
  if (root.empty())
    return Status::kError;
  return OpenPath(root + "/machine.db", out);
}

Status Store::OpenPath(const std::string& path, std::unique_ptr<Store>* out) {
  out->reset();
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(
      path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(db);
    return Status::kError;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  std::unique_ptr<Store> store(new Store(db, path));
  Status s = store->InitSchema();
  if (s != Status::kOk)
    return s;
  *out = std::move(store);
  return Status::kOk;
}

Status Store::InitSchema() {
  {
    Stmt version(db_, "PRAGMA user_version");
    if (version.Step() == SQLITE_ROW && version.Int(0) == kSchemaVersion)
      return Status::kOk;
  }
  // WAL can only be switched outside a transaction; it persists in the file.
  Status s = ExecRetry(db_, "PRAGMA journal_mode=WAL");
  if (s != Status::kOk)
    return s;
  WriteScope scope(db_, false);
  if (scope.status() != Status::kOk)
    return scope.status();
  s = ExecRetry(db_, kSchema);
  if (s != Status::kOk)
    return s;
  std::string pragma = "PRAGMA user_version=" + std::to_string(kSchemaVersion);
  s = ExecRetry(db_, pragma.c_str());
  if (s != Status::kOk)
    return s;
  return scope.Commit();
}

Status Store::Execute(std::string_view sql) {
  std::string text(sql);
  return ExecRetry(db_, text.c_str());
}

// ---- Transaction ----

Store::Transaction::Transaction(Store* store) : store_(store) {
  if (store_->in_transaction_) {
    status_ = Status::kInvalidArgument;
    return;
  }
  status_ = ExecRetry(store_->db_, "BEGIN IMMEDIATE");
  if (status_ == Status::kOk) {
    open_ = true;
    store_->in_transaction_ = true;
  }
}

Store::Transaction::~Transaction() {
  if (open_) {
    sqlite3_exec(store_->db_, "ROLLBACK", nullptr, nullptr, nullptr);
    store_->in_transaction_ = false;
  }
}

Status Store::Transaction::Commit() {
  if (!open_)
    return status_ == Status::kOk ? Status::kInvalidArgument : status_;
  Status s = ExecRetry(store_->db_, "COMMIT");
  if (s != Status::kOk)
    sqlite3_exec(store_->db_, "ROLLBACK", nullptr, nullptr, nullptr);
  open_ = false;
  store_->in_transaction_ = false;
  return s;
}

// ---- Registry ----

Status Store::CreateRegistryKey(std::string_view hive,
                                RegistryView view,
                                std::string_view path,
                                bool* created) {
  if (created)
    *created = false;
  if (!ValidHive(hive))
    return Status::kInvalidArgument;
  std::string lhive = FoldCase(hive);
  KeyPath kp = ParsePath(path);
  if (kp.parts.empty())
    return Status::kOk;  // the hive
  WriteScope scope(db_, in_transaction_);
  if (scope.status() != Status::kOk)
    return scope.status();
  bool last_new = false;
  for (size_t n = 1; n <= kp.parts.size(); ++n) {
    std::string display = kp.Joined(n);
    std::string lpath = FoldCase(display);
    std::string lparent = FoldCase(kp.Joined(n - 1));
    Stmt insert(db_,
                "INSERT OR IGNORE INTO reg_keys (hive, view, lpath, path, lparent) "
                "VALUES (?, ?, ?, ?, ?)");
    insert.Bind(lhive)
        .Bind(EffectiveView(hive, view, lpath))
        .Bind(lpath)
        .Bind(display)
        .Bind(lparent);
    Status s = insert.Run();
    if (s != Status::kOk)
      return s;
    last_new = sqlite3_changes(db_) > 0;
  }
  Status s = scope.Commit();
  if (s == Status::kOk && created)
    *created = last_new;
  return s;
}

Status Store::RegistryKeyExists(std::string_view hive, RegistryView view, std::string_view path) {
  if (!ValidHive(hive))
    return Status::kInvalidArgument;
  std::string lpath = FoldCase(ParsePath(path).Full());
  if (lpath.empty())
    return Status::kOk;
  Stmt q(db_, "SELECT 1 FROM reg_keys WHERE hive = ? AND view = ? AND lpath = ?");
  q.Bind(FoldCase(hive)).Bind(EffectiveView(hive, view, lpath)).Bind(lpath);
  int rc = q.Step();
  if (rc == SQLITE_ROW)
    return Status::kOk;
  return rc == SQLITE_DONE ? Status::kNotFound : FromSqlite(rc);
}

Status Store::DeleteRegistryKey(std::string_view hive, RegistryView view, std::string_view path) {
  if (!ValidHive(hive))
    return Status::kInvalidArgument;
  std::string lhive = FoldCase(hive);
  std::string lpath = FoldCase(ParsePath(path).Full());
  if (lpath.empty())
    return Status::kInvalidArgument;
  int64_t v = EffectiveView(hive, view, lpath);
  int64_t child_view = EffectiveView(hive, view, lpath + "\\x");
  WriteScope scope(db_, in_transaction_);
  if (scope.status() != Status::kOk)
    return scope.status();
  Status s = RegistryKeyExists(hive, view, path);
  if (s != Status::kOk)
    return s;
  {
    Stmt q(db_, "SELECT 1 FROM reg_keys WHERE hive = ? AND view = ? AND lparent = ? LIMIT 1");
    q.Bind(lhive).Bind(child_view).Bind(lpath);
    int rc = q.Step();
    if (rc == SQLITE_ROW)
      return Status::kHasChildren;
    if (rc != SQLITE_DONE)
      return FromSqlite(rc);
  }
  Stmt del_values(db_, "DELETE FROM reg_values WHERE hive = ? AND view = ? AND lpath = ?");
  del_values.Bind(lhive).Bind(v).Bind(lpath);
  if ((s = del_values.Run()) != Status::kOk)
    return s;
  Stmt del_key(db_, "DELETE FROM reg_keys WHERE hive = ? AND view = ? AND lpath = ?");
  del_key.Bind(lhive).Bind(v).Bind(lpath);
  if ((s = del_key.Run()) != Status::kOk)
    return s;
  return scope.Commit();
}

Status Store::SetRegistryValue(std::string_view hive,
                               RegistryView view,
                               std::string_view path,
                               const RegistryValue& value) {
  if (!ValidHive(hive))
    return Status::kInvalidArgument;
  std::string lpath = FoldCase(ParsePath(path).Full());
  WriteScope scope(db_, in_transaction_);
  if (scope.status() != Status::kOk)
    return scope.status();
  Status s = RegistryKeyExists(hive, view, path);
  if (s != Status::kOk)
    return s;
  std::string lname = FoldCase(value.name);
  // Keep the case of the first writer's name, as Windows does. (The SQLite
  // of libsqlcipher predates UPSERT.)
  std::string lhive = FoldCase(hive);
  int64_t v = EffectiveView(hive, view, lpath);
  Stmt update(db_,
              "UPDATE reg_values SET type = ?, data = ? "
              "WHERE hive = ? AND view = ? AND lpath = ? AND lname = ?");
  update.Bind(static_cast<int64_t>(value.type))
      .BindBlob(value.data)
      .Bind(lhive)
      .Bind(v)
      .Bind(lpath)
      .Bind(lname);
  if ((s = update.Run()) != Status::kOk)
    return s;
  if (sqlite3_changes(db_) == 0) {
    Stmt insert(db_,
                "INSERT INTO reg_values (hive, view, lpath, lname, name, type, data) "
                "VALUES (?, ?, ?, ?, ?, ?, ?)");
    insert.Bind(lhive)
        .Bind(v)
        .Bind(lpath)
        .Bind(lname)
        .Bind(value.name)
        .Bind(static_cast<int64_t>(value.type))
        .BindBlob(value.data);
    if ((s = insert.Run()) != Status::kOk)
      return s;
  }
  return scope.Commit();
}

Status Store::GetRegistryValue(std::string_view hive,
                               RegistryView view,
                               std::string_view path,
                               std::string_view name,
                               RegistryValue* out) {
  if (!ValidHive(hive))
    return Status::kInvalidArgument;
  std::string lpath = FoldCase(ParsePath(path).Full());
  Stmt q(db_,
         "SELECT name, type, data FROM reg_values "
         "WHERE hive = ? AND view = ? AND lpath = ? AND lname = ?");
  q.Bind(FoldCase(hive)).Bind(EffectiveView(hive, view, lpath)).Bind(lpath).Bind(FoldCase(name));
  int rc = q.Step();
  if (rc == SQLITE_ROW) {
    out->name = q.Text(0);
    out->type = static_cast<uint32_t>(q.Int(1));
    out->data = q.Blob(2);
    return Status::kOk;
  }
  if (rc != SQLITE_DONE)
    return FromSqlite(rc);
  // Tell a missing key from a missing value only when it matters to callers.
  return Status::kNotFound;
}

Status Store::DeleteRegistryValue(std::string_view hive,
                                  RegistryView view,
                                  std::string_view path,
                                  std::string_view name) {
  if (!ValidHive(hive))
    return Status::kInvalidArgument;
  std::string lpath = FoldCase(ParsePath(path).Full());
  Stmt q(db_, "DELETE FROM reg_values WHERE hive = ? AND view = ? AND lpath = ? AND lname = ?");
  q.Bind(FoldCase(hive)).Bind(EffectiveView(hive, view, lpath)).Bind(lpath).Bind(FoldCase(name));
  Status s = q.Run();
  if (s != Status::kOk)
    return s;
  return sqlite3_changes(db_) > 0 ? Status::kOk : Status::kNotFound;
}

Status Store::ListRegistrySubkeys(std::string_view hive,
                                  RegistryView view,
                                  std::string_view path,
                                  std::vector<std::string>* names) {
  names->clear();
  Status s = RegistryKeyExists(hive, view, path);
  if (s != Status::kOk)
    return s;
  std::string lpath = FoldCase(ParsePath(path).Full());
  std::string probe = lpath.empty() ? std::string("x") : lpath + "\\x";
  Stmt q(db_,
         "SELECT path FROM reg_keys WHERE hive = ? AND view = ? AND lparent = ? ORDER BY lpath");
  q.Bind(FoldCase(hive)).Bind(EffectiveView(hive, view, probe)).Bind(lpath);
  int rc;
  while ((rc = q.Step()) == SQLITE_ROW) {
    std::string full = q.Text(0);
    size_t slash = full.rfind('\\');
    names->push_back(slash == std::string::npos ? full : full.substr(slash + 1));
  }
  return rc == SQLITE_DONE ? Status::kOk : FromSqlite(rc);
}

Status Store::ListRegistryValues(std::string_view hive,
                                 RegistryView view,
                                 std::string_view path,
                                 std::vector<RegistryValue>* values) {
  values->clear();
  Status s = RegistryKeyExists(hive, view, path);
  if (s != Status::kOk)
    return s;
  std::string lpath = FoldCase(ParsePath(path).Full());
  Stmt q(db_,
         "SELECT name, type, data FROM reg_values WHERE hive = ? AND view = ? AND lpath = ? "
         "ORDER BY lname");
  q.Bind(FoldCase(hive)).Bind(EffectiveView(hive, view, lpath)).Bind(lpath);
  int rc;
  while ((rc = q.Step()) == SQLITE_ROW) {
    RegistryValue v;
    v.name = q.Text(0);
    v.type = static_cast<uint32_t>(q.Int(1));
    v.data = q.Blob(2);
    values->push_back(std::move(v));
  }
  return rc == SQLITE_DONE ? Status::kOk : FromSqlite(rc);
}

// ---- Services ----

namespace {
void ReadService(Stmt& q, ServiceRecord* s) {
  s->name = q.Text(0);
  s->display_name = q.Text(1);
  s->state = static_cast<uint32_t>(q.Int(2));
  s->start_type = static_cast<uint32_t>(q.Int(3));
  s->wait_hint_ms = static_cast<uint32_t>(q.Int(4));
  s->on_start = static_cast<ServiceStartBehaviour>(q.Int(5));
  s->pending_since_ms = q.Int(6);
}
constexpr char kServiceColumns[] =
    "SELECT name, display_name, state, start_type, wait_hint_ms, on_start, pending_since_ms "
    "FROM services";
}  // namespace

Status Store::PutService(const ServiceRecord& service) {
  if (service.name.empty())
    return Status::kInvalidArgument;
  Stmt q(db_,
         "INSERT OR REPLACE INTO services (lname, name, display_name, state, start_type, "
         "wait_hint_ms, on_start, pending_since_ms) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
  q.Bind(FoldCase(service.name))
      .Bind(service.name)
      .Bind(service.display_name)
      .Bind(static_cast<int64_t>(service.state))
      .Bind(static_cast<int64_t>(service.start_type))
      .Bind(static_cast<int64_t>(service.wait_hint_ms))
      .Bind(static_cast<int64_t>(service.on_start))
      .Bind(service.pending_since_ms);
  return q.Run();
}

Status Store::GetService(std::string_view name, ServiceRecord* out) {
  Stmt q(db_, std::string(kServiceColumns) + " WHERE lname = ?");
  q.Bind(FoldCase(name));
  int rc = q.Step();
  if (rc == SQLITE_ROW) {
    ReadService(q, out);
    return Status::kOk;
  }
  return rc == SQLITE_DONE ? Status::kNotFound : FromSqlite(rc);
}

Status Store::ListServices(std::vector<ServiceRecord>* out) {
  out->clear();
  Stmt q(db_, std::string(kServiceColumns) + " ORDER BY lname");
  int rc;
  while ((rc = q.Step()) == SQLITE_ROW) {
    ServiceRecord s;
    ReadService(q, &s);
    out->push_back(std::move(s));
  }
  return rc == SQLITE_DONE ? Status::kOk : FromSqlite(rc);
}

Status Store::DeleteService(std::string_view name) {
  Stmt q(db_, "DELETE FROM services WHERE lname = ?");
  q.Bind(FoldCase(name));
  Status s = q.Run();
  if (s != Status::kOk)
    return s;
  return sqlite3_changes(db_) > 0 ? Status::kOk : Status::kNotFound;
}

// ---- Firewall ----

namespace {
constexpr char kRuleColumns[] =
    "SELECT id, name, description, application_name, service_name, grouping, local_ports, "
    "remote_ports, local_addresses, remote_addresses, interface_types, protocol, direction, "
    "action, profiles, enabled FROM firewall_rules";

void ReadRule(Stmt& q, FirewallRule* r) {
  r->id = q.Int(0);
  r->name = q.Text(1);
  r->description = q.Text(2);
  r->application_name = q.Text(3);
  r->service_name = q.Text(4);
  r->grouping = q.Text(5);
  r->local_ports = q.Text(6);
  r->remote_ports = q.Text(7);
  r->local_addresses = q.Text(8);
  r->remote_addresses = q.Text(9);
  r->interface_types = q.Text(10);
  r->protocol = static_cast<int32_t>(q.Int(11));
  r->direction = static_cast<int32_t>(q.Int(12));
  r->action = static_cast<int32_t>(q.Int(13));
  r->profiles = static_cast<int32_t>(q.Int(14));
  r->enabled = q.Int(15) != 0;
}

void BindRuleFields(Stmt& q, const FirewallRule& r) {
  q.Bind(r.name)
      .Bind(r.description)
      .Bind(r.application_name)
      .Bind(r.service_name)
      .Bind(r.grouping)
      .Bind(r.local_ports)
      .Bind(r.remote_ports)
      .Bind(r.local_addresses)
      .Bind(r.remote_addresses)
      .Bind(r.interface_types)
      .Bind(static_cast<int64_t>(r.protocol))
      .Bind(static_cast<int64_t>(r.direction))
      .Bind(static_cast<int64_t>(r.action))
      .Bind(static_cast<int64_t>(r.profiles))
      .Bind(static_cast<int64_t>(r.enabled ? 1 : 0));
}

Status ReadRules(Stmt& q, std::vector<FirewallRule>* out) {
  out->clear();
  int rc;
  while ((rc = q.Step()) == SQLITE_ROW) {
    FirewallRule r;
    ReadRule(q, &r);
    out->push_back(std::move(r));
  }
  return rc == SQLITE_DONE ? Status::kOk : FromSqlite(rc);
}
}  // namespace

Status Store::AddFirewallRule(const FirewallRule& rule, int64_t* id) {
  if (rule.name.empty())
    return Status::kInvalidArgument;
  Stmt q(db_,
         "INSERT INTO firewall_rules (name, description, application_name, service_name, "
         "grouping, local_ports, remote_ports, local_addresses, remote_addresses, "
         "interface_types, protocol, direction, action, profiles, enabled) "
         "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  BindRuleFields(q, rule);
  Status s = q.Run();
  if (s == Status::kOk && id)
    *id = sqlite3_last_insert_rowid(db_);
  return s;
}

Status Store::UpdateFirewallRule(const FirewallRule& rule) {
  Stmt q(db_,
         "UPDATE firewall_rules SET name = ?, description = ?, application_name = ?, "
         "service_name = ?, grouping = ?, local_ports = ?, remote_ports = ?, "
         "local_addresses = ?, remote_addresses = ?, interface_types = ?, protocol = ?, "
         "direction = ?, action = ?, profiles = ?, enabled = ? WHERE id = ?");
  BindRuleFields(q, rule);
  q.Bind(rule.id);
  Status s = q.Run();
  if (s != Status::kOk)
    return s;
  return sqlite3_changes(db_) > 0 ? Status::kOk : Status::kNotFound;
}

Status Store::ListFirewallRules(std::vector<FirewallRule>* out) {
  Stmt q(db_, std::string(kRuleColumns) + " ORDER BY id");
  return ReadRules(q, out);
}

Status Store::FindFirewallRules(std::string_view name, std::vector<FirewallRule>* out) {
  Stmt q(db_, std::string(kRuleColumns) + " WHERE name = ? ORDER BY id");
  q.Bind(name);
  return ReadRules(q, out);
}

Status Store::RemoveFirewallRule(int64_t id) {
  Stmt q(db_, "DELETE FROM firewall_rules WHERE id = ?");
  q.Bind(id);
  Status s = q.Run();
  if (s != Status::kOk)
    return s;
  return sqlite3_changes(db_) > 0 ? Status::kOk : Status::kNotFound;
}

// ---- Adapters ----

Status Store::AddAdapter(const AdapterRecord& a, int64_t* id) {
  if (a.name.empty())
    return Status::kInvalidArgument;
  Stmt q(db_,
         "INSERT INTO adapters (name, description, mac, addresses, gateway, type) "
         "VALUES (?, ?, ?, ?, ?, ?)");
  q.Bind(a.name)
      .Bind(a.description)
      .Bind(a.mac)
      .Bind(a.addresses)
      .Bind(a.gateway)
      .Bind(static_cast<int64_t>(a.type));
  Status s = q.Run();
  if (s == Status::kOk && id)
    *id = sqlite3_last_insert_rowid(db_);
  return s;
}

Status Store::ListAdapters(std::vector<AdapterRecord>* out) {
  out->clear();
  Stmt q(db_,
         "SELECT id, name, description, mac, addresses, gateway, type FROM adapters ORDER BY id");
  int rc;
  while ((rc = q.Step()) == SQLITE_ROW) {
    AdapterRecord a;
    a.id = q.Int(0);
    a.name = q.Text(1);
    a.description = q.Text(2);
    a.mac = q.Text(3);
    a.addresses = q.Text(4);
    a.gateway = q.Text(5);
    a.type = static_cast<uint32_t>(q.Int(6));
    out->push_back(std::move(a));
  }
  return rc == SQLITE_DONE ? Status::kOk : FromSqlite(rc);
}

Status Store::RemoveAdapter(int64_t id) {
  Stmt q(db_, "DELETE FROM adapters WHERE id = ?");
  q.Bind(id);
  Status s = q.Run();
  if (s != Status::kOk)
    return s;
  return sqlite3_changes(db_) > 0 ? Status::kOk : Status::kNotFound;
}

Status Store::RemoveAdaptersNamed(std::string_view name, int* removed) {
  Stmt q(db_, "DELETE FROM adapters WHERE name = ?");
  q.Bind(name);
  Status s = q.Run();
  if (removed)
    *removed = s == Status::kOk ? sqlite3_changes(db_) : 0;
  return s;
}

Status Store::SetAdapterOverride(bool on) {
  return SetSetting("adapters_override", on ? "1" : "0");
}

Status Store::GetAdapterOverride(bool* on) {
  std::string value;
  Status s = GetSetting("adapters_override", &value);
  *on = s == Status::kOk && value == "1";
  return s == Status::kNotFound ? Status::kOk : s;
}

// ---- Routes ----

Status Store::AddRoute(const RouteRecord& r, int64_t* id) {
  if (r.destination.empty())
    return Status::kInvalidArgument;
  WriteScope scope(db_, in_transaction_);
  if (scope.status() != Status::kOk)
    return scope.status();
  {
    Stmt q(db_, "SELECT 1 FROM routes WHERE destination = ? AND mask = ? AND gateway = ?");
    q.Bind(r.destination).Bind(r.mask).Bind(r.gateway);
    int rc = q.Step();
    if (rc == SQLITE_ROW)
      return Status::kExists;
    if (rc != SQLITE_DONE)
      return FromSqlite(rc);
  }
  Stmt q(db_,
         "INSERT INTO routes (destination, mask, gateway, metric, interface_address) "
         "VALUES (?, ?, ?, ?, ?)");
  q.Bind(r.destination)
      .Bind(r.mask)
      .Bind(r.gateway)
      .Bind(static_cast<int64_t>(r.metric))
      .Bind(r.interface_address);
  Status s = q.Run();
  if (s != Status::kOk)
    return s;
  int64_t new_id = sqlite3_last_insert_rowid(db_);
  s = scope.Commit();
  if (s == Status::kOk && id)
    *id = new_id;
  return s;
}

Status Store::DeleteRoutes(std::string_view destination, std::string_view mask, int* removed) {
  Stmt q(db_, mask.empty() ? "DELETE FROM routes WHERE destination = ?"
                           : "DELETE FROM routes WHERE destination = ? AND mask = ?");
  q.Bind(destination);
  if (!mask.empty())
    q.Bind(mask);
  Status s = q.Run();
  if (removed)
    *removed = s == Status::kOk ? sqlite3_changes(db_) : 0;
  return s;
}

Status Store::ListRoutes(std::vector<RouteRecord>* out) {
  out->clear();
  Stmt q(db_,
         "SELECT id, destination, mask, gateway, metric, interface_address FROM routes "
         "ORDER BY id");
  int rc;
  while ((rc = q.Step()) == SQLITE_ROW) {
    RouteRecord r;
    r.id = q.Int(0);
    r.destination = q.Text(1);
    r.mask = q.Text(2);
    r.gateway = q.Text(3);
    r.metric = static_cast<int32_t>(q.Int(4));
    r.interface_address = q.Text(5);
    out->push_back(std::move(r));
  }
  return rc == SQLITE_DONE ? Status::kOk : FromSqlite(rc);
}

// ---- Restart requests, counters, effects ----

Status Store::AddRestartRequest(const RestartRequest& r, int64_t* id) {
  Stmt q(db_, "INSERT INTO restart_requests (time_ms, kind, reason) VALUES (?, ?, ?)");
  q.Bind(r.time_ms ? r.time_ms : NowMs()).Bind(r.kind).Bind(r.reason);
  Status s = q.Run();
  if (s == Status::kOk && id)
    *id = sqlite3_last_insert_rowid(db_);
  return s;
}

Status Store::ListRestartRequests(std::vector<RestartRequest>* out) {
  out->clear();
  Stmt q(db_, "SELECT id, time_ms, kind, reason FROM restart_requests ORDER BY id");
  int rc;
  while ((rc = q.Step()) == SQLITE_ROW) {
    RestartRequest r;
    r.id = q.Int(0);
    r.time_ms = q.Int(1);
    r.kind = q.Text(2);
    r.reason = q.Text(3);
    out->push_back(std::move(r));
  }
  return rc == SQLITE_DONE ? Status::kOk : FromSqlite(rc);
}

Status Store::IncrementCounter(std::string_view name, int64_t by, int64_t* value) {
  WriteScope scope(db_, in_transaction_);
  if (scope.status() != Status::kOk)
    return scope.status();
  Stmt insert(db_, "INSERT OR IGNORE INTO counters (name, value) VALUES (?, 0)");
  insert.Bind(name);
  Status s = insert.Run();
  if (s != Status::kOk)
    return s;
  Stmt update(db_, "UPDATE counters SET value = value + ? WHERE name = ?");
  update.Bind(by).Bind(name);
  if ((s = update.Run()) != Status::kOk)
    return s;
  int64_t current = 0;
  if ((s = GetCounter(name, &current)) != Status::kOk)
    return s;
  s = scope.Commit();
  if (s == Status::kOk && value)
    *value = current;
  return s;
}

Status Store::GetCounter(std::string_view name, int64_t* value) {
  Stmt q(db_, "SELECT value FROM counters WHERE name = ?");
  q.Bind(name);
  int rc = q.Step();
  *value = rc == SQLITE_ROW ? q.Int(0) : 0;
  return rc == SQLITE_ROW || rc == SQLITE_DONE ? Status::kOk : FromSqlite(rc);
}

Status Store::AppendEffect(std::string_view tool, std::string_view text) {
  Stmt q(db_, "INSERT INTO effects (time_ms, tool, text) VALUES (?, ?, ?)");
  q.Bind(NowMs()).Bind(tool).Bind(text);
  return q.Run();
}

Status Store::ListEffects(std::vector<EffectRecord>* out) {
  out->clear();
  Stmt q(db_, "SELECT id, time_ms, tool, text FROM effects ORDER BY id");
  int rc;
  while ((rc = q.Step()) == SQLITE_ROW) {
    EffectRecord e;
    e.id = q.Int(0);
    e.time_ms = q.Int(1);
    e.tool = q.Text(2);
    e.text = q.Text(3);
    out->push_back(std::move(e));
  }
  return rc == SQLITE_DONE ? Status::kOk : FromSqlite(rc);
}

Status Store::SetSetting(std::string_view key, std::string_view value) {
  Stmt q(db_, "INSERT OR REPLACE INTO settings (key, value) VALUES (?, ?)");
  q.Bind(key).Bind(value);
  return q.Run();
}

Status Store::GetSetting(std::string_view key, std::string* value) {
  Stmt q(db_, "SELECT value FROM settings WHERE key = ?");
  q.Bind(key);
  int rc = q.Step();
  if (rc == SQLITE_ROW) {
    *value = q.Text(0);
    return Status::kOk;
  }
  return rc == SQLITE_DONE ? Status::kNotFound : FromSqlite(rc);
}

}  // namespace machine
