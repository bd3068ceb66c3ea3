// getMemberInfo against an HTTPS server on 127.0.0.1 (one new TLS connection
// per request, as the library does), and the parse of typical answers.
#include <stdlib.h>

#include <fstream>
#include <string>

#include <benchmark/benchmark.h>

#include "base/scoped_temp_dir.h"
#include "servicebridge/answer_parsers.h"
#include "servicebridge/http_interface.h"
#include "servicebridge/test_https_server.h"

namespace {

constexpr char kMemberAnswer[] =
    R"({"code":0,"info":"ok","data":{"deadline":31680800,"timestamp":1700000,"nickname":"bench"}})";

struct LoopbackService {
  LoopbackService() {
    dir.CreateUniqueTempDir();
    setenv("TERN_MACHINE_ROOT", (dir.path() / "machine").c_str(), 1);
    server.WriteCertificate((dir.path() / "service.pem").string());
    std::ofstream(dir.path() / "config.ini")
        << "[service_hosts]\naccount=" << server.base_url() << "\nnode=" << server.base_url()
        << "\nbilling=" << server.base_url() << "\nca_file=service.pem\n";
    server.Answer("/member/info.do", 200, kMemberAnswer);
    bridge.initialize(dir.path().string());
  }
  base::ScopedTempDir dir;
  servicebridge::TestHttpsServer server;
  servicebridge::HttpInterface bridge;
};

LoopbackService& Service() {
  static LoopbackService* service = new LoopbackService;
  return *service;
}

void BM_GetMemberInfo(benchmark::State& state) {
  LoopbackService& service = Service();
  if (!service.server.started()) {
    state.SkipWithError("loopback server did not start");
    return;
  }
  for (auto _ : state) {
    MemberInfo member = service.bridge.getMemberInfo();
    if (member.days != 347) {
      state.SkipWithError("unexpected answer");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetMemberInfo)->Threads(1)->Threads(4)->UseRealTime()->MinTime(2.0);

void BM_ReadMemberAnswer(benchmark::State& state) {
  for (auto _ : state) {
    MemberInfo member;
    servicebridge::ReadMemberAnswer(kMemberAnswer, servicebridge::KeepUtf8, &member);
    benchmark::DoNotOptimize(member);
  }
}
BENCHMARK(BM_ReadMemberAnswer);

void BM_ReadNodesAnswer(benchmark::State& state) {
  std::string body = R"({"code":0,"data":{"nodes":[)";
  for (int i = 0; i < 20; ++i) {
    body += std::string(i ? "," : "") + R"({"name_cn":"节点)" + std::to_string(i) +
            R"(","addr_ip":"127.0.0.)" + std::to_string(i + 1) +
            R"(","delay":20,"loss":0.5,"icmp":["127.0.0.1"]})";
  }
  body += "]}}";
  for (auto _ : state) {
    std::vector<NodeInfo> nodes = servicebridge::ReadNodesAnswer(body, servicebridge::KeepUtf8);
    benchmark::DoNotOptimize(nodes);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(body.size()));
}
BENCHMARK(BM_ReadNodesAnswer);

}  // namespace

BENCHMARK_MAIN();
