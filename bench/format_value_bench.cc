// Throughput of report cell formatting: amounts with the "Dbl" tag and dates with a pattern.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

#include "nimbo/date.h"
#include "nimbo/variant.h"
#include "report/value_format.h"

namespace {

std::vector<nimbo::Variant> Amounts() {
  std::vector<nimbo::Variant> values;
  double x = 0.37;
  for (int i = 0; i < 1024; ++i) {
    // Spread over cents to millions, with signs mixed, as a money column has them.
    x = x * 1.7 + 13.29;
    if (x > 5e6) x /= 997.0;
    values.emplace_back(i % 7 == 0 ? -x : x);
  }
  return values;
}

std::vector<nimbo::Variant> Dates() {
  std::vector<nimbo::Variant> values;
  for (int i = 0; i < 1024; ++i) {
    values.emplace_back(nimbo::Date{40000.0 + i * 7.31 + (i % 13) / 13.0});
  }
  return values;
}

void BM_FormatValueDbl(benchmark::State& state) {
  const std::vector<nimbo::Variant> values = Amounts();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(nimbo::FormatValue(values[i++ & 1023], "Dbl", ""));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatValueDbl);

void BM_FormatValueDte(benchmark::State& state) {
  const std::vector<nimbo::Variant> values = Dates();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(nimbo::FormatValue(values[i++ & 1023], "Dte", "dd Mmm yyyy"));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatValueDte);

void BM_FormatValueDteLong(benchmark::State& state) {
  const std::vector<nimbo::Variant> values = Dates();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        nimbo::FormatValue(values[i++ & 1023], "Dte", "Dddd, dd Mmm yyyy hh:nn:ss AMPM"));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatValueDteLong);

}  // namespace

BENCHMARK_MAIN();
