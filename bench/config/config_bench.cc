#include <benchmark/benchmark.h>

#include <string>

#include "base/scoped_temp_dir.h"
#include "client/config/profile_store.h"
#include "client/config/scrambler.h"
#include "win32/code_page.h"
#include "win32/profile.h"

namespace {

void BM_ScrambleText(benchmark::State& state) {
  std::wstring text(static_cast<size_t>(state.range(0)), L'a');
  for (auto _ : state)
    benchmark::DoNotOptimize(ScrambleText(text));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ScrambleText)->Arg(8)->Arg(64)->Arg(246);

void BM_UnscrambleText(benchmark::State& state) {
  std::wstring cipher = ScrambleText(std::wstring(static_cast<size_t>(state.range(0)), L'a'));
  for (auto _ : state)
    benchmark::DoNotOptimize(UnscrambleText(cipher));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_UnscrambleText)->Arg(8)->Arg(64)->Arg(246);

// A config.ini with the usual handful of sections plus |entries| keys.
struct ConfigFile {
  explicit ConfigFile(int entries) {
    dir.CreateUniqueTempDir();
    path = win32::Utf8ToWide((dir.GetPath() / "config.ini").string());
    for (int i = 0; i < entries; ++i) {
      WritePrivateProfileStringW(L"bulk", (L"key" + std::to_wstring(i)).c_str(), L"value",
                                 path.c_str());
    }
    WriteProfileString(L"user_data", L"account", L"someone@example.com", path, false);
  }
  base::ScopedTempDir dir;
  std::wstring path;
};

void BM_ReadPlain(benchmark::State& state) {
  ConfigFile file(static_cast<int>(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(ReadProfileString(L"bulk", L"key0", L"", 100, file.path, true));
}
BENCHMARK(BM_ReadPlain)->Arg(10)->Arg(200);

void BM_ReadScrambled(benchmark::State& state) {
  ConfigFile file(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ReadProfileString(L"user_data", L"account", L"", 1024, file.path, false));
  }
}
BENCHMARK(BM_ReadScrambled)->Arg(10)->Arg(200);

// Each write is locked, fsync'ed and renamed into place.
void BM_WritePlain(benchmark::State& state) {
  ConfigFile file(static_cast<int>(state.range(0)));
  int i = 0;
  for (auto _ : state)
    WriteProfileString(L"route_version", L"version", std::to_wstring(i++), file.path, true);
}
BENCHMARK(BM_WritePlain)->Arg(10)->Arg(200)->Unit(benchmark::kMicrosecond);

}  // namespace
