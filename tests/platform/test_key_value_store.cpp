#include "platform/key_value_store.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "platform/memory_key_value_storage.h"

namespace hopster {
namespace {

using Array = std::vector<std::optional<std::string>>;
using State = MemoryKeyValueStorage::State;

std::shared_ptr<State> stateWith(std::optional<std::string> document) {
  auto state = std::make_shared<State>();
  state->document = std::move(document);
  return state;
}

KeyValueStore storeOn(const std::shared_ptr<State>& state, Log& log) {
  return KeyValueStore(std::make_unique<MemoryKeyValueStorage>(state), log);
}

TEST(KeyValueStore, ReadsStoredValuesOrDefaults) {
  struct Case {
    const char* document;
    std::int64_t integer;
    std::optional<Array> array;
    std::optional<bool> boolean;  // nothing: reads as the fallback
  };
  const std::vector<Case> cases{
      {R"({})", 0, std::nullopt, std::nullopt},
      {R"({"k": 5})", 5, std::nullopt, std::nullopt},
      {R"({"k": -5})", -5, std::nullopt, std::nullopt},
      {R"({"k": 9223372036854775807})", std::numeric_limits<std::int64_t>::max(), std::nullopt,
       std::nullopt},
      {R"({"k": 9223372036854775808})", 0, std::nullopt, std::nullopt},
      {R"({"k": 5.0})", 0, std::nullopt, std::nullopt},
      {R"({"k": "5"})", 0, std::nullopt, std::nullopt},
      {R"({"k": null})", 0, std::nullopt, std::nullopt},
      {R"({"k": true})", 0, std::nullopt, true},
      {R"({"k": false})", 0, std::nullopt, false},
      {R"({"k": "a"})", 0, std::nullopt, std::nullopt},
      {R"({"k": {"a": 1}})", 0, std::nullopt, std::nullopt},
      {R"({"k": []})", 0, Array{}, std::nullopt},
      {R"({"k": ["a"]})", 0, Array{"a"}, std::nullopt},
      {R"({"k": ["a", 1, null, ["b"], "c"]})", 0,
       Array{"a", std::nullopt, std::nullopt, std::nullopt, "c"}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.document);
    MemoryLog log;
    const KeyValueStore store = storeOn(stateWith(c.document), log);
    EXPECT_EQ(store.integer("k"), c.integer);
    EXPECT_EQ(store.array("k"), c.array);
    EXPECT_EQ(store.boolean("k", false), c.boolean.value_or(false));
    EXPECT_EQ(store.boolean("k", true), c.boolean.value_or(true));
    EXPECT_TRUE(log.lines().empty());
  }
}

TEST(KeyValueStore, EveryWriteIsSavedAtOnceWithItsType) {
  MemoryLog log;
  const auto state = stateWith(std::nullopt);
  {
    KeyValueStore store = storeOn(state, log);
    store.setInteger("totalJumps", 42);
    ASSERT_EQ(state->saves.size(), 1u);
    store.setStringArray("unlockedTrophies", {"trophy-first-10"});
    store.setStringArray("empty", {});
    store.setBoolean("hasSeenOnboarding", true);
    ASSERT_EQ(state->saves.size(), 4u);
  }
  const auto saved = nlohmann::json::parse(state->saves.back());
  EXPECT_EQ(saved, nlohmann::json::parse(R"({"totalJumps": 42, "unlockedTrophies":
      ["trophy-first-10"], "empty": [], "hasSeenOnboarding": true})"));

  const KeyValueStore reloaded = storeOn(state, log);
  EXPECT_EQ(reloaded.integer("totalJumps"), 42);
  EXPECT_EQ(reloaded.array("unlockedTrophies"), Array{"trophy-first-10"});
  EXPECT_EQ(reloaded.array("empty"), Array{});
  EXPECT_TRUE(reloaded.boolean("hasSeenOnboarding"));
  EXPECT_TRUE(log.lines().empty());
}

TEST(KeyValueStore, FailedSaveIsLoggedAndTheValueKept) {
  MemoryLog log;
  const auto state = stateWith(R"({"totalJumps": 1})");
  state->saveError = "No space left on device";
  KeyValueStore store = storeOn(state, log);
  int told = 0;
  const auto subscription = store.observe("totalJumps", [&] { ++told; });

  store.setInteger("totalJumps", 7);
  EXPECT_EQ(store.integer("totalJumps"), 7);
  EXPECT_EQ(told, 1);
  EXPECT_EQ(log.lines(),
            std::vector<std::string>{"Failed to save settings: No space left on device"});
  EXPECT_EQ(state->document, R"({"totalJumps": 1})");
}

TEST(KeyValueStore, UnusableDocumentIsSetAsideWithOneLogLine) {
  const std::string deep = R"({"k": )" + std::string(100000, '[') + std::string(100000, ']') + "}";
  struct Case {
    const char* name;
    std::string document;
    std::optional<std::string> loadError;
  };
  const std::vector<Case> cases{
      {"empty", "", std::nullopt},
      {"garbage", "hello world", std::nullopt},
      {"truncated", R"({"totalJumps": 12, "unlockedTr)", std::nullopt},
      {"binary", std::string("\x00\xff\xfe{\x01", 5), std::nullopt},
      {"invalid UTF-8 in a string", "{\"k\": \"\xc3\x28\"}", std::nullopt},
      {"trailing text", R"({"k": 1} {"k": 2})", std::nullopt},
      {"array", R"(["totalJumps", 3])", std::nullopt},
      {"string", R"("totalJumps")", std::nullopt},
      {"null", "null", std::nullopt},
      {"too deep", deep, std::nullopt},
      {"unreadable", "{}", "Permission denied"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryLog log;
    const auto state = stateWith(c.document);
    state->loadError = c.loadError;
    KeyValueStore store = storeOn(state, log);

    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("Settings file could not be read (", 0), 0u) << log.lines()[0];
    EXPECT_NE(log.lines()[0].find("); moved it to memory"), std::string::npos);
    EXPECT_EQ(state->setAside, std::vector<std::optional<std::string>>{c.document});
    EXPECT_EQ(store.integer("totalJumps"), 0);

    store.setInteger("totalJumps", 3);
    EXPECT_EQ(nlohmann::json::parse(*state->document), nlohmann::json({{"totalJumps", 3}}));
    EXPECT_EQ(log.lines().size(), 1u);
  }
}

TEST(KeyValueStore, DocumentThatCannotBeSetAsideIsNeverOverwritten) {
  MemoryLog log;
  const auto state = stateWith("not json");
  state->setAsideError = "Read-only file system";
  KeyValueStore store = storeOn(state, log);
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_NE(log.lines()[0].find("Read-only file system"), std::string::npos);

  store.setBoolean("hasSeenOnboarding", true);
  EXPECT_TRUE(store.boolean("hasSeenOnboarding"));
  EXPECT_EQ(state->document, "not json");
  EXPECT_TRUE(state->saves.empty());
  ASSERT_EQ(log.lines().size(), 2u);
  EXPECT_EQ(log.lines()[1].rfind("Failed to save settings: ", 0), 0u);
}

TEST(KeyValueStore, ObserversOfAKeyAreToldAfterEachWrite) {
  MemoryLog log;
  KeyValueStore store = storeOn(stateWith(std::nullopt), log);
  std::vector<std::string> calls;
  auto first =
      store.observe("a", [&] { calls.push_back("first " + std::to_string(store.integer("a"))); });
  const auto other = store.observe("b", [&] { calls.push_back("other"); });
  Subscription moved = store.observe("a", [&] { calls.push_back("second"); });

  store.setInteger("a", 1);
  EXPECT_EQ(calls, (std::vector<std::string>{"first 1", "second"}));

  calls.clear();
  first = Subscription();  // ends the first observation
  Subscription holder(std::move(moved));
  store.setInteger("a", 2);
  EXPECT_EQ(calls, std::vector<std::string>{"second"});
}

TEST(KeyValueStore, ObserversMayChangeSubscriptionsAndWriteWhileTold) {
  MemoryLog log;
  KeyValueStore store = storeOn(stateWith(std::nullopt), log);
  std::vector<std::string> calls;
  Subscription self, later, added;
  self = store.observe("a", [&] {
    calls.push_back("self");
    self = Subscription();   // ends itself while running
    later = Subscription();  // and one not yet told
    added = store.observe("a", [&] { calls.push_back("added"); });
    store.setInteger("b", store.integer("a") * 10);
  });
  later = store.observe("a", [&] { calls.push_back("later"); });
  const auto b =
      store.observe("b", [&] { calls.push_back("b " + std::to_string(store.integer("b"))); });

  store.setInteger("a", 4);
  EXPECT_EQ(calls, (std::vector<std::string>{"self", "b 40"}));
  store.setInteger("a", 5);
  EXPECT_EQ(calls, (std::vector<std::string>{"self", "b 40", "added"}));
}

TEST(KeyValueStore, SubscriptionMayOutliveTheStore) {
  MemoryLog log;
  Subscription subscription;
  {
    KeyValueStore store = storeOn(stateWith(std::nullopt), log);
    subscription = store.observe("a", [] {});
  }
  SUCCEED();  // destroying `subscription` now must not touch the gone store
}

TEST(BoolBinding, AWriteThroughOneBindingReachesEveryBindingAtOnce) {
  MemoryLog log;
  const auto state = stateWith(std::nullopt);
  KeyValueStore store = storeOn(state, log);
  BoolBinding home(store, "hasSeenOnboarding");
  BoolBinding manager(store, "hasSeenOnboarding");
  std::vector<bool> seenByHome;
  const auto subscription = home.onChange([&](bool value) { seenByHome.push_back(value); });
  EXPECT_FALSE(home.value());

  manager.set(true);
  EXPECT_EQ(seenByHome, std::vector<bool>{true});
  EXPECT_TRUE(home.value());
  EXPECT_EQ(KeyValueStore(std::make_unique<MemoryKeyValueStorage>(state), log)
                .boolean("hasSeenOnboarding"),
            true);
}

}  // namespace
}  // namespace hopster
