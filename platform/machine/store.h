// The machine store: the emulated parts of Windows, kept in one SQLite file
// (`machine.db`, opened through libsqlcipher without a key) under the machine
// root (see machine_root.h). Every emulation (registry, services, firewall,
// adapters, routes, restart requests, the command-line tools) reads and writes
// here, so that separate processes see one machine.
//
// Usage:
//   std::unique_ptr<machine::Store> store;
//   if (machine::Store::Open(&store) != machine::Status::kOk) ...
//   machine::Store::Transaction txn(store.get());   // optional, BEGIN IMMEDIATE
//   store->PutService(...);
//   txn.Commit();                                    // rolled back otherwise
//
// A Store object is one database connection and belongs to the thread that
// opened it; open one per operation (cheap) or per thread. Several threads and
// processes may use the file at once: WAL journal, a busy time-out, and
// retries on SQLITE_BUSY. The root is looked up on every Open(), so changing
// TERN_MACHINE_ROOT takes effect for the next Open().
//
// Texts are UTF-8. Names that Windows compares without regard to case
// (registry paths and value names, service names) are matched through
// FoldCase() and stored with the case of their first writer.
#ifndef MACHINE_STORE_H_
#define MACHINE_STORE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace machine {

enum class Status {
  kOk,
  kNotFound,         // the key / value / row does not exist
  kExists,           // a row with that identity exists already
  kHasChildren,      // a registry key still has subkeys
  kInvalidArgument,  // empty or malformed name, path or field
  kBusy,             // the database stayed locked past the time-out
  kError,            // the database could not be opened or written
};

const char* StatusName(Status status);

// Registry views. Only HKEY_LOCAL_MACHINE\SOFTWARE and below differ between
// the 32- and 64-bit views, as on 64-bit Windows; everything else is shared
// whatever view is asked for.
enum class RegistryView { k32 = 32, k64 = 64 };

// The hive names: "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
// "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_CONFIG", ...
// Key paths are relative to the hive, separated by "\"; leading, trailing and
// doubled separators are ignored. The hive itself ("" path) always exists.
struct RegistryValue {
  std::string name;   // "" is the key's default value
  uint32_t type = 0;  // REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4, ...
  // REG_SZ / REG_EXPAND_SZ: UTF-8 text without a terminating 0; REG_MULTI_SZ:
  // UTF-8 strings each ended by a 0 byte; REG_DWORD: 4 bytes little-endian;
  // REG_QWORD: 8 bytes little-endian; others: the bytes as given.
  std::vector<uint8_t> data;
};

// Services, with the Windows numbers for state and start type.
enum ServiceState : uint32_t {
  kServiceStopped = 1,
  kServiceStartPending = 2,
  kServiceStopPending = 3,
  kServiceRunning = 4,
};
enum ServiceStartType : uint32_t {
  kServiceAutoStart = 2,
  kServiceDemandStart = 3,
  kServiceDisabled = 4,
};
// What happens when the service is asked to start.
enum class ServiceStartBehaviour {
  kAtOnce = 0,         // running immediately
  kAfterWaitHint = 1,  // start pending until wait_hint_ms have passed, then running
  kFail = 2,           // the start fails; the service stays stopped
  kMissing = 3,        // behaves as if the service did not exist
};
struct ServiceRecord {
  std::string name;  // key name, case-insensitive
  std::string display_name;
  uint32_t state = kServiceStopped;
  uint32_t start_type = kServiceDemandStart;
  uint32_t wait_hint_ms = 0;
  ServiceStartBehaviour on_start = ServiceStartBehaviour::kAtOnce;
  int64_t pending_since_ms = 0;  // wall clock (ms since 1970) when a pending state began
};

// Firewall rules, shaped like INetFwRule. Numbers are the Windows ones
// (direction 1 in / 2 out, action 0 block / 1 allow, protocol 6 TCP / 17 UDP
// / 256 any, profiles bit mask).
struct FirewallRule {
  int64_t id = 0;  // assigned by AddFirewallRule
  std::string name;
  std::string description;
  std::string application_name;
  std::string service_name;
  std::string grouping;
  std::string local_ports;
  std::string remote_ports;
  std::string local_addresses;
  std::string remote_addresses;
  std::string interface_types;
  int32_t protocol = 256;
  int32_t direction = 1;
  int32_t action = 1;
  int32_t profiles = 0x7FFFFFFF;
  bool enabled = true;
};

// Emulated network adapters (the TAP adapter, or a whole list that replaces
// the host's interfaces when the override flag is set).
struct AdapterRecord {
  int64_t id = 0;    // assigned by AddAdapter; also the adapter index
  std::string name;  // e.g. "tap0901" or a GUID text
  std::string description;
  std::string mac;        // "00-FF-12-34-56-78"
  std::string addresses;  // "ip/mask" entries separated by ";", e.g. "10.8.0.2/255.255.255.0"
  std::string gateway;    // dotted address or ""
  uint32_t type = 6;      // MIB_IF_TYPE_ETHERNET
};

// The emulated IPv4 route table, as route.exe shows it.
struct RouteRecord {
  int64_t id = 0;
  std::string destination;
  std::string mask;
  std::string gateway;
  int32_t metric = 1;
  std::string interface_address;  // the interface's own address, "" when unknown
};

// A request to restart or shut down the machine; the host is never restarted.
struct RestartRequest {
  int64_t id = 0;
  int64_t time_ms = 0;  // wall clock
  std::string kind;     // e.g. "reboot", "shutdown"
  std::string reason;
};

// One line of the tools' effects log ("ipconfig /flushdns", "net start X").
struct EffectRecord {
  int64_t id = 0;
  int64_t time_ms = 0;
  std::string tool;
  std::string text;
};

class Store {
 public:
  // Opens (creating when needed) machine.db under the current machine root.
  static Status Open(std::unique_ptr<Store>* out);
  // Opens a store file at an explicit path.
  static Status OpenPath(const std::string& path, std::unique_ptr<Store>* out);

  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  const std::string& path() const { return path_; }

  // BEGIN IMMEDIATE ... COMMIT; rolls back unless committed. Nested
  // transactions are not supported: a second one on the same Store fails.
  class Transaction {
   public:
    explicit Transaction(Store* store);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    Status status() const { return status_; }  // of BEGIN
    Status Commit();

   private:
    Store* store_;
    Status status_;
    bool open_ = false;
  };

  // ---- Registry ----
  // Creates the key and any missing parents. *created (optional) tells
  // whether the key itself was new.
  Status CreateRegistryKey(std::string_view hive,
                           RegistryView view,
                           std::string_view path,
                           bool* created);
  Status RegistryKeyExists(std::string_view hive, RegistryView view, std::string_view path);
  // Deletes a key without subkeys, with its values. kHasChildren otherwise;
  // the hive itself cannot be deleted (kInvalidArgument).
  Status DeleteRegistryKey(std::string_view hive, RegistryView view, std::string_view path);
  // kNotFound when the key does not exist.
  Status SetRegistryValue(std::string_view hive,
                          RegistryView view,
                          std::string_view path,
                          const RegistryValue& value);
  Status GetRegistryValue(std::string_view hive,
                          RegistryView view,
                          std::string_view path,
                          std::string_view name,
                          RegistryValue* out);
  Status DeleteRegistryValue(std::string_view hive,
                             RegistryView view,
                             std::string_view path,
                             std::string_view name);
  // Names (as first written) in name order.
  Status ListRegistrySubkeys(std::string_view hive,
                             RegistryView view,
                             std::string_view path,
                             std::vector<std::string>* names);
  Status ListRegistryValues(std::string_view hive,
                            RegistryView view,
                            std::string_view path,
                            std::vector<RegistryValue>* values);

  // ---- Services ----
  Status PutService(const ServiceRecord& service);  // insert or replace
  Status GetService(std::string_view name, ServiceRecord* out);
  Status ListServices(std::vector<ServiceRecord>* out);
  Status DeleteService(std::string_view name);

  // ---- Firewall rules (several rules may share a name, as on Windows) ----
  Status AddFirewallRule(const FirewallRule& rule, int64_t* id);
  Status UpdateFirewallRule(const FirewallRule& rule);       // by rule.id
  Status ListFirewallRules(std::vector<FirewallRule>* out);  // in id order
  Status FindFirewallRules(std::string_view name, std::vector<FirewallRule>* out);
  Status RemoveFirewallRule(int64_t id);

  // ---- Adapters ----
  Status AddAdapter(const AdapterRecord& adapter, int64_t* id);
  Status ListAdapters(std::vector<AdapterRecord>* out);
  Status RemoveAdapter(int64_t id);
  Status RemoveAdaptersNamed(std::string_view name, int* removed);
  // When set, the adapter table is the whole adapter list and the host's
  // interfaces are hidden (for tests).
  Status SetAdapterOverride(bool on);
  Status GetAdapterOverride(bool* on);

  // ---- Routes ----
  // kExists when an identical destination/mask/gateway route is present.
  Status AddRoute(const RouteRecord& route, int64_t* id);
  // Removes every route to the destination ("" mask = any mask).
  Status DeleteRoutes(std::string_view destination, std::string_view mask, int* removed);
  Status ListRoutes(std::vector<RouteRecord>* out);  // in id order

  // ---- Restart requests, counters, effects log ----
  Status AddRestartRequest(const RestartRequest& request, int64_t* id);
  Status ListRestartRequests(std::vector<RestartRequest>* out);
  // Counters such as "dns_flush"; a missing counter is 0.
  Status IncrementCounter(std::string_view name, int64_t by, int64_t* value);
  Status GetCounter(std::string_view name, int64_t* value);
  Status AppendEffect(std::string_view tool, std::string_view text);
  Status ListEffects(std::vector<EffectRecord>* out);

  // ---- Free settings (small key/value pairs for emulations) ----
  Status SetSetting(std::string_view key, std::string_view value);
  Status GetSetting(std::string_view key, std::string* value);  // kNotFound when unset

  // Runs one SQL statement without results (for emulations needing a table
  // of their own: use CREATE TABLE IF NOT EXISTS).
  Status Execute(std::string_view sql);

  sqlite3* db() { return db_; }  // for callers with needs beyond this API

 private:
  Store(sqlite3* db, std::string path);
  Status InitSchema();

  sqlite3* db_;
  std::string path_;
  bool in_transaction_ = false;
};

// Milliseconds since 1970 (for the time columns).
int64_t NowMs();

}  // namespace machine

#endif  // MACHINE_STORE_H_
