// What the node service hands out: relay nodes, name servers, the route
// table as numbered increments, client versions and notices. Every call
// opens its own connection; use from any thread.
#ifndef SERVER_CATALOG_STORE_H_
#define SERVER_CATALOG_STORE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "server/store_result.h"

namespace tern {

struct NodeRecord {
  std::string region;
  bool direct = false;
  std::string name_cn;
  std::string addr_ip;
  std::string icmp;
  int delay = 0;
  double loss = 0;
  int protocols = 0;  // bit i set: protocol index i accepted
};

struct RouteRecord {
  int64_t id = 0;
  std::string addr;
  std::string mask;
  int cidr = 0;
  int app_id = 0;
  int status = 1;  // 1 active, 0 deactivated
  int64_t version = 0;
};

// One change of a route increment.
struct RouteChange {
  enum Kind { kAdd, kChange, kDeactivate } kind = kAdd;
  int64_t id = 0;  // ignored for kAdd
  std::string addr;
  int cidr = 0;
  int app_id = 0;
};

struct VersionRecord {
  std::string version;
  int must = 0;
  std::string details;
  std::string info;
};

struct NoticeRecord {
  int64_t id = 0;
  std::string title;
  std::string text;
  std::string url;
  int64_t timestamp = 0;
  int64_t deadline = 0;  // 0 = no end
};

class CatalogStore {
 public:
  explicit CatalogStore(std::string db_path);

  // "", "AUTO", "SEA", "EA", "NA", "EUR"; "" is "AUTO".
  static bool NormaliseRegion(std::string_view region, std::string* out);

  StoreResult Nodes(const std::string& region, bool direct, std::vector<NodeRecord>* out);
  StoreResult AllNodes(std::vector<NodeRecord>* out);
  // The region's name servers and whether it has direct nodes.
  StoreResult NameServers(const std::string& region, std::vector<std::string>* dns, bool* forward);

  StoreResult LatestRouteVersion(int64_t* version);
  // The current state of every route changed after |after|, oldest version
  // first.
  StoreResult RoutesSince(int64_t after, std::vector<RouteRecord>* out, int64_t* latest);
  // Applies |changes| as one new version; kRejected (nothing applied) with
  // *error when a change is invalid or names an unknown route.
  StoreResult PublishRoutes(const std::vector<RouteChange>& changes,
                            const std::string& note,
                            int64_t now,
                            int64_t* version,
                            std::string* error);

  StoreResult LatestVersion(VersionRecord* out);
  StoreResult PublishVersion(const VersionRecord& record, int64_t now);

  // The newest notice that has not ended; kNotFound when none.
  StoreResult CurrentNotice(int64_t now, NoticeRecord* out);
  StoreResult PublishNotice(const NoticeRecord& record, int64_t* id);

 private:
  std::string db_path_;
};

// "a.b.c.d/len" -> network address (host bits cleared), dotted mask, length.
bool ParseCidr(std::string_view text, std::string* addr, std::string* mask, int* cidr);

}  // namespace tern

#endif  // SERVER_CATALOG_STORE_H_
