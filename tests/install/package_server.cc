#include "tests/install/package_server.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace tern_test {

struct PackageServer::State {
  std::string package;
  httplib::Server server;
  int port = 0;
  std::thread thread;
  std::atomic<bool> stopping{false};
};

PackageServer::PackageServer(std::string package) : state_(std::make_unique<State>()) {
  State* s = state_.get();
  s->package = std::move(package);
  s->server.Get("/pkg/(.*)", [s](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(s->package.size(), "application/octet-stream",
                             [s](size_t offset, size_t length, httplib::DataSink& sink) {
                               size_t chunk = std::min<size_t>(length, s->package.size() / 20 + 1);
                               std::this_thread::sleep_for(std::chrono::milliseconds(40));
                               sink.write(s->package.data() + offset, chunk);
                               return !s->stopping;
                             });
  });
  s->server.Get("/endless/Installer.exe", [s](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(100u << 20, "application/octet-stream",
                             [s](size_t, size_t, httplib::DataSink& sink) {
                               std::this_thread::sleep_for(std::chrono::milliseconds(20));
                               std::string block(4096, 'x');
                               sink.write(block.data(), block.size());
                               return !s->stopping;
                             });
  });
  s->port = s->server.bind_to_any_port("127.0.0.1");
  if (s->port <= 0)
    return;
  s->thread = std::thread([s] { s->server.listen_after_bind(); });
  while (!s->server.is_running())
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

PackageServer::~PackageServer() {
  state_->stopping = true;
  state_->server.stop();
  if (state_->thread.joinable())
    state_->thread.join();
}

std::string PackageServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(state_->port) + path;
}

}  // namespace tern_test
