#include "server/service_schema.h"

#include "server/service_database.h"

namespace tern {
namespace {

constexpr char kSchema[] = R"sql(
CREATE TABLE IF NOT EXISTS settings(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS accounts(
  id INTEGER PRIMARY KEY, number TEXT NOT NULL UNIQUE, nickname TEXT NOT NULL,
  uuid TEXT NOT NULL UNIQUE, password_hash TEXT NOT NULL,
  deadline INTEGER NOT NULL DEFAULT 0, failed_signins INTEGER NOT NULL DEFAULT 0,
  suspicious INTEGER NOT NULL DEFAULT 0, token_epoch INTEGER NOT NULL DEFAULT 0,
  created_at INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS sms_codes(
  id INTEGER PRIMARY KEY, number TEXT NOT NULL, code TEXT NOT NULL,
  issued_at INTEGER NOT NULL, attempts INTEGER NOT NULL DEFAULT 0,
  used INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS sms_codes_by_number ON sms_codes(number, issued_at);
CREATE TABLE IF NOT EXISTS interims(
  id INTEGER PRIMARY KEY, account_id INTEGER NOT NULL REFERENCES accounts(id),
  interim TEXT NOT NULL UNIQUE, issued_at INTEGER NOT NULL);
-- Whatever retires an account's tokens (a new password) retires its tunnel
-- credentials with them, in the same write.
CREATE TRIGGER IF NOT EXISTS interims_follow_epoch AFTER UPDATE OF token_epoch ON accounts
  WHEN NEW.token_epoch != OLD.token_epoch
  BEGIN DELETE FROM interims WHERE account_id = NEW.id; END;
CREATE TABLE IF NOT EXISTS nodes(
  id INTEGER PRIMARY KEY, region TEXT NOT NULL, direct INTEGER NOT NULL,
  name_cn TEXT NOT NULL, addr_ip TEXT NOT NULL, icmp TEXT NOT NULL,
  delay INTEGER NOT NULL, loss REAL NOT NULL, protocols INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS name_servers(region TEXT PRIMARY KEY, dns TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS route_versions(
  version INTEGER PRIMARY KEY, created_at INTEGER NOT NULL, note TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS routes(
  id INTEGER PRIMARY KEY, addr TEXT NOT NULL, mask TEXT NOT NULL, cidr INTEGER NOT NULL,
  app_id INTEGER NOT NULL, status INTEGER NOT NULL, version INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS routes_by_version ON routes(version, id);
CREATE TABLE IF NOT EXISTS versions(
  id INTEGER PRIMARY KEY, version TEXT NOT NULL, must INTEGER NOT NULL,
  details TEXT NOT NULL, info TEXT NOT NULL, published_at INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS goods(
  name TEXT PRIMARY KEY, describe TEXT NOT NULL, favorable INTEGER NOT NULL,
  handsel INTEGER NOT NULL, payable INTEGER NOT NULL, payment INTEGER NOT NULL,
  days INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS orders(
  trade_no TEXT PRIMARY KEY, account_id INTEGER NOT NULL REFERENCES accounts(id),
  goods TEXT NOT NULL, amount INTEGER NOT NULL, days INTEGER NOT NULL,
  qr_url TEXT NOT NULL, status INTEGER NOT NULL, created_at INTEGER NOT NULL,
  paid_at INTEGER);
CREATE TABLE IF NOT EXISTS notices(
  id INTEGER PRIMARY KEY, title TEXT NOT NULL, text TEXT NOT NULL, url TEXT NOT NULL,
  timestamp INTEGER NOT NULL, deadline INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS sessions(
  id INTEGER PRIMARY KEY, account_id INTEGER NOT NULL, number TEXT NOT NULL,
  node TEXT NOT NULL, protocol INTEGER NOT NULL, route_count INTEGER NOT NULL,
  started_at INTEGER NOT NULL, last_seen INTEGER NOT NULL, ended_at INTEGER,
  state TEXT NOT NULL, end_reason TEXT NOT NULL DEFAULT '');
CREATE INDEX IF NOT EXISTS sessions_by_state ON sessions(state);
CREATE TABLE IF NOT EXISTS dials(account_id INTEGER PRIMARY KEY, last_accepted_ms INTEGER NOT NULL);
)sql";

struct SeedNode {
  const char* region;
  int direct;
  const char* name;
  const char* addr;
  int delay;
};

// Every relay node sits on a loopback address; the relay listens on each.
constexpr SeedNode kNodes[] = {
    {"AUTO", 0, "智能线路01", "127.0.0.2", 30},   {"AUTO", 0, "智能线路02", "127.0.0.3", 42},
    {"SEA", 0, "新加坡01", "127.0.0.4", 48},      {"SEA", 0, "吉隆坡01", "127.0.0.5", 61},
    {"SEA", 1, "新加坡直连01", "127.0.0.6", 39},  {"EA", 0, "首尔01", "127.0.0.7", 35},
    {"EA", 0, "东京01", "127.0.0.8", 44},         {"EA", 1, "首尔直连01", "127.0.0.9", 33},
    {"NA", 0, "洛杉矶01", "127.0.0.10", 150},     {"NA", 0, "硅谷01", "127.0.0.11", 162},
    {"NA", 1, "洛杉矶直连01", "127.0.0.12", 141}, {"EUR", 0, "法兰克福01", "127.0.0.13", 190},
    {"EUR", 0, "伦敦01", "127.0.0.14", 201},      {"EUR", 1, "法兰克福直连01", "127.0.0.15", 185},
};

struct SeedNameServers {
  const char* region;
  const char* dns;
};
constexpr SeedNameServers kNameServers[] = {
    {"AUTO", "127.0.0.53,127.0.0.54"}, {"SEA", "127.0.1.53,127.0.1.54"},
    {"EA", "127.0.2.53,127.0.2.54"},   {"NA", "127.0.3.53,127.0.3.54"},
    {"EUR", "127.0.4.53,127.0.4.54"},
};

struct SeedGoods {
  const char* name;
  const char* describe;
  int favorable, handsel, payable, payment, days;
};
constexpr SeedGoods kGoods[] = {
    {"monthly", "包月会员：全部区域节点，30天不限时加速", 0, 0, 3000, 3000, 30},
    {"season", "包季会员：全部区域节点，90天不限时加速", 1, 7, 9000, 7800, 90},
    {"yearly", "包年会员：全部区域节点，365天不限时加速", 1, 30, 36000, 26800, 365},
};

constexpr int kSeedRouteCount = 320;

bool Seed(Database* db, int64_t now) {
  Statement node(db,
                 "INSERT INTO nodes(region, direct, name_cn, addr_ip, icmp, delay, loss, "
                 "protocols) VALUES(?,?,?,?,?,?,?,31)");
  for (const SeedNode& n : kNodes) {
    node.Reset();
    node.Bind(1, n.region)
        .Bind(2, n.direct)
        .Bind(3, n.name)
        .Bind(4, n.addr)
        .Bind(5, n.addr)
        .Bind(6, n.delay)
        .Bind(7, 0);
    if (!node.Run())
      return false;
  }
  Statement dns(db, "INSERT INTO name_servers(region, dns) VALUES(?,?)");
  for (const SeedNameServers& s : kNameServers) {
    dns.Reset();
    dns.Bind(1, s.region).Bind(2, s.dns);
    if (!dns.Run())
      return false;
  }
  Statement goods(db, "INSERT INTO goods VALUES(?,?,?,?,?,?,?)");
  for (const SeedGoods& g : kGoods) {
    goods.Reset();
    goods.Bind(1, g.name)
        .Bind(2, g.describe)
        .Bind(3, g.favorable)
        .Bind(4, g.handsel)
        .Bind(5, g.payable)
        .Bind(6, g.payment)
        .Bind(7, g.days);
    if (!goods.Run())
      return false;
  }
  // Version 1 adds the ranges; version 2 moves a few and switches a few off,
  // so a client starting from 0 or 1 sees all three kinds of change.
  Statement version(db, "INSERT INTO route_versions VALUES(?,?,?)");
  version.Bind(1, 1).Bind(2, now).Bind(3, "initial game ranges");
  if (!version.Run())
    return false;
  version.Reset();
  version.Bind(1, 2).Bind(2, now).Bind(3, "moved and retired ranges");
  if (!version.Run())
    return false;
  Statement route(db, "INSERT INTO routes VALUES(?,?,'255.255.255.0',24,?,?,?)");
  for (int i = 1; i <= kSeedRouteCount; ++i) {
    int third = i % 256;
    int second = 100 + i / 256;
    bool moved = i % 40 == 0;
    bool retired = i % 40 == 20;
    std::string addr = "43." + std::to_string(second) + "." + std::to_string(third) + ".0";
    if (moved) {
      addr = "45." + std::to_string(second) + "." + std::to_string(third) + ".0";
    }
    route.Reset();
    route.Bind(1, i)
        .Bind(2, addr)
        .Bind(3, 1 + i % 5)
        .Bind(4, retired ? 0 : 1)
        .Bind(5, moved || retired ? 2 : 1);
    if (!route.Run())
      return false;
  }
  Statement v(db,
              "INSERT INTO versions(version, must, details, info, published_at) "
              "VALUES(?,0,?,?,?)");
  v.Bind(1, kSeedClientVersion).Bind(2, "当前为最新版本").Bind(3, "已是最新版本").Bind(4, now);
  if (!v.Run())
    return false;
  Statement notice(db,
                   "INSERT INTO notices(title, text, url, timestamp, deadline) "
                   "VALUES(?,?,?,?,0)");
  notice.Bind(1, "欢迎使用Tern智能加速器")
      .Bind(2, "新用户注册即可体验全部区域节点，祝您游戏愉快！")
      .Bind(3, "https://127.0.0.1:8443/notice/welcome")
      .Bind(4, now);
  if (!notice.Run())
    return false;
  Statement mark(db, "INSERT INTO settings VALUES('seeded', '1')");
  return mark.Run();
}

}  // namespace

bool InitializeSchema(Database* db, int64_t now, std::string* error) {
  Transaction txn(db);
  if (!txn.ok() || !db->Execute(kSchema)) {
    *error = "cannot create the tables: " + db->LastError();
    return false;
  }
  Statement seeded(db, "SELECT value FROM settings WHERE key = 'seeded'");
  if (!seeded.Step()) {
    if (seeded.failed() || !Seed(db, now)) {
      *error = "cannot seed the store: " + db->LastError();
      return false;
    }
  }
  if (!txn.Commit()) {
    *error = "cannot commit the schema: " + db->LastError();
    return false;
  }
  return true;
}

}  // namespace tern
