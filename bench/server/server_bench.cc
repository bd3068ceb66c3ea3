// Runs one tern-service in a temporary directory and measures, through
// libcurl with a fresh connection per request as the service library makes
// them: password sign-ins per second (RSA decryption and PBKDF2 included),
// and syncing 100,000 routes from version 0 (serving, transfer and JSON
// parsing).
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <fstream>
#include <memory>

#include "server/key_material.h"
#include "server/testing/service_process.h"

namespace {

constexpr char kNumber[] = "13800000001";
constexpr int kRoutes = 100000;

tern::ScopedTempDir* g_dir = nullptr;
tern::ServiceProcess* g_service = nullptr;
std::string g_password;  // encrypted
std::string g_token;

bool SetUpService() {
  g_dir = new tern::ScopedTempDir();
  g_service = new tern::ServiceProcess(g_dir->path() + "/service");
  if (!g_service->Start({"--sms-interval", "0"}))
    return false;
  if (g_service->Admin({"create-account", kNumber, "abc12345"}).exit_code != 0)
    return false;
  std::string file = g_dir->path() + "/routes.txt";
  {
    std::ofstream out(file);
    for (int i = 0; i < kRoutes; ++i) {
      out << "add 10." << (i >> 16) << "." << ((i >> 8) & 255) << "." << (i & 255) << "/32 "
          << (i % 7) << "\n";
    }
  }
  if (g_service->Admin({"publish-routes", file}).exit_code != 0)
    return false;
  tern::HttpsClient client(g_service->base_url());
  rapidjson::Document key;
  key.Parse(client.Get("/certificate/publickey.do").body.c_str());
  g_password = tern::EncryptPasswordForTesting(key["data"]["content"].GetString(), "abc12345");
  tern::HttpAnswer in = client.Post("/account/signin.do", std::string("{\"username\":\"") +
                                                              kNumber + "\",\"password\":\"" +
                                                              g_password + "\",\"client\":\"pc\"}");
  g_token = in.token;
  return in.code == 200;
}

void BM_SignIn(benchmark::State& state) {
  tern::HttpsClient client(g_service->base_url());
  const std::string body = std::string("{\"username\":\"") + kNumber + "\",\"password\":\"" +
                           g_password + "\",\"client\":\"pc\"}";
  for (auto _ : state) {
    tern::HttpAnswer answer = client.Post("/account/signin.do", body);
    if (answer.code != 200)
      state.SkipWithError("sign-in refused");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SignIn)->Threads(1)->Threads(2)->Threads(4)->UseRealTime()->Unit(
    benchmark::kMillisecond);

void BM_RouteSync100k(benchmark::State& state) {
  tern::HttpsClient client(g_service->base_url());
  size_t bytes = 0;
  for (auto _ : state) {
    tern::HttpAnswer answer = client.Get("/route/sync.do?version=0", g_token);
    rapidjson::Document doc;
    doc.Parse(answer.body.c_str(), answer.body.size());
    if (doc.HasParseError() || !doc["data"]["increment"].IsArray() ||
        doc["data"]["increment"].Size() < static_cast<unsigned>(kRoutes)) {
      state.SkipWithError("incomplete route answer");
    }
    bytes = answer.body.size();
  }
  state.counters["answer_MB"] = static_cast<double>(bytes) / 1e6;
  state.SetItemsProcessed(state.iterations() * kRoutes);
}
BENCHMARK(BM_RouteSync100k)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!SetUpService()) {
    fprintf(stderr, "server_bench: tern-service did not start\n");
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  g_service->Stop();
  delete g_service;
  delete g_dir;
  return 0;
}
