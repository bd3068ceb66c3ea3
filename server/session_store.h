// Relay sessions as the relay and the admin command see them. The relay
// writes; the admin command lists sessions and asks for one to be dropped by
// marking it, which the relay notices within a second.
#ifndef SERVER_SESSION_STORE_H_
#define SERVER_SESSION_STORE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "server/store_result.h"

namespace tern {

struct SessionRecord {
  int64_t id = 0;
  int64_t account_id = 0;
  std::string number;
  std::string node;
  int protocol = 0;
  int route_count = 0;
  int64_t started_at = 0;
  int64_t last_seen = 0;
  int64_t ended_at = 0;
  std::string state;  // "active", "drop" (asked to end), "ended"
  std::string end_reason;
};

class SessionStore {
 public:
  static constexpr int64_t kMinDialIntervalMs = 20000;

  explicit SessionStore(std::string db_path);

  // Records an accepted dial for the account; kTooFrequent when the previous
  // accepted dial was less than |min_interval_ms| ago (nothing recorded).
  StoreResult AcceptDial(int64_t account_id, int64_t now_ms, int64_t min_interval_ms);
  StoreResult Start(const SessionRecord& record, int64_t* id);
  StoreResult Touch(int64_t id, int64_t now);
  StoreResult End(int64_t id, const std::string& reason, int64_t now);
  // Ends sessions left open by an earlier run.
  StoreResult EndAllOpen(const std::string& reason, int64_t now);
  // |who| is a session id or an account number; *marked counts the sessions.
  StoreResult RequestDrop(const std::string& who, int* marked);
  StoreResult DropRequested(std::vector<int64_t>* ids);
  // Open sessions, or all when |include_ended|.
  StoreResult List(bool include_ended, std::vector<SessionRecord>* out);

 private:
  std::string db_path_;
};

}  // namespace tern

#endif  // SERVER_SESSION_STORE_H_
