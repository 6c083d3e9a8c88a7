#include <benchmark/benchmark.h>

#include "platform/Utf8.h"
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

// A reply of 1,000 deals: ASCII but for a few names ("Café").
static std::string replyText() {
  std::string text = R"({"Items":[)";
  for (int i = 0; i < 1000; ++i) {
    text += R"({"id":")" + std::to_string(i) + R"(","name":"Deal )" + std::to_string(i) +
            (i % 50 == 0 ? " Caf\xC3\xA9" : "") +
            R"(","description":"Description of deal number )" + std::to_string(i) +
            R"(","price":"1.99","posted":"Bench User"},)";
  }
  return text + "]}";
}

static void BM_Utf8IsValidReply(benchmark::State& state) {
  const std::string text = replyText();
  for (auto _ : state) {
    benchmark::DoNotOptimize(platform::Utf8::isValid(text));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_Utf8IsValidReply);
