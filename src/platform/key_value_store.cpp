#include "platform/key_value_store.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <system_error>
#include <utility>

#include <nlohmann/json.hpp>

#include "platform/json_document.h"
#include "platform/settings_keys.h"

namespace hopster {

namespace {

using nlohmann::json;

// Deeper documents are refused before parsing, so no content can make later
// recursive work on the document (printing it, destroying it) exhaust the stack.
constexpr int kMaxDepth = 64;

const DocumentNames kNames{"Settings file", "settings file", "settings"};

const json* lookup(const json& document, std::string_view key) {
  const auto found = document.find(key);
  return found == document.end() ? nullptr : &*found;
}

std::int64_t integerValue(const json* value) {
  if (value == nullptr || !value->is_number_integer()) return 0;
  if (value->is_number_unsigned()) {
    const auto magnitude = value->get<std::uint64_t>();
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    return magnitude > kMax ? 0 : static_cast<std::int64_t>(magnitude);
  }
  return value->get<std::int64_t>();
}

std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
  std::int64_t sum = 0;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b > 0 ? std::numeric_limits<std::int64_t>::max()
               : std::numeric_limits<std::int64_t>::min();
}

std::size_t fingerprintOf(std::string_view text) { return std::hash<std::string_view>{}(text); }

// The failure an exception caught with `catch (...)` reports: its message,
// and for a system error the kind of its error code.
Failure failureOf(const std::exception_ptr& exception) {
  Failure failure{FailureKind::other, describeException(exception)};
  try {
    std::rethrow_exception(exception);
  } catch (const std::system_error& error) {
    failure.kind = Failure::ofErrorCode(error.code()).kind;
  } catch (...) {
  }
  return failure;
}

// Runs the cleanup at the end of a scope, however it is left.
template <class Cleanup>
struct ScopeExit {
  Cleanup cleanup;
  ~ScopeExit() { cleanup(); }
};
template <class Cleanup>
ScopeExit(Cleanup) -> ScopeExit<Cleanup>;

}  // namespace

// One reading of the storage: the document made usable, or nothing when it
// could not be read (the document last read or saved is then the best there
// is), and why a save over it would be refused.
struct KeyValueStore::Reading {
  std::optional<json> document;
  Status blocked;
};

struct KeyValueStore::Documents {
  json stored = json::object();
  json view = json::object();
};

KeyValueStore::KeyValueStore(std::unique_ptr<KeyValueStorage> storage, Log& log)
    : storage_(std::move(storage)),
      log_(log),
      documents_(std::make_unique<Documents>()),
      stored_(documents_->stored),
      document_(documents_->view) {
  reload();
}

KeyValueStore::~KeyValueStore() { *alive_ = false; }

Status setAsideUnreadable(KeyValueStorage& storage, Log& log, const DocumentNames& names,
                          const std::string& problem) {
  std::string outcome;
  Status blocked;
  try {
    outcome = "moved it to " + storage.setAside();
  } catch (...) {
    Failure failure = failureOf(std::current_exception());
    outcome = "could not move it aside (" + failure.message + "), so " + names.contents +
              " are not saved this time";
    failure.message =
        "the unreadable " + names.noun + " is kept in place (" + failure.message + ")";
    blocked = std::move(failure);
  }
  log.line(oneLine(names.title + " could not be read (" + problem + "); " + outcome));
  return blocked;
}

KeyValueStore::Reading KeyValueStore::readStorage() {
  std::string problem;
  std::size_t fingerprint = 0;
  try {
    const Outcome<std::optional<std::string>> loaded = storage_->load();
    if (!loaded) {
      problem = loaded.error().message;
      fingerprint = fingerprintOf("\x01" + problem);
    } else if (const std::optional<std::string>& text = *loaded; !text) {
      return {json::object(), std::nullopt};
    } else {
      json parsed;
      const Status unusable = parseJsonObject(*text, kMaxDepth, parsed);
      if (!unusable) {
        const std::vector<std::string> problems = removeMistypedSettings(parsed);
        if (problems.empty()) return {std::move(parsed), std::nullopt};
        keepMistypedCopy(*text, problems);
        return {std::move(parsed), lastBad_->blocked};
      }
      problem = unusable->message;
      fingerprint = fingerprintOf(*text);
    }
  } catch (...) {
    problem = describeException(std::current_exception());
    fingerprint = fingerprintOf("\x01" + problem);
  }

  // The same unreadable document that could not be moved before: still refuse
  // to save over it, without saying so again.
  if (lastBad_ && lastBad_->blocked && lastBad_->fingerprint == fingerprint) {
    return {std::nullopt, lastBad_->blocked};
  }
  // The unreadable document may hold the user's progress: keep it.
  Status blocked = setAsideUnreadable(*storage_, log_, kNames, problem);
  if (blocked) lastBad_ = BadDocument{fingerprint, blocked};
  return {std::nullopt, std::move(blocked)};
}

void KeyValueStore::keepMistypedCopy(std::string_view text,
                                     const std::vector<std::string>& problems) {
  // Every read of an unchanged file finds the same values: copy it once.
  const std::size_t fingerprint = fingerprintOf(text);
  if (lastBad_ && lastBad_->fingerprint == fingerprint) return;
  std::string what;
  for (const std::string& problem : problems) what += (what.empty() ? "" : "; ") + problem;
  const std::string keys =
      problems.size() == 1 ? "that key reads as its default" : "those keys read as their defaults";
  lastBad_ = BadDocument{fingerprint, std::nullopt};
  try {
    const std::string where = storage_->keepCopy(text);
    log_.line(oneLine("Settings file has a value of the wrong type (" + what + "); copied it to " +
                      where + ", and " + keys));
  } catch (...) {
    Failure failure = failureOf(std::current_exception());
    log_.line(oneLine("Settings file has a value of the wrong type (" + what +
                      "); could not copy it aside (" + failure.message +
                      "), so settings are not saved this time"));
    failure.message = "the settings file with a value of the wrong type is kept in place (" +
                      failure.message + ")";
    lastBad_->blocked = std::move(failure);
  }
}

void KeyValueStore::runLocked(const std::function<void()>& work) {
  changing_ = true;
  const ScopeExit done{[this] { changing_ = false; }};
  Status problem = storage_->whileLocked(work);
  if (problem && problem != lastLockProblem_) {
    log_.line(oneLine("Settings are read and saved without a lock: " + problem->message));
  }
  lastLockProblem_ = std::move(problem);
}

Status KeyValueStore::saveDocument(const json& document, const BeforeReplace& beforeReplace) {
  try {
    // Text that is not valid UTF-8 is saved with replacement characters
    // rather than refused, so a write always reaches the disk.
    return storage_->save(document.dump(2, ' ', false, json::error_handler_t::replace) + '\n',
                          beforeReplace);
  } catch (...) {
    return failureOf(std::current_exception());
  }
}

Status KeyValueStore::commit(const Change& change, const BeforeReplace& beforeReplace,
                             bool retryOnFailure) {
  if (changing_) {
    return Failure{FailureKind::other,
                   "the settings cannot be changed while they are being changed"};
  }
  Status error;
  runLocked([&] {
    Reading current = readStorage();
    if (current.document) stored_ = std::move(*current.document);
    json changed = withPending(stored_);
    change(changed);
    if (!changed.is_object()) {
      error = Failure{FailureKind::other, "the change left no JSON object to save"};
    } else if (changed != stored_) {
      error = current.blocked ? current.blocked : saveDocument(changed, beforeReplace);
    }
    if (!error) {
      stored_ = std::move(changed);
      pending_.clear();
    } else if (retryOnFailure) {
      pending_.push_back(change);
    }
    document_ = withPending(stored_);
  });
  return error;
}

json KeyValueStore::withPending(json document) const {
  for (const Change& change : pending_) change(document);
  return document;
}

Status KeyValueStore::update(const Change& change, const BeforeReplace& beforeReplace) {
  const json before = document_;
  Status error = commit(change, beforeReplace, false);
  notifyChanges(before);
  return error;
}

void KeyValueStore::reload() {
  if (changing_) return;
  const json before = document_;
  // Under the lock too: setting an unreadable file aside must not race a
  // writer's rename, which would move the writer's good document instead.
  runLocked([this] {
    Reading current = readStorage();
    if (current.document) stored_ = std::move(*current.document);
    document_ = withPending(stored_);
  });
  notifyChanges(before);
}

void KeyValueStore::finishWrite(const json& before, const Status& error) {
  if (error) log_.line(oneLine("Failed to save settings: " + error->message));
  notifyChanges(before);
}

void KeyValueStore::write(const Change& change) {
  const json before = document_;
  finishWrite(before, commit(change, {}, true));
}

std::int64_t KeyValueStore::integer(std::string_view key) const {
  return integerValue(lookup(document_, key));
}

void KeyValueStore::setInteger(std::string_view key, std::int64_t value) {
  write([key = std::string(key), value](json& document) { document[key] = value; });
}

std::int64_t KeyValueStore::addToInteger(std::string_view key, std::int64_t delta) {
  const json before = document_;
  const auto error = commit(
      [key = std::string(key), delta](json& document) {
        document[key] = saturatingAdd(integerValue(lookup(document, key)), delta);
      },
      {}, true);
  const std::int64_t result = integer(key);
  finishWrite(before, error);
  return result;
}

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
  write([key = std::string(key), values](json& document) { document[key] = values; });
}

void KeyValueStore::addToStringArray(std::string_view key, const std::vector<std::string>& values,
                                     const std::vector<std::string>& order) {
  write([key = std::string(key), values, order](json& document) {
    json& stored = document[key];
    if (!stored.is_array()) stored = json::array();
    for (const std::string& value : values) {
      if (std::find(stored.begin(), stored.end(), value) == stored.end()) stored.push_back(value);
    }
    if (order.empty()) return;
    json arranged = json::array();
    for (const std::string& value : order) {
      if (std::find(stored.begin(), stored.end(), value) != stored.end()) arranged.push_back(value);
    }
    for (const json& value : stored) {
      if (!value.is_string() ||
          std::find(order.begin(), order.end(), value.get<std::string>()) == order.end()) {
        arranged.push_back(value);
      }
    }
    stored = std::move(arranged);
  });
}

bool KeyValueStore::boolean(std::string_view key, bool fallback) const {
  const json* value = lookup(document_, key);
  return value != nullptr && value->is_boolean() ? value->get<bool>() : fallback;
}

void KeyValueStore::setBoolean(std::string_view key, bool value) {
  write([key = std::string(key), value](json& document) { document[key] = value; });
}

Subscription KeyValueStore::observe(std::string key, std::function<void()> onChange) {
  return observers_[std::move(key)].add(std::move(onChange));
}

void KeyValueStore::notifyChanges(const json& before) {
  std::vector<std::string> changed;
  for (const auto& [key, list] : observers_) {
    const json* old = lookup(before, key);
    const json* now = lookup(document_, key);
    if ((old == nullptr) != (now == nullptr) || (old != nullptr && *old != *now)) {
      changed.push_back(key);
    }
  }
  // Observers may subscribe, unsubscribe, write or even destroy this store
  // while being told; nothing here touches it once it is gone.
  const std::shared_ptr<bool> alive = alive_;
  for (const std::string& key : changed) {
    if (!*alive) return;
    const auto found = observers_.find(key);
    if (found != observers_.end()) found->second.notify();
  }
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
