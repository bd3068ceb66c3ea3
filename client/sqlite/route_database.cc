#include "client/sqlite/route_database.h"

#include <sqlcipher/sqlite3.h>

#include <string>
#include <utility>

namespace {

// Closes the connection on every path, including a failed open (SQLite hands
// out a handle even then).
class ScopedConnection {
 public:
  ScopedConnection() = default;
  ScopedConnection(const ScopedConnection&) = delete;
  ScopedConnection& operator=(const ScopedConnection&) = delete;
  ~ScopedConnection() { Reset(); }

  sqlite3* get() const { return db_; }
  sqlite3** receive() {
    Reset();
    return &db_;
  }
  void Reset() {
    if (db_)
      sqlite3_close_v2(db_);
    db_ = nullptr;
  }

 private:
  sqlite3* db_ = nullptr;
};

class ScopedStatement {
 public:
  ScopedStatement() = default;
  ScopedStatement(const ScopedStatement&) = delete;
  ScopedStatement& operator=(const ScopedStatement&) = delete;
  ~ScopedStatement() { sqlite3_finalize(stmt_); }

  sqlite3_stmt* get() const { return stmt_; }
  sqlite3_stmt** receive() { return &stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// Code points of the path as UTF-16 in native byte order, for
// sqlite3_open16. Malformed bytes become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& in) {
  std::u16string out;
  size_t i = 0;
  while (i < in.size()) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    char32_t cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
    }
    if (len > 1) {
      if (i + len > in.size()) {
        cp = 0xFFFD;
        len = 1;
      } else {
        for (size_t k = 1; k < len; ++k) {
          unsigned char cc = static_cast<unsigned char>(in[i + k]);
          if ((cc & 0xC0) != 0x80) {
            cp = 0xFFFD;
            len = 1;
            break;
          }
          cp = (cp << 6) | (cc & 0x3F);
        }
      }
    }
    i += len;
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp > 0x10FFFF ? 0xFFFD : cp));
    }
  }
  return out;
}

RouteDbResult Failure(RouteDbResult::Stage stage, int code, std::string message) {
  RouteDbResult result;
  result.stage = stage;
  result.code = code;
  result.message = std::move(message);
  return result;
}

RouteDbResult StatementFailure(sqlite3* db, int code) {
  return Failure(RouteDbResult::kStatement, code, sqlite3_errmsg(db));
}

// Opens by the UTF-8 path, then once more by its UTF-16 form, and keys the
// connection.
RouteDbResult OpenKeyed(const std::string& path, const std::string& key, ScopedConnection* db) {
  int rc = sqlite3_open(path.c_str(), db->receive());
  if (rc != SQLITE_OK) {
    std::u16string wide = Utf8ToUtf16(path);
    rc = sqlite3_open16(wide.c_str(), db->receive());
  }
  if (rc != SQLITE_OK) {
    std::string message = db->get() ? sqlite3_errmsg(db->get()) : sqlite3_errstr(rc);
    return Failure(RouteDbResult::kOpen, rc, message);
  }
  rc = sqlite3_key(db->get(), key.data(), static_cast<int>(key.size()));
  if (rc != SQLITE_OK)
    return Failure(RouteDbResult::kOpen, rc, sqlite3_errmsg(db->get()));
  return RouteDbResult();
}

RouteDbResult Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
  if (rc == SQLITE_OK)
    return RouteDbResult();
  std::string message = error ? error : sqlite3_errstr(rc);
  sqlite3_free(error);
  return Failure(RouteDbResult::kStatement, rc, message);
}

// Binds one row to the insert statement and runs it.
int StepRow(sqlite3_stmt* insert, const RouteRow& row) {
  sqlite3_reset(insert);
  sqlite3_bind_int(insert, 1, row.id);
  sqlite3_bind_text(insert, 2, row.ip_address.data(), static_cast<int>(row.ip_address.size()),
                    SQLITE_STATIC);
  sqlite3_bind_text(insert, 3, row.mask.data(), static_cast<int>(row.mask.size()), SQLITE_STATIC);
  sqlite3_bind_int(insert, 4, row.game_id);
  sqlite3_bind_int(insert, 5, row.route_status);
  sqlite3_bind_int(insert, 6, row.cidr);
  return sqlite3_step(insert);
}

const char* ColumnText(sqlite3_stmt* stmt, int column) {
  const unsigned char* text = sqlite3_column_text(stmt, column);
  return text ? reinterpret_cast<const char*>(text) : "";
}

}  // namespace

const char RouteDatabase::kCreateTableSql[] =
    "CREATE TABLE IF NOT EXISTS SMART_ROUTE("
    "ID            INT  PRIMARY KEY  NOT NULL,"
    "IP_ADDRESS    TEXT              NOT NULL,"
    "MASK          TEXT              NOT NULL,"
    "GAME_ID       INT               NOT NULL,"
    "ROUTE_STATUS  INT               NOT NULL,"
    "CIDR          INT               NOT NULL); ";

RouteDatabase::RouteDatabase(std::string path_utf8, std::string key)
    : path_(std::move(path_utf8)), key_(std::move(key)) {}

RouteDbResult RouteDatabase::CreateTable() const {
  ScopedConnection db;
  RouteDbResult result = OpenKeyed(path_, key_, &db);
  if (!result.ok())
    return result;
  return Exec(db.get(), kCreateTableSql);
}

RouteDbResult RouteDatabase::ApplyBatch(const std::vector<RouteRow>& rows) const {
  ScopedConnection db;
  RouteDbResult result = OpenKeyed(path_, key_, &db);
  if (!result.ok())
    return result;
  result = Exec(db.get(), "PRAGMA synchronous = OFF; ");
  if (!result.ok())
    return result;
  result = Exec(db.get(), "begin;");
  if (!result.ok())
    return result;

  // Everything below either commits the whole batch or rolls it back.
  auto fail = [&db](RouteDbResult failure) {
    sqlite3_exec(db.get(), "rollback;", nullptr, nullptr, nullptr);
    return failure;
  };
  {
    ScopedStatement insert;
    int rc = sqlite3_prepare_v2(db.get(), "INSERT INTO SMART_ROUTE VALUES(?,?,?,?,?,?)", -1,
                                insert.receive(), nullptr);
    if (rc != SQLITE_OK)
      return fail(StatementFailure(db.get(), rc));
    for (const RouteRow& row : rows) {
      rc = StepRow(insert.get(), row);
      if ((rc & 0xFF) == SQLITE_CONSTRAINT) {
        std::string remove = "DELETE FROM SMART_ROUTE WHERE ID = " + std::to_string(row.id);
        RouteDbResult removed = Exec(db.get(), remove.c_str());
        if (!removed.ok())
          return fail(removed);
        rc = StepRow(insert.get(), row);
      }
      if (rc != SQLITE_DONE)
        return fail(StatementFailure(db.get(), rc));
    }
  }
  result = Exec(db.get(), "commit;");
  if (!result.ok())
    return fail(result);
  return result;
}

RouteDbResult RouteDatabase::AppendActiveRoutes(std::string* text) const {
  ScopedConnection db;
  RouteDbResult result = OpenKeyed(path_, key_, &db);
  if (!result.ok())
    return result;
  ScopedStatement select;
  int rc = sqlite3_prepare_v2(db.get(), "SELECT * FROM SMART_ROUTE WHERE ROUTE_STATUS = 1", -1,
                              select.receive(), nullptr);
  if (rc != SQLITE_OK)
    return StatementFailure(db.get(), rc);
  while ((rc = sqlite3_step(select.get())) == SQLITE_ROW) {
    const char* address = ColumnText(select.get(), 1);
    text->append(address);
    text->push_back(' ');
    text->append(ColumnText(select.get(), 2));
    text->push_back(' ');
    text->append(address);
    text->push_back('/');
    text->append(ColumnText(select.get(), 5));
    text->push_back('\n');
  }
  if (rc != SQLITE_DONE)
    return StatementFailure(db.get(), rc);
  return RouteDbResult();
}

bool RouteDatabase::IsReadable() const {
  ScopedConnection db;
  if (sqlite3_open_v2(path_.c_str(), db.receive(), SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
    return false;
  if (sqlite3_key(db.get(), key_.data(), static_cast<int>(key_.size())) != SQLITE_OK)
    return false;
  // The key is only checked when the first page is read.
  return Exec(db.get(), "SELECT count(*) FROM sqlite_master;").ok();
}
