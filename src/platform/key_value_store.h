#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/log.h"
#include "platform/observer_list.h"
#include "platform/subscription.h"

namespace hopster {

// Where the store's document lives: a file in real use, memory in tests.
class KeyValueStorage {
 public:
  virtual ~KeyValueStorage() = default;
  // The stored document, or nothing when none was ever written. Throws (any
  // std::exception, saying why) when a document exists but cannot be read;
  // the store then treats it like content it cannot understand.
  [[nodiscard]] virtual std::optional<std::string> load() = 0;
  // Replaces the stored document durably. Returns an error description on failure.
  [[nodiscard]] virtual std::optional<std::string> save(std::string_view document) = 0;
  // Moves a document that could not be read out of the way, keeping it for
  // the user. Returns a one-line description of where it went. Throws when it
  // cannot be moved; the store then never saves over it.
  [[nodiscard]] virtual std::string setAside() = 0;
};

// What to call a stored document in log lines: "Settings file" / "settings
// file" and what its saves keep, "settings".
struct DocumentNames {
  std::string title;
  std::string noun;
  std::string contents;
};

// Moves a document that could not be read out of the way, keeping it for the
// user, and logs one line saying why and where it went. Returns, when it
// could not be moved, the reason every later save must be refused, so the
// unreadable document is never overwritten.
[[nodiscard]] std::optional<std::string> setAsideUnreadable(KeyValueStorage& storage, Log& log,
                                                            const DocumentNames& names,
                                                            const std::string& problem);

// A small persistent key-value store of JSON values, each keeping its JSON
// type. Reads never fail (absent or mistyped values read as the default);
// every write replaces the whole document durably at once and tells the
// observers of that key.
class KeyValueStore {
 public:
  // Loads the document at once. A document that cannot be read is set aside
  // (one log line says where) and the store starts empty.
  KeyValueStore(std::unique_ptr<KeyValueStorage> storage, Log& log);
  ~KeyValueStore();
  KeyValueStore(const KeyValueStore&) = delete;
  KeyValueStore& operator=(const KeyValueStore&) = delete;

  // The stored integer; 0 when absent or not an integer.
  [[nodiscard]] std::int64_t integer(std::string_view key) const;
  void setInteger(std::string_view key, std::int64_t value);

  // The stored array, element by element: each element's text when it is a
  // string, nothing when it is any other value. Nothing at all when the key
  // is absent or holds something other than an array.
  [[nodiscard]] std::optional<std::vector<std::optional<std::string>>> array(
      std::string_view key) const;
  void setStringArray(std::string_view key, const std::vector<std::string>& values);

  // The stored Boolean; `fallback` when absent or not a Boolean.
  [[nodiscard]] bool boolean(std::string_view key, bool fallback = false) const;
  void setBoolean(std::string_view key, bool value);

  // Calls `onChange` after every write of `key`, by any holder of this store.
  [[nodiscard]] Subscription observe(std::string key, std::function<void()> onChange);

 private:
  void load();
  void write(std::string_view key, nlohmann::json value);
  void notify(std::string_view key);

  std::unique_ptr<KeyValueStorage> storage_;
  Log& log_;
  nlohmann::json document_ = nlohmann::json::object();
  // Why saving is off: set when an unreadable document could not be moved
  // aside, so that it is never overwritten.
  std::optional<std::string> saveBlocked_;
  std::map<std::string, ObserverList<>, std::less<>> observers_;
};

// A Boolean bound to one key of the store, false when absent. Every holder of
// a binding to the same key sees a write at once through `onChange`.
class BoolBinding {
 public:
  BoolBinding(KeyValueStore& store, std::string key);
  [[nodiscard]] bool value() const;
  void set(bool value);
  // Calls `onChange` with the new value after every write of the key.
  [[nodiscard]] Subscription onChange(std::function<void(bool)> onChange);

 private:
  KeyValueStore& store_;
  std::string key_;
};

}  // namespace hopster
