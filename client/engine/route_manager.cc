#include "client/engine/route_manager.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>

#include "base/logging.h"
#include "client/config/config_paths.h"
#include "client/config/profile_store.h"
#include "client/system/os_info.h"
#include "client/system/process_runner.h"
#include "win32/code_page.h"

const char kRouteDatabaseKey[] = "Mn4qWz8rTp2xBv6k";

namespace {

const char kDefaultGateway[] = "192.168.1.1";

// Config numbers are decimal text; empty or non-numeric text reads as 0.
int ParseInt(const std::string& text) {
  long long value = strtoll(text.c_str(), nullptr, 10);
  if (value > INT32_MAX || value < INT32_MIN)
    return 0;
  return static_cast<int>(value);
}

// A node address goes onto a route command line: anything but a plain host
// name or dotted address could smuggle in further arguments.
bool IsSafeHostText(const std::string& text) {
  if (text.empty() || text.size() > 253)
    return false;
  for (char c : text) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '-';
    if (!ok)
      return false;
  }
  return text[0] != '-';
}

RouteRow ToRow(const RouteEntry& entry) {
  RouteRow row;
  row.id = entry.id;
  row.ip_address = entry.addr;
  row.mask = entry.mask;
  row.game_id = entry.app_id;
  row.route_status = entry.status;
  row.cidr = entry.cidr;
  return row;
}

RouteManager::Environment ClientEnvironment() {
  RouteManager::Environment environment;
  environment.read_config = [](const std::string& section, const std::string& key) {
    return win32::WideToAnsi(ReadProfileString(win32::AnsiToWide(section), win32::AnsiToWide(key),
                                               L"", 100, GetConfigPath(), true));
  };
  environment.write_config = [](const std::string& section, const std::string& key,
                                const std::string& value) {
    WriteProfileString(win32::AnsiToWide(section), win32::AnsiToWide(key), win32::AnsiToWide(value),
                       GetConfigPath(), true);
  };
  environment.run_command = &RunCommand;
  environment.default_gateway = &GetDefaultGateway;
  environment.now = [] { return static_cast<int64_t>(time(nullptr)); };
  return environment;
}

// Built in the ANSI code page, as the file has always been named, then
// handed to SQLite as UTF-8.
std::string ClientDatabasePath() {
  std::string ansi = win32::WideToAnsi(GetModuleDirectory() + L"/kelvo.db");
  return win32::WideToUtf8(win32::AnsiToWide(ansi));
}

}  // namespace

RouteManager* RouteManager::GetInstance() {
  static RouteManager* instance = new RouteManager(ClientDatabasePath(), ClientEnvironment());
  return instance;
}

bool RouteDataIsStale(bool database_readable, int64_t created, int64_t now) {
  if (!database_readable)
    return true;
  return (now - created) / 86400 > 6;
}

RouteManager::RouteManager(std::string database_path, Environment environment)
    : database_(std::move(database_path), kRouteDatabaseKey), environment_(std::move(environment)) {
  printf("data base path is: %s\n", database_.path().c_str());
}

int RouteManager::ReadIntConfig(const char* section, const char* key) {
  return ParseInt(environment_.read_config(section, key));
}

int RouteManager::CreateRouteTable() {
  RouteDbResult result = database_.CreateTable();
  if (result.stage == RouteDbResult::kOpen) {
    LOG(ERROR) << "Route table, open sqlite failed: " << result.message;
    return result.code;
  }
  if (!result.ok()) {
    fprintf(stderr, "SQL error: %s\n", result.message.c_str());
    LOG(ERROR) << "SQL error: " << result.message;
  } else {
    printf("smart table created successfully\n");
  }
  return result.code;
}

void RouteManager::SyncRouteTable(CServiceBridgeVirtual* service) {
  int local = ReadIntConfig("route_version", "version");
  if (local == 0) {
    environment_.write_config("route_create_time", "timestamp", std::to_string(environment_.now()));
  }
  for (;;) {
    int latest = local;
    std::vector<RouteEntry> batch = service->syncRouteTable(latest, local);
    if (local >= latest || batch.empty())
      return;
    if (!ApplyRouteIncrement(batch)) {
      // The service library has already recorded this batch's version; put
      // the old one back so the batch is fetched again next time.
      environment_.write_config("route_version", "version", std::to_string(local));
      return;
    }
    int next = ReadIntConfig("route_version", "version");
    if (next <= local) {
      // Without progress the same batch would be fetched forever.
      LOG(ERROR) << "route version did not advance past " << local << ", sync stopped";
      return;
    }
    local = next;
  }
}

bool RouteManager::ApplyRouteIncrement(const std::vector<RouteEntry>& entries) {
  std::vector<RouteRow> rows;
  rows.reserve(entries.size());
  for (const RouteEntry& entry : entries)
    rows.push_back(ToRow(entry));
  RouteDbResult result = database_.ApplyBatch(rows);
  if (result.stage == RouteDbResult::kOpen) {
    LOG(ERROR) << "Route table, open sqlite failed: " << result.message;
    return false;
  }
  if (!result.ok()) {
    fprintf(stderr, "SQL error: %s\n", result.message.c_str());
    LOG(ERROR) << "SQL error: " << result.message;
    return false;
  }
  printf("Records created successfully\n");
  return true;
}

std::string RouteManager::GetActiveRoutes() {
  std::string text;
  RouteDbResult result = database_.AppendActiveRoutes(&text);
  if (result.stage == RouteDbResult::kOpen) {
    LOG(ERROR) << "open database failed: " << result.message;
    return std::string();
  }
  if (result.ok()) {
    printf("sqlite done.\n");
  } else {
    fprintf(stderr, "Failed.\n");
    LOG(ERROR) << "Error: sqlite failed.";
  }
  return text;
}

void RouteManager::AddNodeHostRoutes(const std::vector<NodeInfo>& nodes) {
  std::string gateway = environment_.default_gateway();
  if (gateway.empty() || gateway == "0.0.0.0") {
    LOG(INFO) << "get default gateway failed";
    gateway = kDefaultGateway;
  }
  for (const NodeInfo& node : nodes) {
    if (!IsSafeHostText(node.addr_ip)) {
      LOG(ERROR) << "node address refused for a host route: " << node.addr_ip;
      continue;
    }
    environment_.run_command("ROUTE DELETE " + node.addr_ip);
    environment_.run_command("ROUTE ADD " + node.addr_ip + " MASK 255.255.255.255 " + gateway +
                             " METRIC 2 ");
  }
}

void RouteManager::ResetVersionIfStale() {
  // 64-bit seconds; empty or non-numeric text reads as 0.
  int64_t created =
      strtoll(environment_.read_config("route_create_time", "timestamp").c_str(), nullptr, 10);
  if (RouteDataIsStale(database_.IsReadable(), created, environment_.now()))
    environment_.write_config("route_version", "version", "0");
}
