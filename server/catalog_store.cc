#include "server/catalog_store.h"

#include <arpa/inet.h>

#include <charconv>

#include "server/service_database.h"

namespace tern {
namespace {

std::shared_ptr<Database> OpenDb(const std::string& path) {
  std::string error;
  return Database::ForThread(path, &error);
}

std::string Dotted(uint32_t host_order) {
  in_addr a;
  a.s_addr = htonl(host_order);
  char text[INET_ADDRSTRLEN];
  inet_ntop(AF_INET, &a, text, sizeof(text));
  return text;
}

void ReadNode(const Statement& s, NodeRecord* n) {
  n->region = s.Text(0);
  n->direct = s.Int(1) != 0;
  n->name_cn = s.Text(2);
  n->addr_ip = s.Text(3);
  n->icmp = s.Text(4);
  n->delay = static_cast<int>(s.Int(5));
  n->loss = s.Double(6);
  n->protocols = static_cast<int>(s.Int(7));
}

}  // namespace

bool ParseCidr(std::string_view text, std::string* addr, std::string* mask, int* cidr) {
  size_t slash = text.find('/');
  if (slash == std::string_view::npos)
    return false;
  std::string host(text.substr(0, slash));
  std::string_view len = text.substr(slash + 1);
  int prefix = -1;
  auto [end, ec] = std::from_chars(len.data(), len.data() + len.size(), prefix);
  in_addr a;
  if (ec != std::errc() || end != len.data() + len.size() || prefix < 0 || prefix > 32 ||
      inet_pton(AF_INET, host.c_str(), &a) != 1) {
    return false;
  }
  uint32_t m = prefix == 0 ? 0 : 0xFFFFFFFFu << (32 - prefix);
  *addr = Dotted(ntohl(a.s_addr) & m);
  *mask = Dotted(m);
  *cidr = prefix;
  return true;
}

CatalogStore::CatalogStore(std::string db_path) : db_path_(std::move(db_path)) {}

bool CatalogStore::NormaliseRegion(std::string_view region, std::string* out) {
  static const char* const kRegions[] = {"AUTO", "SEA", "EA", "NA", "EUR"};
  if (region.empty()) {
    *out = "AUTO";
    return true;
  }
  for (const char* r : kRegions) {
    if (region == r) {
      *out = r;
      return true;
    }
  }
  return false;
}

StoreResult CatalogStore::Nodes(const std::string& region,
                                bool direct,
                                std::vector<NodeRecord>* out) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(),
              "SELECT region, direct, name_cn, addr_ip, icmp, delay, loss, protocols FROM nodes "
              "WHERE region = ? AND direct = ? ORDER BY id");
  s.Bind(1, region).Bind(2, direct ? 1 : 0);
  out->clear();
  while (s.Step()) {
    out->emplace_back();
    ReadNode(s, &out->back());
  }
  return s.failed() ? StoreResult::kError : StoreResult::kOk;
}

StoreResult CatalogStore::AllNodes(std::vector<NodeRecord>* out) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(),
              "SELECT region, direct, name_cn, addr_ip, icmp, delay, loss, protocols FROM nodes "
              "ORDER BY id");
  out->clear();
  while (s.Step()) {
    out->emplace_back();
    ReadNode(s, &out->back());
  }
  return s.failed() ? StoreResult::kError : StoreResult::kOk;
}

StoreResult CatalogStore::NameServers(const std::string& region,
                                      std::vector<std::string>* dns,
                                      bool* forward) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(),
              "SELECT dns, (SELECT COUNT(*) FROM nodes WHERE region = ?1 AND direct = 1) "
              "FROM name_servers WHERE region = ?1");
  s.Bind(1, region);
  if (!s.Step())
    return s.failed() ? StoreResult::kError : StoreResult::kNotFound;
  dns->clear();
  std::string list = s.Text(0);
  size_t pos = 0;
  while (pos < list.size()) {
    size_t comma = list.find(',', pos);
    if (comma == std::string::npos)
      comma = list.size();
    if (comma > pos)
      dns->push_back(list.substr(pos, comma - pos));
    pos = comma + 1;
  }
  *forward = s.Int(1) > 0;
  return StoreResult::kOk;
}

StoreResult CatalogStore::LatestRouteVersion(int64_t* version) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(), "SELECT COALESCE(MAX(version), 0) FROM route_versions");
  if (!s.Step())
    return StoreResult::kError;
  *version = s.Int(0);
  return StoreResult::kOk;
}

StoreResult CatalogStore::RoutesSince(int64_t after,
                                      std::vector<RouteRecord>* out,
                                      int64_t* latest) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  // One read transaction, so the list and the latest version agree even
  // while an increment is being published.
  if (!db->Execute("BEGIN"))
    return StoreResult::kError;
  Statement v(db.get(), "SELECT COALESCE(MAX(version), 0) FROM route_versions");
  Statement s(db.get(),
              "SELECT id, addr, mask, cidr, app_id, status, version FROM routes "
              "WHERE version > ? ORDER BY version, id");
  s.Bind(1, after);
  out->clear();
  bool ok = v.Step();
  *latest = v.Int(0);
  while (ok && s.Step()) {
    RouteRecord r;
    r.id = s.Int(0);
    r.addr = s.Text(1);
    r.mask = s.Text(2);
    r.cidr = static_cast<int>(s.Int(3));
    r.app_id = static_cast<int>(s.Int(4));
    r.status = static_cast<int>(s.Int(5));
    r.version = s.Int(6);
    out->push_back(std::move(r));
  }
  db->Execute("COMMIT");
  return ok && !s.failed() ? StoreResult::kOk : StoreResult::kError;
}

StoreResult CatalogStore::PublishRoutes(const std::vector<RouteChange>& changes,
                                        const std::string& note,
                                        int64_t now,
                                        int64_t* version,
                                        std::string* error) {
  if (changes.empty()) {
    *error = "an increment needs at least one change";
    return StoreResult::kRejected;
  }
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  db->Execute("PRAGMA synchronous = NORMAL");
  Transaction txn(db.get());
  if (!txn.ok())
    return StoreResult::kError;
  Statement latest(db.get(), "SELECT COALESCE(MAX(version), 0) + 1 FROM route_versions");
  if (!latest.Step())
    return StoreResult::kError;
  int64_t next = latest.Int(0);
  Statement add(db.get(),
                "INSERT INTO routes(addr, mask, cidr, app_id, status, version) "
                "VALUES(?,?,?,?,1,?)");
  Statement change(db.get(),
                   "UPDATE routes SET addr = ?, mask = ?, cidr = ?, app_id = ?, "
                   "status = 1, version = ? WHERE id = ?");
  Statement off(db.get(), "UPDATE routes SET status = 0, version = ? WHERE id = ?");
  for (size_t i = 0; i < changes.size(); ++i) {
    const RouteChange& c = changes[i];
    std::string addr, mask;
    int cidr = 0;
    if (c.kind != RouteChange::kDeactivate &&
        !ParseCidr(c.addr + "/" + std::to_string(c.cidr), &addr, &mask, &cidr)) {
      *error = "change " + std::to_string(i + 1) + ": bad address " + c.addr;
      return StoreResult::kRejected;
    }
    Statement* s = nullptr;
    if (c.kind == RouteChange::kAdd) {
      s = &add;
      s->Reset();
      s->Bind(1, addr).Bind(2, mask).Bind(3, cidr).Bind(4, c.app_id).Bind(5, next);
    } else if (c.kind == RouteChange::kChange) {
      s = &change;
      s->Reset();
      s->Bind(1, addr).Bind(2, mask).Bind(3, cidr).Bind(4, c.app_id).Bind(5, next).Bind(6, c.id);
    } else {
      s = &off;
      s->Reset();
      s->Bind(1, next).Bind(2, c.id);
    }
    if (!s->Run())
      return StoreResult::kError;
    if (c.kind != RouteChange::kAdd && db->Changes() == 0) {
      *error = "change " + std::to_string(i + 1) + ": no route with id " + std::to_string(c.id);
      return StoreResult::kRejected;
    }
  }
  Statement record(db.get(), "INSERT INTO route_versions VALUES(?,?,?)");
  record.Bind(1, next).Bind(2, now).Bind(3, note);
  if (!record.Run() || !txn.Commit())
    return StoreResult::kError;
  *version = next;
  return StoreResult::kOk;
}

StoreResult CatalogStore::LatestVersion(VersionRecord* out) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(),
              "SELECT version, must, details, info FROM versions ORDER BY id DESC LIMIT 1");
  if (!s.Step())
    return s.failed() ? StoreResult::kError : StoreResult::kNotFound;
  out->version = s.Text(0);
  out->must = static_cast<int>(s.Int(1));
  out->details = s.Text(2);
  out->info = s.Text(3);
  return StoreResult::kOk;
}

StoreResult CatalogStore::PublishVersion(const VersionRecord& record, int64_t now) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(),
              "INSERT INTO versions(version, must, details, info, published_at) "
              "VALUES(?,?,?,?,?)");
  s.Bind(1, record.version)
      .Bind(2, record.must)
      .Bind(3, record.details)
      .Bind(4, record.info)
      .Bind(5, now);
  return s.Run() ? StoreResult::kOk : StoreResult::kError;
}

StoreResult CatalogStore::CurrentNotice(int64_t now, NoticeRecord* out) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(),
              "SELECT id, title, text, url, timestamp, deadline FROM notices "
              "WHERE timestamp <= ?1 AND (deadline = 0 OR deadline > ?1) "
              "ORDER BY id DESC LIMIT 1");
  s.Bind(1, now);
  if (!s.Step())
    return s.failed() ? StoreResult::kError : StoreResult::kNotFound;
  out->id = s.Int(0);
  out->title = s.Text(1);
  out->text = s.Text(2);
  out->url = s.Text(3);
  out->timestamp = s.Int(4);
  out->deadline = s.Int(5);
  return StoreResult::kOk;
}

StoreResult CatalogStore::PublishNotice(const NoticeRecord& record, int64_t* id) {
  auto db = OpenDb(db_path_);
  if (!db)
    return StoreResult::kError;
  Statement s(db.get(),
              "INSERT INTO notices(title, text, url, timestamp, deadline) VALUES(?,?,?,?,?)");
  s.Bind(1, record.title)
      .Bind(2, record.text)
      .Bind(3, record.url)
      .Bind(4, record.timestamp)
      .Bind(5, record.deadline);
  if (!s.Run())
    return StoreResult::kError;
  *id = db->LastInsertId();
  return StoreResult::kOk;
}

}  // namespace tern
