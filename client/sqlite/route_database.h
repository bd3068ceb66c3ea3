// Access to the encrypted route database (table SMART_ROUTE).
#ifndef CLIENT_SQLITE_ROUTE_DATABASE_H_
#define CLIENT_SQLITE_ROUTE_DATABASE_H_

#include <string>
#include <vector>

// One row of SMART_ROUTE.
struct RouteRow {
  int id = 0;
  std::string ip_address;
  std::string mask;
  int game_id = 0;
  int route_status = 1;  // 1 = active, anything else = inactive.
  int cidr = 0;
};

// Outcome of one database operation. |stage| tells whether opening (and
// keying) failed or a statement did, because callers report the two apart.
struct RouteDbResult {
  enum Stage { kDone, kOpen, kStatement };
  Stage stage = kDone;
  int code = 0;  // SQLite result code; 0 (SQLITE_OK) on success.
  std::string message;

  bool ok() const { return stage == kDone; }
};

// Every operation opens its own connection, keys it, works and closes it, so
// an object holds no connection and may be used from any thread; the caller
// keeps operations on one file from overlapping.
class RouteDatabase {
 public:
  // The statement that creates the table, exactly as the file has always
  // been created.
  static const char kCreateTableSql[];

  RouteDatabase(std::string path_utf8, std::string key);

  const std::string& path() const { return path_; }

  RouteDbResult CreateTable() const;

  // Writes |rows| in order in one transaction. A row whose ID already exists
  // replaces the stored one. Any failure rolls the whole batch back.
  RouteDbResult ApplyBatch(const std::vector<RouteRow>& rows) const;

  // Appends "ip mask ip/cidr\n" for every active row to |text|. On a failure
  // in the middle, |text| keeps the lines read before it.
  RouteDbResult AppendActiveRoutes(std::string* text) const;

  // True when the file exists and its table list can be read with the key.
  bool IsReadable() const;

 private:
  std::string path_;
  std::string key_;
};

#endif  // CLIENT_SQLITE_ROUTE_DATABASE_H_
