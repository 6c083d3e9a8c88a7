// The service's list replies as it writes them (JsonText, on RapidJSON's
// writer) beside a nlohmann::json document dumped; bench/README.md has the
// figures, and those of the hand-written writer this replaced.

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "api/JsonText.h"

namespace {

using vantory::service::ItemRow;
using vantory::service::JsonText;

// The item list of a store with `count` deals, texts of typical length with
// a few characters that need escaping.
std::vector<ItemRow> deals(int count) {
  std::vector<ItemRow> rows;
  for (int i = 0; i < count; ++i) {
    ItemRow row;
    row.id = i + 1;
    row.storeId = 1;
    row.name = "Oat milk \"barista\" " + std::to_string(i);
    row.description = "2 litres, caf\xC3\xA9 quality\nbest before Friday";
    row.price = "2.90";
    row.postedBy = "Ann Lee";
    row.interested = i * 3;
    row.bought = i;
    rows.push_back(std::move(row));
  }
  return rows;
}

void BM_ItemListJsonText(benchmark::State& state) {
  const auto rows = deals(static_cast<int>(state.range(0)));
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string text = JsonText::list(
        "Items", rows,
        [](JsonText::Writer& out, const ItemRow& item) { JsonText::writeItem(out, item, false); });
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_ItemListJsonText)->Arg(1000);

void BM_ItemListNlohmann(benchmark::State& state) {
  const auto rows = deals(static_cast<int>(state.range(0)));
  std::size_t bytes = 0;
  for (auto _ : state) {
    nlohmann::json items = nlohmann::json::array();
    for (const ItemRow& item : rows) {
      items.push_back({{"id", std::to_string(item.id)},
                       {"name", item.name},
                       {"description", item.description},
                       {"price", item.price},
                       {"posted_by", item.postedBy},
                       {"interested", std::to_string(item.interested)},
                       {"bought", std::to_string(item.bought)}});
    }
    const std::string text = nlohmann::json{{"Items", std::move(items)}}.dump();
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_ItemListNlohmann)->Arg(1000);

}  // namespace
