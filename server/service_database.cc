#include "server/service_database.h"

#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>

#include <map>

namespace tern {
namespace {
// Writers queue behind each other; under heavy load a queue of fifty
// concurrent sign-ups can take a while to drain.
constexpr int kBusyTimeoutMs = 30000;
}  // namespace

std::unique_ptr<Database> Database::Open(const std::string& path, std::string* error) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(
      path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    if (error) {
      *error = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    }
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  std::unique_ptr<Database> database(new Database(db));
  if (!database->Execute("PRAGMA journal_mode=WAL; PRAGMA foreign_keys=ON;")) {
    if (error) {
      *error = database->LastError();
    }
    return nullptr;
  }
  return database;
}

std::shared_ptr<Database> Database::ForThread(const std::string& path, std::string* error) {
  struct Kept {
    std::shared_ptr<Database> db;
    dev_t device = 0;
    ino_t inode = 0;
  };
  thread_local std::map<std::string, Kept> kept;
  struct stat info {};
  bool exists = stat(path.c_str(), &info) == 0;
  auto it = kept.find(path);
  if (it != kept.end()) {
    Kept& entry = it->second;
    if (exists && entry.device == info.st_dev && entry.inode == info.st_ino) {
      // An operation that ended without closing its transaction must not
      // leak it into the next one.
      if (entry.db.use_count() == 1 && !sqlite3_get_autocommit(entry.db->db_))
        entry.db->Execute("ROLLBACK;");
      return entry.db;
    }
    kept.erase(it);
  }
  std::unique_ptr<Database> opened = Open(path, error);
  if (!opened)
    return nullptr;
  Kept entry;
  entry.db = std::move(opened);
  if (stat(path.c_str(), &info) == 0) {
    entry.device = info.st_dev;
    entry.inode = info.st_ino;
    kept[path] = entry;
  }
  return entry.db;
}

Database::Database(sqlite3* db) : db_(db) {}

Database::~Database() {
  sqlite3_close_v2(db_);
}

bool Database::Execute(std::string_view sql) {
  std::string text(sql);
  return sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string Database::LastError() const {
  return sqlite3_errmsg(db_);
}

int64_t Database::LastInsertId() const {
  return sqlite3_last_insert_rowid(db_);
}

int Database::Changes() const {
  return sqlite3_changes(db_);
}

Statement::Statement(Database* db, std::string_view sql) {
  if (sqlite3_prepare_v2(db->handle(), sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr) !=
      SQLITE_OK) {
    stmt_ = nullptr;
    failed_ = true;
  }
}

Statement::~Statement() {
  sqlite3_finalize(stmt_);
}

Statement& Statement::Bind(int index, int64_t value) {
  if (stmt_ && sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) {
    failed_ = true;
  }
  return *this;
}

Statement& Statement::Bind(int index, std::string_view value) {
  if (stmt_ && sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()),
                                 SQLITE_TRANSIENT) != SQLITE_OK) {
    failed_ = true;
  }
  return *this;
}

Statement& Statement::BindNull(int index) {
  if (stmt_ && sqlite3_bind_null(stmt_, index) != SQLITE_OK) {
    failed_ = true;
  }
  return *this;
}

bool Statement::Step() {
  if (!stmt_ || failed_) {
    return false;
  }
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) {
    return true;
  }
  if (rc != SQLITE_DONE) {
    failed_ = true;
  }
  return false;
}

bool Statement::Run() {
  while (Step()) {
  }
  return !failed_;
}

void Statement::Reset() {
  if (stmt_) {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  failed_ = stmt_ == nullptr;
}

int64_t Statement::Int(int column) const {
  return sqlite3_column_int64(stmt_, column);
}

double Statement::Double(int column) const {
  return sqlite3_column_double(stmt_, column);
}

std::string Statement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  if (!text) {
    return std::string();
  }
  return std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(stmt_, column));
}

bool Statement::IsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

Transaction::Transaction(Database* db) : db_(db) {
  open_ = db_->Execute("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
  if (open_) {
    db_->Execute("ROLLBACK");
  }
}

bool Transaction::Commit() {
  if (!open_) {
    return false;
  }
  open_ = false;
  if (db_->Execute("COMMIT")) {
    return true;
  }
  db_->Execute("ROLLBACK");
  return false;
}

}  // namespace tern
