// The smart route table: keeps kelvo.db up to date from the node service,
// hands the active routes to the dialler as text, and pins relay nodes to the
// physical gateway with host routes.
#ifndef CLIENT_ENGINE_ROUTE_MANAGER_H_
#define CLIENT_ENGINE_ROUTE_MANAGER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "client/sqlite/route_database.h"
#include "servicebridge/service_bridge.h"

// The key kelvo.db has always been encrypted with.
extern const char kRouteDatabaseKey[];

// True when the route data must be fetched again from version 0: the
// database cannot be read, or it was created more than 6 whole days before
// |now| (both seconds since 1970).
bool RouteDataIsStale(bool database_readable, int64_t created, int64_t now);

class RouteManager {
 public:
  // What the manager needs from the rest of the client. The client passes
  // config.ini access, the child-process runner and GetDefaultGateway.
  struct Environment {
    // Plain config.ini entries.
    std::function<std::string(const std::string& section, const std::string& key)> read_config;
    std::function<
        void(const std::string& section, const std::string& key, const std::string& value)>
        write_config;
    // Runs a command line hidden and returns its output.
    std::function<std::string(const std::string& command_line)> run_command;
    std::function<std::string()> default_gateway;
    // Seconds since 1970.
    std::function<int64_t()> now;
  };

  // The process-wide manager, created on first use: kelvo.db and config.ini
  // in the program directory, the child-process runner and the default
  // gateway.
  static RouteManager* GetInstance();

  // |database_path| is the database file, UTF-8.
  RouteManager(std::string database_path, Environment environment);
  RouteManager(const RouteManager&) = delete;
  RouteManager& operator=(const RouteManager&) = delete;

  // All of the following run on the IO thread, which keeps database work
  // from overlapping.

  // Returns the SQLite result code of creating the table.
  int CreateRouteTable();
  // Fetches increments until the local version reaches the service's.
  void SyncRouteTable(CServiceBridgeVirtual* service);
  // Writes one batch in one transaction; false when nothing was written.
  bool ApplyRouteIncrement(const std::vector<RouteEntry>& entries);
  // "address mask address/cidr\n" per active route; empty or partial when
  // the database fails.
  std::string GetActiveRoutes();
  // "ROUTE DELETE" then "ROUTE ADD" a host route through the default gateway
  // for every node, in list order. Runs on the thread that fetches nodes.
  void AddNodeHostRoutes(const std::vector<NodeInfo>& nodes);

  // Start-up: resets the local route version to "0" when the route data is
  // stale, so that the next sync downloads everything again.
  void ResetVersionIfStale();

 private:
  int ReadIntConfig(const char* section, const char* key);

  RouteDatabase database_;
  Environment environment_;
};

#endif  // CLIENT_ENGINE_ROUTE_MANAGER_H_
