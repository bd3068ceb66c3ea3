#include "client/sqlite/route_database.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sqlcipher/sqlite3.h>
#include <unistd.h>

#include <map>
#include <mutex>
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

RouteDbResult Exec(sqlite3* db, const char* sql);

// SQLCipher derives the page key from the passphrase and the file's salt
// (its first 16 bytes) with PBKDF2-HMAC-SHA1, 64,000 rounds, on every
// keying. That costs ~25 ms per open, so the derivation is done once per
// process and later opens hand SQLCipher the raw key. The file is unchanged:
// it still opens with the passphrase anywhere.
constexpr int kSaltSize = 16;
constexpr int kDerivedKeySize = 32;
constexpr int kKdfRounds = 64000;

class DerivedKeyCache {
 public:
  static DerivedKeyCache& Get() {
    static DerivedKeyCache* cache = new DerivedKeyCache;
    return *cache;
  }

  // The raw-key text ("x'...'") for |passphrase| over |salt|, or empty.
  std::string Find(const std::string& passphrase, const std::string& salt) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = keys_.find({passphrase, salt});
    return it == keys_.end() ? std::string() : it->second;
  }
  void Store(const std::string& passphrase, const std::string& salt, const std::string& raw) {
    std::lock_guard<std::mutex> lock(mutex_);
    keys_[{passphrase, salt}] = raw;
  }

 private:
  std::mutex mutex_;
  std::map<std::pair<std::string, std::string>, std::string> keys_;
};

std::string Hex(const unsigned char* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 0xF]);
  }
  return out;
}

// "x'<key>'" for an existing salt, "x'<key><salt>'" when SQLCipher should
// write |salt| into a new file. Empty when the derivation fails.
std::string DeriveRawKey(const std::string& passphrase, const std::string& salt, bool with_salt) {
  unsigned char key[kDerivedKeySize];
  if (PKCS5_PBKDF2_HMAC(passphrase.data(), static_cast<int>(passphrase.size()),
                        reinterpret_cast<const unsigned char*>(salt.data()), kSaltSize, kKdfRounds,
                        EVP_sha1(), kDerivedKeySize, key) != 1)
    return std::string();
  std::string raw = "x'" + Hex(key, sizeof(key));
  if (with_salt)
    raw += Hex(reinterpret_cast<const unsigned char*>(salt.data()), salt.size());
  raw += "'";
  return raw;
}

// The file's salt; empty when the file is missing or has no first page yet.
std::string ReadSalt(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return std::string();
  char salt[kSaltSize];
  ssize_t got = pread(fd, salt, sizeof(salt), 0);
  close(fd);
  return got == kSaltSize ? std::string(salt, sizeof(salt)) : std::string();
}

int KeyWith(sqlite3* db, const std::string& key) {
  return sqlite3_key(db, key.data(), static_cast<int>(key.size()));
}

// Keys a fresh connection to |path|. Uses the cached raw key when this
// process has derived it for the file's salt; otherwise derives it once,
// checks it against the file and remembers it. Anything unexpected (another
// KDF, a file that is not ours) falls back to the passphrase, so SQLCipher
// itself decides as it always did.
int KeyConnection(sqlite3* db,
                  const std::string& path,
                  const std::string& passphrase,
                  bool* rekeyed_by_passphrase) {
  *rekeyed_by_passphrase = false;
  DerivedKeyCache& cache = DerivedKeyCache::Get();
  std::string salt = ReadSalt(path);
  bool new_file = salt.empty();
  if (new_file) {
    unsigned char fresh[kSaltSize];
    if (RAND_bytes(fresh, sizeof(fresh)) != 1)
      return KeyWith(db, passphrase);
    salt.assign(reinterpret_cast<const char*>(fresh), sizeof(fresh));
  } else {
    std::string raw = cache.Find(passphrase, salt);
    if (!raw.empty())
      return KeyWith(db, raw);
  }
  std::string raw = DeriveRawKey(passphrase, salt, new_file);
  if (raw.empty())
    return KeyWith(db, passphrase);
  int rc = KeyWith(db, raw);
  if (rc != SQLITE_OK)
    return rc;
  // The key is only checked when the first page is read.
  if (!Exec(db, "SELECT count(*) FROM sqlite_master;").ok()) {
    *rekeyed_by_passphrase = true;
    return SQLITE_OK;
  }
  if (new_file)
    raw = DeriveRawKey(passphrase, salt, false);
  cache.Store(passphrase, salt, raw);
  return SQLITE_OK;
}

int OpenPath(const std::string& path, int flags, ScopedConnection* db) {
  int rc = sqlite3_open_v2(path.c_str(), db->receive(), flags, nullptr);
  if (rc != SQLITE_OK) {
    std::u16string wide = Utf8ToUtf16(path);
    // sqlite3_open16 has no flags; only the read-write open falls back.
    if (flags != (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE))
      return rc;
    rc = sqlite3_open16(wide.c_str(), db->receive());
  }
  return rc;
}

// Opens by the UTF-8 path, then once more by its UTF-16 form, and keys the
// connection.
RouteDbResult OpenKeyed(const std::string& path,
                        const std::string& key,
                        ScopedConnection* db,
                        int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) {
  int rc = OpenPath(path, flags, db);
  if (rc != SQLITE_OK) {
    std::string message = db->get() ? sqlite3_errmsg(db->get()) : sqlite3_errstr(rc);
    return Failure(RouteDbResult::kOpen, rc, message);
  }
  bool use_passphrase = false;
  rc = KeyConnection(db->get(), path, key, &use_passphrase);
  if (rc == SQLITE_OK && use_passphrase) {
    // A connection keyed once cannot be keyed again; start over.
    rc = OpenPath(path, flags, db);
    if (rc == SQLITE_OK)
      rc = KeyWith(db->get(), key);
  }
  if (rc != SQLITE_OK)
    return Failure(RouteDbResult::kOpen, rc,
                   db->get() ? sqlite3_errmsg(db->get()) : sqlite3_errstr(rc));
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
    ScopedStatement remove;  // Prepared on the first conflict of the batch.
    int rc = sqlite3_prepare_v2(db.get(), "INSERT INTO SMART_ROUTE VALUES(?,?,?,?,?,?)", -1,
                                insert.receive(), nullptr);
    if (rc != SQLITE_OK)
      return fail(StatementFailure(db.get(), rc));
    for (const RouteRow& row : rows) {
      rc = StepRow(insert.get(), row);
      if ((rc & 0xFF) == SQLITE_CONSTRAINT) {
        if (!remove.get()) {
          rc = sqlite3_prepare_v2(db.get(), "DELETE FROM SMART_ROUTE WHERE ID = ?", -1,
                                  remove.receive(), nullptr);
          if (rc != SQLITE_OK)
            return fail(StatementFailure(db.get(), rc));
        }
        sqlite3_reset(remove.get());
        sqlite3_bind_int(remove.get(), 1, row.id);
        rc = sqlite3_step(remove.get());
        if (rc != SQLITE_DONE)
          return fail(StatementFailure(db.get(), rc));
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
  if (!OpenKeyed(path_, key_, &db, SQLITE_OPEN_READONLY).ok())
    return false;
  // The key is only checked when the first page is read.
  return Exec(db.get(), "SELECT count(*) FROM sqlite_master;").ok();
}
