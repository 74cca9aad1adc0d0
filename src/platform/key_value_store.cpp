#include "platform/key_value_store.h"

#include "platform/json_document.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <utility>

namespace hopster {

namespace {

using nlohmann::json;

// Deeper documents are refused while parsing, so no content can make later
// recursive work on the document (printing it, destroying it) exhaust the stack.
constexpr int kMaxDepth = 64;

// Parses `text` into `out`. Returns why the text is not a usable document.
std::optional<std::string> parseDocument(std::string_view text, json& out) {
  return parseJsonObject(text, kMaxDepth, out);
}

const json* lookup(const json& document, std::string_view key) {
  const auto found = document.find(key);
  return found == document.end() ? nullptr : &*found;
}

}  // namespace

KeyValueStore::KeyValueStore(std::unique_ptr<KeyValueStorage> storage, Log& log)
    : storage_(std::move(storage)), log_(log) {
  load();
}

KeyValueStore::~KeyValueStore() = default;

void KeyValueStore::load() {
  std::string problem;
  try {
    const std::optional<std::string> text = storage_->load();
    if (!text) return;
    json parsed;
    const std::optional<std::string> unusable = parseDocument(*text, parsed);
    if (!unusable) {
      document_ = std::move(parsed);
      return;
    }
    problem = *unusable;
  } catch (...) {
    problem = describeException(std::current_exception());
  }

  // The unreadable document may hold the user's progress: keep it, start empty.
  saveBlocked_ =
      setAsideUnreadable(*storage_, log_, {"Settings file", "settings file", "settings"}, problem);
}

std::optional<std::string> setAsideUnreadable(KeyValueStorage& storage, Log& log,
                                              const DocumentNames& names,
                                              const std::string& problem) {
  std::string outcome;
  std::optional<std::string> blocked;
  try {
    outcome = "moved it to " + storage.setAside();
  } catch (...) {
    const std::string reason = describeException(std::current_exception());
    outcome = "could not move it aside (" + reason + "), so " + names.contents +
              " are not saved this time";
    blocked = "the unreadable " + names.noun + " is kept in place (" + reason + ")";
  }
  log.line(oneLine(names.title + " could not be read (" + problem + "); " + outcome));
  return blocked;
}

std::int64_t KeyValueStore::integer(std::string_view key) const {
  const json* value = lookup(document_, key);
  if (value == nullptr || !value->is_number_integer()) return 0;
  if (value->is_number_unsigned()) {
    const auto magnitude = value->get<std::uint64_t>();
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    return magnitude > kMax ? 0 : static_cast<std::int64_t>(magnitude);
  }
  return value->get<std::int64_t>();
}

void KeyValueStore::setInteger(std::string_view key, std::int64_t value) { write(key, value); }

std::optional<std::vector<std::optional<std::string>>> KeyValueStore::array(
    std::string_view key) const {
  const json* value = lookup(document_, key);
  if (value == nullptr || !value->is_array()) return std::nullopt;
  std::vector<std::optional<std::string>> elements;
  elements.reserve(value->size());
  for (const json& element : *value) {
    if (element.is_string()) {
      elements.emplace_back(element.get<std::string>());
    } else {
      elements.emplace_back(std::nullopt);
    }
  }
  return elements;
}

void KeyValueStore::setStringArray(std::string_view key, const std::vector<std::string>& values) {
  write(key, json(values));
}

bool KeyValueStore::boolean(std::string_view key, bool fallback) const {
  const json* value = lookup(document_, key);
  return value != nullptr && value->is_boolean() ? value->get<bool>() : fallback;
}

void KeyValueStore::setBoolean(std::string_view key, bool value) { write(key, value); }

Subscription KeyValueStore::observe(std::string key, std::function<void()> onChange) {
  return observers_[std::move(key)].add(std::move(onChange));
}

void KeyValueStore::write(std::string_view key, json value) {
  document_[std::string(key)] = std::move(value);
  std::optional<std::string> error = saveBlocked_;
  if (!error) {
    try {
      // Text that is not valid UTF-8 is saved with replacement characters
      // rather than refused, so a write always reaches the disk.
      error = storage_->save(document_.dump(2, ' ', false, json::error_handler_t::replace) + '\n');
    } catch (...) {
      error = describeException(std::current_exception());
    }
  }
  if (error) log_.line(oneLine("Failed to save settings: " + *error));
  notify(key);
}

void KeyValueStore::notify(std::string_view key) {
  // The list copes with observers that subscribe, unsubscribe, write or even
  // destroy this store while being told; nothing here runs after it.
  const auto found = observers_.find(key);
  if (found != observers_.end()) found->second.notify();
}

BoolBinding::BoolBinding(KeyValueStore& store, std::string key)
    : store_(store), key_(std::move(key)) {}

bool BoolBinding::value() const { return store_.boolean(key_, false); }

void BoolBinding::set(bool value) { store_.setBoolean(key_, value); }

Subscription BoolBinding::onChange(std::function<void(bool)> onChange) {
  return store_.observe(key_, [store = &store_, key = key_, onChange = std::move(onChange)] {
    onChange(store->boolean(key, false));
  });
}

}  // namespace hopster
