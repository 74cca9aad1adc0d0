// Parsing settings documents of 10 KB, 100 KB and 1 MB whose bulk is one
// array of small objects, the shape whose parse time once grew with the
// square of the array's length. Time per byte stays flat when parsing is
// linear; the fitted complexity says the same.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/doubles/memory_key_value_storage.h"
#include "platform/json_document.h"
#include "platform/key_value_store.h"
#include "platform/linux/memory_log.h"

namespace hopster {
namespace {

// A settings document of about `bytes` bytes: the three settings and an
// array of small objects another version might have kept.
std::string settingsDocument(std::size_t bytes) {
  std::string text =
      R"({"totalJumps": 123456, "hasSeenOnboarding": true, "unlockedTrophies": ["trophy-first-10", "60-1min"], "history": [)";
  for (int i = 0; text.size() < bytes; ++i) {
    text += (i == 0 ? "" : ",") + std::string(R"({"n":)") + std::to_string(i) + "}";
  }
  return text + "]}";
}

void BM_ParseSettings(benchmark::State& state) {
  const std::string text = settingsDocument(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    nlohmann::json document;
    if (parseJsonObject(text, 64, document)) state.SkipWithError("not parsed");
    benchmark::DoNotOptimize(document);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.SetComplexityN(static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ParseSettings)
    ->Arg(10 << 10)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

// The whole start-up read of the store: parse, check the settings' types, keep.
void BM_LoadSettingsStore(benchmark::State& state) {
  const std::string text = settingsDocument(static_cast<std::size_t>(state.range(0)));
  MemoryLog log;
  for (auto _ : state) {
    KeyValueStore store(std::make_unique<MemoryKeyValueStorage>(text), log);
    benchmark::DoNotOptimize(store.integer("totalJumps"));
  }
  if (!log.lines().empty()) state.SkipWithError(log.lines().front().c_str());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.SetComplexityN(static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_LoadSettingsStore)
    ->Arg(10 << 10)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace
}  // namespace hopster
