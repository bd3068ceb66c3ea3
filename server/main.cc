// tern-service: the account, node and billing services and the relay nodes,
// for local runs, demos and tests. See service_options.h for the command
// line and admin_command.h for the admin verbs.
#include <signal.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "server/admin_command.h"
#include "server/api_server.h"
#include "server/catalog_store.h"
#include "server/key_material.h"
#include "server/relay_server.h"
#include "server/service_database.h"
#include "server/service_options.h"
#include "server/service_schema.h"

namespace {

int64_t NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool PrepareStore(const std::string& data_dir, const std::string& db_path, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(data_dir, ec);
  if (ec) {
    *error = "cannot create " + data_dir + ": " + ec.message();
    return false;
  }
  chmod(data_dir.c_str(), 0700);
  // The database holds password hashes and live credentials; SQLite's own
  // companions (journal, WAL) take the same mode.
  mode_t old_mask = umask(077);
  auto db = tern::Database::Open(db_path, error);
  bool ready = db && tern::InitializeSchema(db.get(), NowSeconds(), error);
  umask(old_mask);
  if (ready)
    chmod(db_path.c_str(), 0600);
  return ready;
}

void SetUpLogging(const std::string& data_dir) {
  std::vector<spdlog::sink_ptr> sinks;
  sinks.push_back(std::make_shared<spdlog::sinks::stderr_sink_mt>());
  try {
    // Rotates at 4 MiB, keeping 3 old files.
    sinks.push_back(std::make_shared<spdlog::sinks::rotating_file_sink_mt>(
        data_dir + "/tern-service.log", 4 * 1024 * 1024, 3));
  } catch (const spdlog::spdlog_ex& e) {
    std::fprintf(stderr, "tern-service: no log file: %s\n", e.what());
  }
  auto logger = std::make_shared<spdlog::logger>("tern-service", sinks.begin(), sinks.end());
  // Request lines are buffered and written out every second; warnings and
  // errors at once. A clean stop flushes the rest (see main).
  logger->flush_on(spdlog::level::warn);
  spdlog::set_default_logger(logger);
  spdlog::flush_every(std::chrono::seconds(1));
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  tern::ServiceOptions options;
  std::string error;
  if (!tern::ParseServiceOptions(args, &options, &error)) {
    std::fprintf(stderr, "tern-service: %s\n", error.c_str());
    return 2;
  }
  const std::string db_path = options.data_dir + "/tern-service.db";
  if (!PrepareStore(options.data_dir, db_path, &error)) {
    std::fprintf(stderr, "tern-service: %s\n", error.c_str());
    return 1;
  }
  if (options.admin) {
    return tern::RunAdminCommand(db_path, options.admin_args, std::cout, std::cerr);
  }

  // Signals are taken by sigwait below, never by a handler on some thread.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  SetUpLogging(options.data_dir);
  // Clients check the relay nodes' addresses against the certificate too.
  std::vector<std::string> addresses{options.listen};
  std::vector<tern::NodeRecord> nodes;
  if (tern::CatalogStore(db_path).AllNodes(&nodes) == tern::StoreResult::kOk) {
    for (const tern::NodeRecord& node : nodes)
      addresses.push_back(node.addr_ip);
  }
  auto keys = tern::KeyMaterial::LoadOrCreate(options.data_dir, &error, addresses);
  if (!keys) {
    spdlog::error("{}", error);
    return 1;
  }
  if (!options.package.empty() && !std::filesystem::is_regular_file(options.package)) {
    spdlog::error("the update package {} does not exist", options.package);
    return 1;
  }
  tern::ApiConfig api;
  api.db_path = db_path;
  api.listen = options.listen;
  api.port = options.port;
  api.cert_path = options.cert.empty() ? keys->tls_cert_path() : options.cert;
  api.key_path = options.key.empty() ? keys->tls_key_path() : options.key;
  api.package_path =
      options.package.empty() ? std::string() : std::filesystem::absolute(options.package).string();
  api.pay_after = options.pay_after;
  api.token_lifetime = options.token_lifetime;
  api.sms_interval = options.sms_interval;
  api.public_url = options.public_url;
  api.max_connections = options.max_connections;
  api.max_per_address = options.max_per_address;
  api.header_timeout_ms = options.header_timeout * 1000;
  if (!options.export_cert.empty()) {
    std::string pem;
    if (!tern::ReadWholeFile(api.cert_path, &pem) ||
        !tern::WriteFileAtomically(options.export_cert, pem, 0644)) {
      spdlog::error("cannot copy the certificate to {}", options.export_cert);
      return 1;
    }
  }
  tern::ApiServer server(api, keys.get());
  if (!server.Start(&error)) {
    spdlog::error("{}", error);
    return 1;
  }
  tern::RelayConfig relay_config;
  relay_config.db_path = db_path;
  relay_config.listen = options.listen;
  relay_config.port = options.relay_port;
  relay_config.cert_path = api.cert_path;
  relay_config.key_path = api.key_path;
  relay_config.max_connections = options.max_connections;
  relay_config.max_per_address = options.max_per_address;
  relay_config.max_handshakes = options.relay_max_handshakes;
  relay_config.handshake_timeout_ms = options.header_timeout * 1000;
  relay_config.dial_interval_ms = int64_t{options.dial_interval} * 1000;
  tern::RelayServer relay(relay_config);
  if (!relay.Start(&error)) {
    spdlog::error("{}", error);
    server.Stop();
    return 1;
  }
  // Tests and scripts read these two lines to find the ports.
  std::printf("listening https://%s:%d\nrelay %s:%d\n", options.listen.c_str(), server.port(),
              options.listen.c_str(), relay.port());
  std::fflush(stdout);
  spdlog::info("serving https on {}:{}, relay on port {}, data in {}", options.listen,
               server.port(), relay.port(), options.data_dir);

  int received = 0;
  sigwait(&signals, &received);
  spdlog::info("signal {}: stopping", received);
  relay.Stop();
  server.Stop();
  spdlog::info("stopped");
  spdlog::shutdown();  // Flushes every buffered line.
  return 0;
}
