// The settings store: its reads, writes and observers, over settings kept in
// memory.
#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/doubles/memory_key_value_storage.h"
#include "platform/key_value_store.h"
#include "platform/linux/memory_log.h"

namespace hopster {
namespace {

using Array = std::vector<std::optional<std::string>>;
using Strings = std::vector<std::string>;
using nlohmann::json;
using State = MemoryKeyValueStorage::State;

// Settings kept in memory, starting as `document`, and the log of the stores
// opened on them.
struct Memory {
  explicit Memory(std::optional<std::string> document) { state->document = std::move(document); }
  std::unique_ptr<KeyValueStore> open() {
    return std::make_unique<KeyValueStore>(std::make_unique<MemoryKeyValueStorage>(state), log);
  }
  std::shared_ptr<State> state = std::make_shared<State>();
  MemoryLog log;
};

TEST(KeyValueStore, ReadsStoredValuesOrDefaults) {
  const struct {
    const char* document;
    std::int64_t integer;
    std::optional<Array> array;
    std::optional<bool> boolean;  // nothing: reads as the fallback
  } cases[] = {
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
  for (const auto& c : cases) {
    SCOPED_TRACE(c.document);
    Memory m(c.document);
    const auto store = m.open();
    EXPECT_EQ(store->integer("k"), c.integer);
    EXPECT_EQ(store->array("k"), c.array);
    EXPECT_EQ(store->boolean("k", false), c.boolean.value_or(false));
    EXPECT_EQ(store->boolean("k", true), c.boolean.value_or(true));
    EXPECT_TRUE(m.log.lines().empty());
  }
}

TEST(KeyValueStore, UnusableDocumentIsSetAsideWithOneLogLine) {
  const std::string deep = R"({"k": )" + std::string(100000, '[') + std::string(100000, ']') + "}";
  const struct {
    std::string document;
    Status loadError;
    std::string reason;
  } cases[] = {
      {"", std::nullopt, "the file is empty"},
      {"hello", std::nullopt, "not valid JSON, error at byte 1"},
      {"{\"k\": \"\xc3\x28\"}", std::nullopt, "not valid JSON, error at byte 9"},
      {R"(["totalJumps", 3])", std::nullopt, "expected a JSON object, found array"},
      {"null", std::nullopt, "expected a JSON object, found null"},
      {deep, std::nullopt, "nested deeper than 64 levels"},
      {"{}", Failure{FailureKind::permission, "Permission\ndenied"}, "Permission denied"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    Memory m(c.document);
    m.state->loadError = c.loadError;
    const auto store = m.open();
    EXPECT_EQ(m.log.lines(), Strings{"Settings file could not be read (" + c.reason +
                                     "); moved it to memory (set-aside #1)"});
    EXPECT_EQ(m.state->setAside, Array{c.document});

    store->setInteger("totalJumps", 3);
    EXPECT_EQ(json::parse(*m.state->document), json({{"totalJumps", 3}}));
    EXPECT_EQ(m.log.lines().size(), 1u);
  }
}

// A document that cannot be kept aside, unreadable or mistyped, is never
// saved over; each write says so, and the view still shows it.
TEST(KeyValueStore, ADocumentThatCannotBeKeptAsideIsNeverOverwritten) {
  const struct {
    const char* document;
    std::optional<std::string> State::*error;
    const char* logged;
  } cases[] = {
      {"not json", &State::setAsideError, "could not move it aside (Disk error)"},
      {R"({"totalJumps": "995"})", &State::copyError, "could not copy it aside (Disk error)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.document);
    Memory m(c.document);
    *m.state.*c.error = "Disk error";
    const auto store = m.open();
    store->setBoolean("hasSeenOnboarding", true);
    store->setBoolean("hasSeenOnboarding", false);
    EXPECT_FALSE(store->boolean("hasSeenOnboarding", true));
    EXPECT_EQ(m.state->document, c.document);
    EXPECT_TRUE(m.state->saves.empty());
    const auto& lines = m.log.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find(c.logged), std::string::npos) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("Failed to save settings: ")) << lines[1];
    EXPECT_EQ(lines[2], lines[1]);
  }
}

TEST(KeyValueStore, ObserversAreToldAfterEachWriteOfTheirKeyAndMayChangeThingsMeanwhile) {
  Memory m(std::nullopt);
  auto store = m.open();
  Strings calls;
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
  EXPECT_EQ(calls, (Strings{"a1", "a1", "a2", "self", "b40", "c4", "c5", "c5"}));

  store.reset();
  added.cancel();  // a subscription may outlive its store
}

// A whole-number float total (7.0) counts as the integer it is.
TEST(KeyValueStore, AMistypedSettingsKeyIsCopiedAsideOnceAndOnlyItTakesItsDefault) {
  const json good = {{"totalJumps", 7.0}, {"unlockedTrophies", {"a"}}, {"hasSeenOnboarding", true}};
  for (const char* key : {"totalJumps", "unlockedTrophies", "hasSeenOnboarding"}) {
    for (const char* bad : {R"("995")", "true", "{}", R"(["a", 1])", "995.5", "1e19"}) {
      json document = good;
      document["unknown"] = json::parse(bad);
      document[key] = json::parse(bad);
      if (document[key] == good[key]) continue;  // true is a good "hasSeenOnboarding"
      SCOPED_TRACE(std::string(key) + " = " + bad);
      Memory m(document.dump());
      const auto store = m.open();
      store->reload();  // the same content again: no second copy
      ASSERT_EQ(m.log.lines().size(), 1u);
      EXPECT_TRUE(m.log.lines()[0].starts_with("Settings file has a value of the wrong type (\"" +
                                               std::string(key) + "\" holds "))
          << m.log.lines()[0];
      EXPECT_EQ(m.state->copies, Strings{document.dump()});
      EXPECT_EQ(m.state->document, document.dump());  // a copy, not a move
      EXPECT_EQ(store->integer("totalJumps"), key == std::string("totalJumps") ? 0 : 7);

      store->setInteger("other", 1);
      json expected = document;  // without the mistyped key
      expected.erase(key);
      expected["other"] = 1;
      EXPECT_EQ(json::parse(*m.state->document), expected);
    }
  }
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
    Memory m(c.document);
    m.state->saveError = Failure{FailureKind::noSpace, "Disk full"};
    const auto store = m.open();
    EXPECT_EQ(store->addToInteger("n", c.delta), c.sum) << c.document;
    EXPECT_EQ(store->integer("n"), c.sum) << c.document;
    EXPECT_EQ(m.log.lines(), Strings{"Failed to save settings: Disk full"});
    m.state->saveError.reset();
    store->addToInteger("n", 0);
    EXPECT_EQ(json::parse(*m.state->document)["n"], c.sum) << c.document;
  }
}

TEST(KeyValueStore, WritesBringInAndTellOfOtherWritersChangesAndReloadTellsOnlyChangedKeys) {
  Memory m(R"({"same": 1, "gone": 2})");
  const auto a = m.open(), b = m.open();
  Strings told;
  std::vector<Subscription> watching;
  for (const char* key : {"same", "gone", "n", "ids", "never"}) {
    watching.push_back(a->observe(key, [&told, key] { told.emplace_back(key); }));
  }
  b->addToStringArray("ids", {"b", "a"});
  a->addToInteger("n", 1);
  a->addToStringArray("ids", {"a", "c"});
  EXPECT_EQ(told, (Strings{"ids", "n", "ids"}));
  told.clear();
  EXPECT_EQ(b->update([](json& document) { document.erase("gone"); }), std::nullopt);
  EXPECT_EQ(b->update([](json&) {}), std::nullopt);
  b->addToInteger("n", 10);
  a->reload();
  EXPECT_EQ(told, (Strings{"gone", "n"}));  // "ids" and "same" are as they were
  EXPECT_EQ(a->array("ids"), (Array{"b", "a", "c"}));
  EXPECT_EQ(m.state->saves.size(), 5u);  // the empty change wrote nothing
}

// A change that writes to its own store would wait for its own lock.
TEST(KeyValueStore, AChangeThatWritesToItsOwnStoreIsRefusedNotDeadlocked) {
  Memory m(R"({"n": 1})");
  const auto store = m.open();
  EXPECT_EQ(store->update([&](json&) { store->setInteger("n", 5); }), std::nullopt);
  EXPECT_EQ(store->integer("n"), 1);
  EXPECT_EQ(m.log.lines().size(), 1u);
  EXPECT_TRUE(m.log.lines()[0].starts_with("Failed to save settings: "));
}

TEST(KeyValueStore, LargeFlatDocumentsParseInLinearTime) {
  // Parsing quadratic in an array's length took 6 s for the 600 KB document
  // and would take minutes for the 3 MB one. Linear parsing takes well under
  // a second of the process's processor time, even unoptimised under the
  // sanitizers; processor time, unlike the wall clock, does not grow when the
  // machine is busy with other work.
  const std::clock_t start = std::clock();
  for (const std::size_t objects : {75000u, 375000u}) {
    std::string text = R"({"items": [)";
    for (std::size_t i = 0; i < objects; ++i) text += i == 0 ? R"({"a":1})" : R"(,{"a":1})";
    text += "]}";
    Memory m(text);
    EXPECT_EQ(m.open()->array("items")->size(), objects);
    EXPECT_TRUE(m.log.lines().empty());
  }
  EXPECT_LT(static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC, 60.0);
}

TEST(BoolBinding, AWriteThroughOneBindingReachesEveryBindingAtOnce) {
  Memory m(std::nullopt);
  const auto store = m.open();
  BoolBinding home(*store, "hasSeenOnboarding"), manager(*store, "hasSeenOnboarding");
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
