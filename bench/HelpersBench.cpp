#include <benchmark/benchmark.h>

#include "ui/common/Currency.h"
#include "ui/common/Utility.h"

static void BM_FormatPrice(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(vantory::Currency::formatPrice("1249.99"));
  }
}
BENCHMARK(BM_FormatPrice);

static void BM_ConvertToJsonString(benchmark::State& state) {
  const nlohmann::json record = {{"storeId", "12"},
                                 {"name", "Caf\xC3\xA9 latte"},
                                 {"description", "two for one & more"},
                                 {"price", "3.5"},
                                 {"posted", "Ann Lee"}};
  for (auto _ : state) {
    benchmark::DoNotOptimize(vantory::Utility::convertToJsonString(record));
  }
}
BENCHMARK(BM_ConvertToJsonString);
