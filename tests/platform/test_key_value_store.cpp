#include "platform/key_value_store.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

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

TEST(KeyValueStore, EveryWriteIsSavedAtOnceWithItsTypeAndTheOtherValues) {
  MemoryLog log;
  const auto state = stateWith(R"({"fromAnotherVersion": 1.5})");
  const auto store = storeOn(state, log);
  store->setStringArray("one", {"trophy-first-10"});
  store->setInteger("count", 5);
  store->setBoolean("flag", true);
  EXPECT_EQ(state->saves.size(), 3u);
  EXPECT_EQ(json::parse(state->saves.back()), json::parse(R"({"fromAnotherVersion": 1.5,
      "one": ["trophy-first-10"], "count": 5, "flag": true})"));
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
  EXPECT_EQ(log.lines(),
            (Lines{"Settings file could not be read (not valid JSON, error at byte 2); could not "
                   "move it aside (Read-only file system), so settings are not saved this time",
                   "Failed to save settings: the unreadable settings file is kept in place "
                   "(Read-only file system)"}));
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
  EXPECT_TRUE(store->boolean("hasSeenOnboarding"));
  manager.set(false);
  EXPECT_EQ(seenByHome, (std::vector<bool>{true, false}));
}

}  // namespace
}  // namespace hopster
