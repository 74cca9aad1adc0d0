#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "platform/linux/atomic_file.h"
#include "platform/log.h"
#include "platform/observer_list.h"
#include "platform/subscription.h"

namespace hopster {

// Where the store's document lives: a file in real use, memory in tests.
class KeyValueStorage {
 public:
  using BeforeReplace = hopster::BeforeReplace;

  virtual ~KeyValueStorage() = default;
  // The stored document, or nothing when none was ever written; or why a
  // document that exists cannot be read, which the store then treats like
  // content it cannot understand.
  [[nodiscard]] virtual Outcome<std::optional<std::string>> load() = 0;
  // Replaces the stored document durably, running `beforeReplace` (when
  // given) once the new document is complete but not yet in place; its
  // failure aborts the save. Returns the failure, the old document then
  // staying as it was.
  [[nodiscard]] virtual Status save(std::string_view document,
                                    const BeforeReplace& beforeReplace = {}) = 0;
  // Moves a document that could not be read out of the way, keeping it for
  // the user. Returns a one-line description of where it went. Throws when it
  // cannot be moved; the store then never saves over it.
  [[nodiscard]] virtual std::string setAside() = 0;
  // Keeps a copy of `document`, as just loaded, beside the stored one for the
  // user, never replacing anything. Returns a one-line description of where
  // it went. Throws when it cannot be kept.
  [[nodiscard]] virtual std::string keepCopy(std::string_view document) = 0;
  // Runs `work` holding the document's exclusive lock, so that no other
  // holder of the same document, in this process or another, runs its own
  // locked work meanwhile. Not reentrant: `work` must not ask for the lock
  // again. When the lock cannot be taken, `work` runs all the same (a write
  // without the lock only risks a race; a refused one would surely be lost)
  // and the reason is returned.
  [[nodiscard]] virtual Status whileLocked(const std::function<void()>& work) = 0;
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
// could not be moved, the reason every later save must be refused (of the
// kind the move failed with), so the unreadable document is never overwritten.
[[nodiscard]] Status setAsideUnreadable(KeyValueStorage& storage, Log& log,
                                        const DocumentNames& names, const std::string& problem);

// A small persistent key-value store of JSON values, each keeping its JSON
// type. Reads never fail (absent or mistyped values read as the default) and
// come from this store's view of the document. Every write is one
// read-change-write under the storage's lock: the current document is read
// again, the change applied to it and the whole replaced durably at once, so
// writers in other processes never lose each other's updates. After each
// write or reload, observers hear of every key whose value changed, by this
// store or by another writer. A typed write (setInteger, addToInteger, …)
// whose save fails is logged and still shows in this store's view; it is
// kept and made again, on the document as it is then, by the next write, so
// a passing failure such as a full disk loses nothing.
//
// The settings' own keys must hold their types: "totalJumps" a whole number
// (995.0 counts as 995), "unlockedTrophies" an array of strings,
// "hasSeenOnboarding" a Boolean. A document with any of them mistyped is
// copied aside once (one log line says which key, why and where), and only
// that key reads as its default; the next write drops or rewrites it. Other
// keys are kept as they are.
class KeyValueStore {
 public:
  using BeforeReplace = hopster::BeforeReplace;
  using Change = std::function<void(nlohmann::json& document)>;

  // Loads the document at once. A document that cannot be read is set aside
  // (one log line says where) and the store starts empty.
  KeyValueStore(std::unique_ptr<KeyValueStorage> storage, Log& log);
  ~KeyValueStore();
  KeyValueStore(const KeyValueStore&) = delete;
  KeyValueStore& operator=(const KeyValueStore&) = delete;

  // The stored integer; 0 when absent or not an integer.
  [[nodiscard]] std::int64_t integer(std::string_view key) const;
  void setInteger(std::string_view key, std::int64_t value);
  // Adds `delta` to the integer stored now (0 when absent or mistyped),
  // saturating at the limits of std::int64_t. Returns the new value, also
  // when the save failed (that is logged).
  std::int64_t addToInteger(std::string_view key, std::int64_t delta);

  // The stored array, element by element: each element's text when it is a
  // string, nothing when it is any other value. Nothing at all when the key
  // is absent or holds something other than an array.
  [[nodiscard]] std::optional<std::vector<std::optional<std::string>>> array(
      std::string_view key) const;
  void setStringArray(std::string_view key, const std::vector<std::string>& values);
  // Appends the `values` the stored array does not hold yet, keeping what it
  // holds in its order; a key without an array gets `values` without repeats.
  // With `order`, the strings it lists then come first, in its order, and the
  // others follow in their stored order.
  void addToStringArray(std::string_view key, const std::vector<std::string>& values,
                        const std::vector<std::string>& order = {});

  // The stored Boolean; `fallback` when absent or not a Boolean.
  [[nodiscard]] bool boolean(std::string_view key, bool fallback = false) const;
  void setBoolean(std::string_view key, bool value);

  // The general read-change-write: under the lock, re-reads the document,
  // calls `change` on it (an object) and, unless it left the document as it
  // was, saves it, running `beforeReplace` just before the new file replaces
  // the old (with an empty path for storage that has no files). Returns why
  // the save failed, without logging it; the change is then dropped, and
  // this store's view shows only what was saved. `change` must not write to
  // this store.
  Status update(const Change& change, const BeforeReplace& beforeReplace = {});

  // Reads the document again and tells the observers of every key whose
  // value differs from this store's view. For when another process may have
  // written it.
  void reload();

  // Calls `onChange` after every change of `key`'s value, by any holder of
  // this store or, once seen by a write or reload, by another writer.
  [[nodiscard]] Subscription observe(std::string key, std::function<void()> onChange);

 private:
  struct Reading;
  // What a bad document did last time it was seen, so it is dealt with once.
  struct BadDocument {
    std::size_t fingerprint = 0;
    Status blocked;
  };

  [[nodiscard]] Reading readStorage();
  void keepMistypedCopy(std::string_view text, const std::vector<std::string>& problems);
  Status saveDocument(const nlohmann::json& document, const BeforeReplace& beforeReplace);
  void runLocked(const std::function<void()>& work);
  // One read-change-write, leaving the view updated and the observers untold.
  // `retryOnFailure` keeps a change whose save failed for the next write.
  Status commit(const Change& change, const BeforeReplace& beforeReplace, bool retryOnFailure);
  [[nodiscard]] nlohmann::json withPending(nlohmann::json document) const;
  void write(const Change& change);
  void finishWrite(const nlohmann::json& before, const Status& error);
  void notifyChanges(const nlohmann::json& before);

  std::unique_ptr<KeyValueStorage> storage_;
  Log& log_;
  // The document as last read or saved, and this store's view of it: that
  // document with the pending changes made. Held apart so this header needs
  // only nlohmann's declarations, not the whole library.
  struct Documents;
  std::unique_ptr<Documents> documents_;
  nlohmann::json& stored_;
  nlohmann::json& document_;
  // Typed writes whose save failed, oldest first, each owning what it needs.
  std::vector<Change> pending_;
  // The last document that could not be used whole: one not moved aside, or
  // one with mistyped keys. Saves over it are refused while `blocked` says why.
  std::optional<BadDocument> lastBad_;
  Status lastLockProblem_;
  // Set while a change runs under the lock, whose nesting would deadlock.
  bool changing_ = false;
  std::map<std::string, ObserverList<>, std::less<>> observers_;
  // Cleared when the store is destroyed, which an observer may do.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
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
