#include "platform/key_value_store.h"

#include <gtest/gtest.h>
#include <time.h>

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/memory_key_value_storage.h"

namespace hopster {
namespace {

using Array = std::vector<std::optional<std::string>>;
using Lines = std::vector<std::string>;
using nlohmann::json;
using State = MemoryKeyValueStorage::State;

std::shared_ptr<State> stateWith(std::optional<std::string> document) {
  auto state = std::make_shared<State>();
  state->document = std::move(document);
  return state;
}

std::unique_ptr<KeyValueStore> storeOn(const std::shared_ptr<State>& state, Log& log) {
  return std::make_unique<KeyValueStore>(std::make_unique<MemoryKeyValueStorage>(state), log);
}

TEST(KeyValueStore, ReadsStoredValuesOrDefaults) {
  struct Case {
    const char* document;
    std::int64_t integer;
    std::optional<Array> array;
    std::optional<bool> boolean;  // nothing: reads as the fallback
  };
  const Case cases[] = {
      {R"({})", 0, std::nullopt, std::nullopt},
      {R"({"k": 5})", 5, std::nullopt, std::nullopt},
      {R"({"k": 9223372036854775807})", INT64_MAX, std::nullopt, std::nullopt},
      {R"({"k": 9223372036854775808})", 0, std::nullopt, std::nullopt},
      {R"({"k": 5.0})", 0, std::nullopt, std::nullopt},
      {R"({"k": "5"})", 0, std::nullopt, std::nullopt},
      {R"({"k": null})", 0, std::nullopt, std::nullopt},
      {R"({"k": true})", 0, std::nullopt, true},
      {R"({"k": false})", 0, std::nullopt, false},
      {R"({"k": []})", 0, Array{}, std::nullopt},
      {R"({"k": ["a", 1, null, ["b"], "c"]})", 0, Array{"a", {}, {}, {}, "c"}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.document);
    MemoryLog log;
    const auto store = storeOn(stateWith(c.document), log);
    EXPECT_EQ(store->integer("k"), c.integer);
    EXPECT_EQ(store->array("k"), c.array);
    EXPECT_EQ(store->boolean("k", false), c.boolean.value_or(false));
    EXPECT_EQ(store->boolean("k", true), c.boolean.value_or(true));
    EXPECT_TRUE(log.lines().empty());
  }
}

TEST(KeyValueStore, UnusableDocumentIsSetAsideWithOneLogLine) {
  const std::string deep = R"({"k": )" + std::string(100000, '[') + std::string(100000, ']') + "}";
  struct Case {
    std::string document;
    std::optional<std::string> loadError;
    std::string reason;
  };
  const Case cases[] = {
      {"", std::nullopt, "the file is empty"},
      {"hello", std::nullopt, "not valid JSON, error at byte 1"},
      {"{\"k\": \"\xc3\x28\"}", std::nullopt, "not valid JSON, error at byte 9"},
      {R"(["totalJumps", 3])", std::nullopt, "expected a JSON object, found array"},
      {"null", std::nullopt, "expected a JSON object, found null"},
      {deep, std::nullopt, "nested deeper than 64 levels"},
      {"{}", "Permission\ndenied", "Permission denied"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    MemoryLog log;
    const auto state = stateWith(c.document);
    state->loadError = c.loadError;
    const auto store = storeOn(state, log);
    EXPECT_EQ(log.lines(), Lines{"Settings file could not be read (" + c.reason +
                                 "); moved it to memory (set-aside #1)"});
    EXPECT_EQ(state->setAside, Array{c.document});

    store->setInteger("totalJumps", 3);
    EXPECT_EQ(json::parse(*state->document), json({{"totalJumps", 3}}));
    EXPECT_EQ(log.lines().size(), 1u);
  }
}

TEST(KeyValueStore, DocumentThatCannotBeSetAsideIsNeverOverwritten) {
  MemoryLog log;
  const auto state = stateWith("not json");
  state->setAsideError = "Read-only file system";
  const auto store = storeOn(state, log);
  store->setBoolean("hasSeenOnboarding", true);
  EXPECT_TRUE(store->boolean("hasSeenOnboarding"));
  EXPECT_EQ(state->document, "not json");
  EXPECT_TRUE(state->saves.empty());
  ASSERT_EQ(log.lines().size(), 2u);
  EXPECT_NE(log.lines()[0].find("could not move it aside (Read-only file system)"),
            std::string::npos);
  EXPECT_TRUE(log.lines()[1].starts_with("Failed to save settings: ")) << log.lines()[1];
}

TEST(KeyValueStore, ObserversAreToldAfterEachWriteOfTheirKeyAndMayChangeThingsMeanwhile) {
  MemoryLog log;
  auto store = storeOn(stateWith(std::nullopt), log);
  Lines calls;
  const auto note = [&](const std::string& key) {
    return store->observe(key,
                          [&, key] { calls.push_back(key + std::to_string(store->integer(key))); });
  };
  Subscription ended = note("a"), kept = note("a"), other = note("b");
  Subscription self, later, added;
  self = store->observe("c", [&] {
    calls.push_back("self");
    self = Subscription();   // ends itself while running
    later = Subscription();  // and one not yet told
    added = note("c");
    store->setInteger("b", store->integer("c") * 10);
  });
  later = note("c");
  const Subscription last = note("c");  // still told after `later` ends

  store->setInteger("a", 1);
  ended.cancel();
  store->setInteger("a", 2);
  store->setInteger("c", 4);
  store->setInteger("c", 5);
  EXPECT_EQ(calls, (Lines{"a1", "a1", "a2", "self", "b40", "c4", "c5", "c5"}));

  store.reset();
  added.cancel();  // a subscription may outlive its store
}

TEST(KeyValueStore, AMistypedSettingsKeyIsCopiedAsideOnceAndOnlyItTakesItsDefault) {
  const json good = {{"totalJumps", 7}, {"unlockedTrophies", {"a"}}, {"hasSeenOnboarding", true}};
  for (const char* key : {"totalJumps", "unlockedTrophies", "hasSeenOnboarding"}) {
    for (const char* bad : {R"("995")", "true", "{}", R"(["a", 1])", "995.5", "1e19"}) {
      json document = good;
      document["unknown"] = json::parse(bad);
      document[key] = json::parse(bad);
      if (document[key] == good[key]) continue;  // true is a good "hasSeenOnboarding"
      SCOPED_TRACE(std::string(key) + " = " + bad);
      MemoryLog log;
      const auto state = stateWith(document.dump());
      const auto store = storeOn(state, log);
      store->reload();  // the same content again: no second copy
      ASSERT_EQ(log.lines().size(), 1u);
      EXPECT_TRUE(log.lines()[0].starts_with("Settings file has a value of the wrong type (\"" +
                                             std::string(key) + "\" holds "))
          << log.lines()[0];
      EXPECT_EQ(state->copies, Lines{document.dump()});
      EXPECT_EQ(state->document, document.dump());  // a copy, not a move

      store->setInteger("other", 1);
      json expected = good;
      expected.erase(key);
      expected["unknown"] = json::parse(bad);
      expected["other"] = 1;
      EXPECT_EQ(json::parse(*state->document), expected);
    }
  }
}

TEST(KeyValueStore, AWholeNumberFloatTotalIsAnIntegerAndAMistypedOneUncopiedIsNeverOverwritten) {
  MemoryLog log;
  const auto state = stateWith(R"({"totalJumps": 995.0})");
  const auto store = storeOn(state, log);
  EXPECT_EQ(store->addToInteger("totalJumps", 1), 996);
  EXPECT_EQ(*state->document, "{\n  \"totalJumps\": 996\n}\n");

  state->document = R"({"totalJumps": "995"})";
  state->copyError = "No space left on device";
  store->setBoolean("hasSeenOnboarding", true);
  store->setBoolean("hasSeenOnboarding", false);
  EXPECT_EQ(state->document, R"({"totalJumps": "995"})");
  EXPECT_EQ(store->integer("totalJumps"), 0);
  EXPECT_FALSE(store->boolean("hasSeenOnboarding", true));
  ASSERT_EQ(log.lines().size(), 3u);
  EXPECT_NE(log.lines()[0].find("could not copy it aside (No space left on device)"),
            std::string::npos);
  EXPECT_TRUE(log.lines()[1].starts_with("Failed to save settings: ")) << log.lines()[1];
  EXPECT_EQ(log.lines()[2], log.lines()[1]);
}

TEST(KeyValueStore, AdditionsSaturateAndAFailedSaveStillReturnsAndShowsTheNewValue) {
  const struct {
    const char* document;
    std::int64_t delta, sum;
  } cases[] = {{"{}", 3, 3},
               {R"({"n": 9223372036854775806})", 5, INT64_MAX},
               {R"({"n": -9223372036854775807})", -5, INT64_MIN},
               {R"({"n": "x"})", -2, -2}};
  for (const auto& c : cases) {
    MemoryLog log;
    const auto state = stateWith(c.document);
    state->saveError = "Disk full";
    const auto store = storeOn(state, log);
    EXPECT_EQ(store->addToInteger("n", c.delta), c.sum) << c.document;
    EXPECT_EQ(store->integer("n"), c.sum) << c.document;
    EXPECT_EQ(log.lines(), Lines{"Failed to save settings: Disk full"});
    state->saveError.reset();
    store->addToInteger("n", 0);
    EXPECT_EQ(json::parse(*state->document)["n"], c.sum) << c.document;
  }
}

TEST(KeyValueStore, WritesBringInAndTellOfOtherWritersChangesAndReloadTellsOnlyChangedKeys) {
  MemoryLog log;
  const auto state = stateWith(R"({"same": 1, "gone": 2})");
  const auto a = storeOn(state, log), b = storeOn(state, log);
  Lines told;
  std::vector<Subscription> watching;
  for (const char* key : {"same", "gone", "n", "ids", "never"}) {
    watching.push_back(a->observe(key, [&told, key] { told.emplace_back(key); }));
  }
  b->addToStringArray("ids", {"b", "a"});
  a->addToInteger("n", 1);
  a->addToStringArray("ids", {"a", "c"});
  EXPECT_EQ(told, (Lines{"ids", "n", "ids"}));
  told.clear();
  EXPECT_EQ(b->update([](json& document) { document.erase("gone"); }), std::nullopt);
  EXPECT_EQ(b->update([](json&) {}), std::nullopt);
  b->addToInteger("n", 10);
  a->reload();
  EXPECT_EQ(told, (Lines{"gone", "n"}));  // "ids" and "same" are as they were
  EXPECT_EQ(a->array("ids"), (Array{"b", "a", "c"}));
  EXPECT_EQ(state->saves.size(), 5u);  // the empty change wrote nothing
}

TEST(KeyValueStore, BeforeReplaceRunsBeforeTheSaveAndItsErrorKeepsDocumentAndView) {
  MemoryLog log;
  const auto state = stateWith(R"({"n": 1})");
  const auto store = storeOn(state, log);
  std::vector<std::filesystem::path> seen;
  const auto refuse = [&](const std::filesystem::path& temporary) -> std::optional<std::string> {
    seen.push_back(temporary);
    return "journal full";
  };
  EXPECT_EQ(store->update([](json& document) { document["n"] = 2; }, refuse), "journal full");
  EXPECT_EQ(seen, std::vector<std::filesystem::path>(1));
  EXPECT_EQ(store->integer("n"), 1);
  EXPECT_EQ(state->document, R"({"n": 1})");
  // A change that writes to its own store would wait for its own lock.
  EXPECT_EQ(store->update([&](json&) { store->setInteger("n", 5); }), std::nullopt);
  EXPECT_EQ(store->integer("n"), 1);
  EXPECT_TRUE(log.lines().size() == 1u && log.lines()[0].starts_with("Failed to save settings: "));
}

TEST(KeyValueStore, LargeFlatDocumentsParseInLinearTime) {
  // Parsing quadratic in an array's length took 6 s for the 600 KB document
  // and would take minutes for the 3 MB one. Linear parsing takes well under
  // a second of this thread's processor time, even unoptimised under the
  // sanitizers; processor time, unlike the wall clock, does not grow when the
  // machine is busy with other work.
  const auto cpuSeconds = [] {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
  };
  const double start = cpuSeconds();
  for (const std::size_t objects : {75000u, 375000u}) {
    std::string text = R"({"items": [)";
    for (std::size_t i = 0; i < objects; ++i) text += i == 0 ? R"({"a":1})" : R"(,{"a":1})";
    text += "]}";
    MemoryLog log;
    const auto store = storeOn(stateWith(text), log);
    EXPECT_EQ(store->array("items")->size(), objects);
    EXPECT_TRUE(log.lines().empty());
  }
  EXPECT_LT(cpuSeconds() - start, 60.0);
}

TEST(BoolBinding, AWriteThroughOneBindingReachesEveryBindingAtOnce) {
  MemoryLog log;
  const auto store = storeOn(stateWith(std::nullopt), log);
  BoolBinding home(*store, "hasSeenOnboarding");
  BoolBinding manager(*store, "hasSeenOnboarding");
  std::vector<bool> seenByHome;
  const auto subscription = home.onChange([&](bool value) { seenByHome.push_back(value); });
  EXPECT_FALSE(home.value());

  manager.set(true);
  EXPECT_TRUE(home.value());
  manager.set(false);
  EXPECT_EQ(seenByHome, (std::vector<bool>{true, false}));
}

}  // namespace
}  // namespace hopster
