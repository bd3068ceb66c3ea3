// The service's tables, and the seed rows that make a fresh data directory
// useful: loopback relay nodes for every region, name servers, a few hundred
// routes in two versions, the three membership plans, the current client
// version and one notice.
#ifndef SERVER_SERVICE_SCHEMA_H_
#define SERVER_SERVICE_SCHEMA_H_

#include <cstdint>
#include <string>

namespace tern {

class Database;

// Creates missing tables and seeds an empty store, in one transaction.
bool InitializeSchema(Database* db, int64_t now, std::string* error);

// The client version the seed publishes.
inline constexpr char kSeedClientVersion[] = "1.1.4";

}  // namespace tern

#endif  // SERVER_SERVICE_SCHEMA_H_
