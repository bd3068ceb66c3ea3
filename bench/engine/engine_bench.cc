// Route database and node probing costs:
//   engine_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <sqlcipher/sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "client/engine/node_fetch.h"
#include "client/engine/prober.h"
#include "client/engine/route_manager.h"
#include "client/sqlite/route_database.h"

namespace {

constexpr int kRows = 100000;

std::string TempDir() {
  char pattern[] = "/tmp/engine_bench.XXXXXX";
  return mkdtemp(pattern) ? pattern : "/tmp";
}

std::vector<RouteRow> Rows(int status) {
  std::vector<RouteRow> rows;
  rows.reserve(kRows);
  for (int i = 0; i < kRows; ++i) {
    RouteRow row;
    row.id = i + 1;
    row.ip_address = "10." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256) + ".0";
    row.mask = "255.255.255.0";
    row.game_id = i % 50;
    row.route_status = status;
    row.cidr = 24;
    rows.push_back(row);
  }
  return rows;
}

void BM_ApplyFreshBatch(benchmark::State& state) {
  std::vector<RouteRow> rows = Rows(1);
  for (auto _ : state) {
    state.PauseTiming();
    std::string dir = TempDir();
    RouteDatabase db(dir + "/kelvo.db", kRouteDatabaseKey);
    db.CreateTable();
    state.ResumeTiming();
    if (!db.ApplyBatch(rows).ok())
      state.SkipWithError("apply failed");
    state.PauseTiming();
    std::filesystem::remove_all(dir);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ApplyFreshBatch)->Unit(benchmark::kMillisecond)->Iterations(3);

// Every entry replaces a stored row: insert, constraint, delete, insert.
void BM_ApplyReplacingBatch(benchmark::State& state) {
  std::string dir = TempDir();
  RouteDatabase db(dir + "/kelvo.db", kRouteDatabaseKey);
  db.CreateTable();
  db.ApplyBatch(Rows(1));
  std::vector<RouteRow> rows = Rows(0);
  for (auto _ : state) {
    if (!db.ApplyBatch(rows).ok())
      state.SkipWithError("apply failed");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ApplyReplacingBatch)->Unit(benchmark::kMillisecond)->Iterations(3);

// Anchor for the two above: the same algorithm written straight against
// SQLCipher (one passphrase open, prepared insert and delete, one
// transaction).
void BM_RawPreparedReplaceLoop(benchmark::State& state) {
  std::string dir = TempDir();
  std::string path = dir + "/kelvo.db";
  RouteDatabase(path, kRouteDatabaseKey).CreateTable();
  RouteDatabase(path, kRouteDatabaseKey).ApplyBatch(Rows(1));
  std::vector<RouteRow> rows = Rows(0);
  for (auto _ : state) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_key(db, kRouteDatabaseKey, 16);
    sqlite3_exec(db, "PRAGMA synchronous = OFF; begin;", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_stmt* remove = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO SMART_ROUTE VALUES(?,?,?,?,?,?)", -1, &insert, nullptr);
    sqlite3_prepare_v2(db, "DELETE FROM SMART_ROUTE WHERE ID = ?", -1, &remove, nullptr);
    for (const RouteRow& row : rows) {
      for (int attempt = 0; attempt < 2; ++attempt) {
        sqlite3_reset(insert);
        sqlite3_bind_int(insert, 1, row.id);
        sqlite3_bind_text(insert, 2, row.ip_address.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 3, row.mask.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_int(insert, 4, row.game_id);
        sqlite3_bind_int(insert, 5, row.route_status);
        sqlite3_bind_int(insert, 6, row.cidr);
        if (sqlite3_step(insert) == SQLITE_DONE)
          break;
        sqlite3_reset(remove);
        sqlite3_bind_int(remove, 1, row.id);
        sqlite3_step(remove);
      }
    }
    sqlite3_finalize(insert);
    sqlite3_finalize(remove);
    if (sqlite3_exec(db, "commit;", nullptr, nullptr, nullptr) != SQLITE_OK)
      state.SkipWithError("commit failed");
    sqlite3_close(db);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_RawPreparedReplaceLoop)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ActiveRouteText(benchmark::State& state) {
  std::string dir = TempDir();
  RouteDatabase db(dir + "/kelvo.db", kRouteDatabaseKey);
  db.CreateTable();
  db.ApplyBatch(Rows(1));
  size_t bytes = 0;
  for (auto _ : state) {
    std::string text;
    if (!db.AppendActiveRoutes(&text).ok())
      state.SkipWithError("read failed");
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["text_bytes"] = static_cast<double>(bytes);
  state.SetItemsProcessed(state.iterations() * kRows);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ActiveRouteText)->Unit(benchmark::kMillisecond)->Iterations(5);

// Open, key and first read of an existing database (the key derivation is
// the bulk of it).
void BM_OpenAndKey(benchmark::State& state) {
  std::string dir = TempDir();
  RouteDatabase db(dir + "/kelvo.db", kRouteDatabaseKey);
  db.CreateTable();
  for (auto _ : state)
    benchmark::DoNotOptimize(db.IsReadable());
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_OpenAndKey)->Unit(benchmark::kMillisecond);

// Anchor: a raw SQLCipher open keyed with the passphrase and the same read.
void BM_RawPassphraseOpen(benchmark::State& state) {
  std::string dir = TempDir();
  std::string path = dir + "/kelvo.db";
  RouteDatabase(path, kRouteDatabaseKey).CreateTable();
  for (auto _ : state) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_key(db, kRouteDatabaseKey, 16);
    if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr) !=
        SQLITE_OK)
      state.SkipWithError("read failed");
    sqlite3_close(db);
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_RawPassphraseOpen)->Unit(benchmark::kMillisecond);

class NullService : public CServiceBridgeVirtual {
 public:
  std::vector<NodeInfo> nodes;
  std::vector<NodeInfo> assignNodes(std::string) override { return nodes; }
  std::vector<RouteEntry> syncRouteTable(int&, int) override { return {}; }
  RegisterResult registerAccount(std::string, std::string, std::string) override { return {}; }
  LoginResult loginAccount(std::string, std::string, std::string) override { return {}; }
  ResetResult resetPassword(std::string, std::string, std::string) override { return {}; }
  UpgradeInfo checkUpgrade() override { return {}; }
  MemberInfo getMemberInfo() override { return {}; }
  InterimInfo refreshInterim() override { return {}; }
  CaptchaResult sendCaptcha(std::string) override { return {}; }
  DnsServerInfo pullDnsServer(std::string) override { return {}; }
  WechatOrder createWechatOrder(std::string) override { return {}; }
  int queryPayStatus(std::string) override { return 0; }
  std::map<std::string, GoodsItem> getGoodsInfo() override { return {}; }
  NoticeInfo getNoticePopup() override { return {}; }
  int64_t currentTimeMillis() override { return 0; }
  int setExtraInfo1(const char*) override { return 0; }
  int setExtraInfo2(const char*) override { return 0; }
  void initialize(std::string) override {}
  int setDeviceInfo(const char*) override { return 0; }
  std::string getPublicKey() override { return {}; }
};

void BM_ProbeOneLoopbackNode(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(Probe("127.0.0.1", ""));
}
BENCHMARK(BM_ProbeOneLoopbackNode)->Unit(benchmark::kMicrosecond);

// The whole fetch of 20 loopback nodes (host routes are not run here).
void BM_FetchTwentyLoopbackNodes(benchmark::State& state) {
  NullService service;
  for (int i = 0; i < 20; ++i) {
    NodeInfo node;
    node.name_cn = "节点" + std::to_string(i);
    node.addr_ip = "127.0.0." + std::to_string(10 + i);
    service.nodes.push_back(node);
  }
  RouteManager::Environment environment;
  environment.read_config = [](const std::string&, const std::string&) { return std::string(); };
  environment.write_config = [](const std::string&, const std::string&, const std::string&) {};
  environment.run_command = [](const std::string&) { return std::string(); };
  environment.default_gateway = [] { return std::string("10.0.0.1"); };
  environment.now = [] { return int64_t{0}; };
  RouteManager routes("/tmp/engine_bench_unused.db", environment);
  std::vector<NodeEntry> nodes;
  for (auto _ : state)
    FetchNodeList(&service, &routes, "", &nodes, &Probe);
}
BENCHMARK(BM_FetchTwentyLoopbackNodes)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
