// A thin owner of one SQLite connection (libsqlcipher, no key) with
// statements and transactions. A Database belongs to the thread that opened
// it.
#ifndef SERVER_SERVICE_DATABASE_H_
#define SERVER_SERVICE_DATABASE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace tern {

class Database {
 public:
  // Opens (creating) the file in WAL mode with a busy time-out. Null on
  // failure, with the reason in *error.
  static std::unique_ptr<Database> Open(const std::string& path, std::string* error);
  // The calling thread's own connection to |path|, opened on first use and
  // kept until the thread ends (WAL is set once, and the WAL files are not
  // removed and recreated per request). Reopened when the file was replaced.
  // Thread: the returned connection belongs to the calling thread only.
  static std::shared_ptr<Database> ForThread(const std::string& path, std::string* error);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Runs one or more statements without results.
  bool Execute(std::string_view sql);
  std::string LastError() const;
  int64_t LastInsertId() const;
  int Changes() const;
  sqlite3* handle() { return db_; }

 private:
  explicit Database(sqlite3* db);
  sqlite3* db_;
};

class Statement {
 public:
  Statement(Database* db, std::string_view sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool valid() const { return stmt_ != nullptr; }
  // Binding indexes start at 1.
  Statement& Bind(int index, int64_t value);
  Statement& Bind(int index, std::string_view value);
  Statement& BindNull(int index);
  // True while a row is available; false at the end or on an error.
  bool Step();
  // Runs to the end; false on an error.
  bool Run();
  bool failed() const { return failed_; }
  void Reset();

  int64_t Int(int column) const;
  double Double(int column) const;
  std::string Text(int column) const;
  bool IsNull(int column) const;

 private:
  sqlite3_stmt* stmt_ = nullptr;
  bool failed_ = false;
};

// BEGIN IMMEDIATE so that writers queue on the busy time-out instead of
// failing on a lock upgrade; rolls back unless committed.
class Transaction {
 public:
  explicit Transaction(Database* db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  bool ok() const { return open_; }
  bool Commit();

 private:
  Database* db_;
  bool open_ = false;
};

}  // namespace tern

#endif  // SERVER_SERVICE_DATABASE_H_
