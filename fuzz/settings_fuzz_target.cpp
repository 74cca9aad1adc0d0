#include "settings_fuzz_target.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <simdjson.h>

#include "fuzz_invariant.h"
#include "platform/doubles/memory_key_value_storage.h"
#include "platform/key_value_store.h"
#include "platform/linux/memory_log.h"
#include "reminders/reminder_schedule.h"

namespace hopster {
namespace {

// The settings' own keys, each written only with its own type.
enum class KeyType { integer, stringArray, boolean };
constexpr std::array<std::pair<std::string_view, KeyType>, 3> kSettingsKeys{{
    {"totalJumps", KeyType::integer},
    {"unlockedTrophies", KeyType::stringArray},
    {"hasSeenOnboarding", KeyType::boolean},
}};
// Enough keys of a document to read; reading more only slows the fuzzer.
constexpr std::size_t kMostKeysRead = 64;

// Everything the store's typed reads show of one key.
struct KeyView {
  std::int64_t integer = 0;
  std::optional<std::vector<std::optional<std::string>>> array;
  bool booleanOrFalse = false;
  bool booleanOrTrue = true;

  bool operator==(const KeyView&) const = default;
};

KeyView viewOf(const KeyValueStore& store, std::string_view key) {
  return {store.integer(key), store.array(key), store.boolean(key, false),
          store.boolean(key, true)};
}

// The settings' keys, then the document's own top-level keys. simdjson finds
// them: it shares no code with the store's parser and builds no deep tree.
std::vector<std::string> keysToRead(std::string_view document) {
  std::vector<std::string> keys;
  for (const auto& [key, type] : kSettingsKeys) keys.emplace_back(key);
  static simdjson::dom::parser parser;
  simdjson::dom::object object;
  if (parser.parse(simdjson::padded_string(document)).get(object)) return keys;
  for (const auto field : object) {
    if (keys.size() == kMostKeysRead) break;
    if (std::find(keys.begin(), keys.end(), field.key) == keys.end()) keys.emplace_back(field.key);
  }
  return keys;
}

void requireOneLineEach(const MemoryLog& log) {
  for (const std::string& line : log.lines()) {
    requireInvariant(line.find_first_of("\r\n") == std::string::npos,
                     "every log line is one line, whatever the document holds");
  }
}

// Writes `key` with a value other than the one it shows, of the key's own
// type for a settings key and of a type picked by `pick` for any other.
// Returns what the key must show afterwards.
KeyView writeOnce(KeyValueStore& store, const std::string& key, const KeyView& before,
                  std::size_t pick) {
  auto type = static_cast<KeyType>(pick % 3);
  for (const auto& [name, own] : kSettingsKeys) {
    if (name == key) type = own;
  }
  KeyView after;
  switch (type) {
    case KeyType::integer:
      after.integer = before.integer == 7 ? 8 : 7;
      store.setInteger(key, after.integer);
      break;
    case KeyType::stringArray: {
      std::vector<std::string> values;
      for (const auto& element : before.array.value_or(std::vector<std::optional<std::string>>{})) {
        if (element) values.push_back(*element);
      }
      values.emplace_back("fuzz");
      store.setStringArray(key, values);
      after.array.emplace(values.begin(), values.end());
      break;
    }
    case KeyType::boolean:
      after.booleanOrFalse = after.booleanOrTrue = !before.booleanOrFalse;
      store.setBoolean(key, after.booleanOrFalse);
      break;
  }
  return after;
}

void checkSettingsStore(std::string_view document, SettingsOutcome& outcome) {
  const std::vector<std::string> keys = keysToRead(document);
  auto storage = std::make_unique<MemoryKeyValueStorage>(std::string(document));
  const std::shared_ptr<MemoryKeyValueStorage::State> state = storage->state();
  MemoryLog log;
  KeyValueStore store(std::move(storage), log);
  outcome.settingsLogged = !log.lines().empty();

  std::vector<KeyView> before;
  for (const std::string& key : keys) before.push_back(viewOf(store, key));
  for (std::size_t i = 0; i < kSettingsKeys.size(); ++i) {
    if (before[i] != KeyView{}) ++outcome.settingsKeysSet;
  }

  const std::size_t target = document.size() % keys.size();
  const KeyView written =
      writeOnce(store, keys[target], before[target], document.size() / keys.size());
  requireOneLineEach(log);
  requireInvariant(state->saves.size() == 1, "a write that changes a value saves once");
  for (std::size_t i = 0; i < keys.size(); ++i) {
    requireInvariant(viewOf(store, keys[i]) == (i == target ? written : before[i]),
                     "a write changes its own key and no other");
  }

  // What the store saved is what the app reads when it starts again.
  MemoryLog freshLog;
  const KeyValueStore fresh(std::make_unique<MemoryKeyValueStorage>(state), freshLog);
  requireInvariant(freshLog.lines().empty(), "a saved document reads back without complaint");
  for (const std::string& key : keys) {
    requireInvariant(viewOf(fresh, key) == viewOf(store, key),
                     "a saved document reads back as the store showed it");
  }
}

ScheduledReminder addedReminder() {
  return {"fuzz-reminder", "Time to jump", "Your rope is waiting \u2013 \u00fcml\u00e4ut", true,
          1767621159.25};
}

void checkReminderSchedule(std::string_view document, SettingsOutcome& outcome) {
  auto storage = std::make_unique<MemoryKeyValueStorage>(std::string(document));
  const std::shared_ptr<MemoryKeyValueStorage::State> state = storage->state();
  MemoryLog log;
  ReminderSchedule schedule(std::move(storage), log);
  const ReminderScheduleState first = schedule.read();
  outcome.reminders = first.reminders.size();
  outcome.scheduleLogged = !log.lines().empty();
  requireInvariant(schedule.read() == first, "the schedule reads the same twice");

  const auto error =
      schedule.update([](ReminderScheduleState& s) { s.reminders.push_back(addedReminder()); });
  requireInvariant(!error, "a reminder can be added to whatever the schedule read");
  requireOneLineEach(log);
  ReminderScheduleState expected = first;
  expected.reminders.push_back(addedReminder());
  requireInvariant(schedule.read() == expected, "an added reminder joins the ones read");

  MemoryLog freshLog;
  ReminderSchedule fresh(std::make_unique<MemoryKeyValueStorage>(state), freshLog);
  requireInvariant(fresh.read() == expected && freshLog.lines().empty(),
                   "a saved schedule reads back the same without complaint");
}

}  // namespace

SettingsOutcome exerciseSettings(std::string_view document) {
  SettingsOutcome outcome;
  checkSettingsStore(document, outcome);
  checkReminderSchedule(document, outcome);
  return outcome;
}

int fuzzSettings(const std::uint8_t* data, std::size_t size) {
  (void)exerciseSettings(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}

}  // namespace hopster
