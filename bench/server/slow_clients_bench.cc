// A normal request to tern-service while 64 clients send their headers one
// line every 4 s and 200 more hold connections open without a byte. The
// figure to watch is the time per request (and its worst case): it should
// stay far below 1 s. The caps are raised so that all these connections,
// which come from one address here, are admitted.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "server/testing/service_process.h"
#include "server/testing/tls_connection.h"

namespace {

constexpr int kSlowClients = 64;
constexpr int kIdleClients = 200;

tern::ScopedTempDir* g_dir = nullptr;
tern::ServiceProcess* g_service = nullptr;

// Keeps the slow and idle clients there for as long as the benchmark runs,
// opening a new one whenever the service ends one at its deadline.
class Siege {
 public:
  Siege() : thread_([this] { Run(); }) {}
  ~Siege() {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      stopping_ = true;
    }
    stop_.notify_all();
    thread_.join();
    for (int fd : idle_)
      close(fd);
  }

 private:
  void Run() {
    std::vector<std::unique_ptr<tern::TlsConnection>> slow(kSlowClients);
    std::unique_lock<std::mutex> hold(mutex_);
    int round = 0;
    while (!stopping_) {
      for (auto& c : slow) {
        if (!c || round % 4 == 0) {
          // A new request's first line, or one more header line.
          if (c && c->Send("X-Slow-" + std::to_string(round) + ": 1\r\n"))
            continue;
          c = std::make_unique<tern::TlsConnection>("127.0.0.1", g_service->https_port(),
                                                    g_service->certificate_path());
          c->Send("GET /version/update.do HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        }
      }
      while (static_cast<int>(idle_.size()) < kIdleClients)
        idle_.push_back(tern::ConnectTcp("127.0.0.1", g_service->https_port()));
      // Idle ones the service has ended are replaced on the next round.
      for (int& fd : idle_) {
        char byte;
        if (fd >= 0 && recv(fd, &byte, 1, MSG_DONTWAIT) == 0) {
          close(fd);
          fd = tern::ConnectTcp("127.0.0.1", g_service->https_port());
        }
      }
      ++round;
      stop_.wait_for(hold, std::chrono::seconds(1), [this] { return stopping_; });
    }
  }

  std::mutex mutex_;
  std::condition_variable stop_;
  bool stopping_ = false;
  std::vector<int> idle_;
  std::thread thread_;
};

void BM_RequestUnderSiege(benchmark::State& state) {
  Siege siege;
  // Let the siege take its places first.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  tern::HttpsClient client(g_service->base_url(), g_service->certificate_path());
  double worst_ms = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    tern::HttpAnswer answer = client.Get("/version/update.do");
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    worst_ms = std::max(worst_ms, ms);
    if (answer.code != 200) {
      state.SkipWithError("a normal request failed under the siege");
      break;
    }
  }
  state.counters["worst_ms"] = worst_ms;
}
BENCHMARK(BM_RequestUnderSiege)->UseRealTime()->MinTime(8.0)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  g_dir = new tern::ScopedTempDir();
  g_service = new tern::ServiceProcess(g_dir->path() + "/service");
  if (!g_service->Start({"--max-connections", "1024", "--max-per-address", "1024"})) {
    fprintf(stderr, "slow_clients_bench: tern-service did not start\n");
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  g_service->Stop();
  delete g_service;
  delete g_dir;
  return 0;
}
