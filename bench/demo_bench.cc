// How long `nimbo demo` takes: the whole demo written into a folder, and its drawings alone.
// The demo is meant to build in well under a second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "demo/artwork.h"
#include "demo/demo.h"

namespace {

namespace fs = std::filesystem;

void BM_WriteDemo(benchmark::State& state) {
  const fs::path dir = fs::temp_directory_path() / ("nimbo_demo_bench_" + std::to_string(getpid()));
  for (auto _ : state) {
    benchmark::DoNotOptimize(nimbo::app::WriteDemo(dir));
  }
  fs::remove_all(dir);
}
BENCHMARK(BM_WriteDemo)->Unit(benchmark::kMillisecond);

void BM_EnsureCurrentDemo(benchmark::State& state) {
  const fs::path dir =
      fs::temp_directory_path() / ("nimbo_demo_bench_ensure_" + std::to_string(getpid()));
  nimbo::app::WriteDemo(dir);
  for (auto _ : state) {
    benchmark::DoNotOptimize(nimbo::app::EnsureDemo(dir));
  }
  fs::remove_all(dir);
}
BENCHMARK(BM_EnsureCurrentDemo)->Unit(benchmark::kMicrosecond);

void BM_DrawPageImages(benchmark::State& state) {
  for (auto _ : state) {
    for (const std::string_view name : nimbo::app::demo::kPageImageNames) {
      benchmark::DoNotOptimize(nimbo::app::demo::DrawPageImage(name));
    }
  }
}
BENCHMARK(BM_DrawPageImages)->Unit(benchmark::kMicrosecond);

void BM_DrawProductPicture(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(nimbo::app::demo::DrawProductPicture("GARDN", "Terracotta"));
  }
}
BENCHMARK(BM_DrawProductPicture)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
