#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/key_value_store.h"

namespace hopster {

// Keeps the store's document in memory, for tests. The content lives in a
// shared State, so a test can look at it after handing the storage to a store,
// and "restart the app" by building a second store over the same State.
class MemoryKeyValueStorage final : public KeyValueStorage {
 public:
  struct State {
    // What load() returns; each successful save replaces it.
    std::optional<std::string> document;
    // When set, load() fails with this, as for a file that cannot be read.
    Status loadError;
    // When set, save() fails with this and changes nothing.
    Status saveError;
    // When set, setAside() throws with this text and keeps the document.
    std::optional<std::string> setAsideError;
    // Every document saved successfully, oldest first.
    std::vector<std::string> saves;
    // Every document set aside, oldest first.
    std::vector<std::optional<std::string>> setAside;
    // When set, keepCopy() throws with this text.
    std::optional<std::string> copyError;
    // Every copy kept, oldest first.
    std::vector<std::string> copies;
    // Whether locked work runs now. The lock is not reentrant, as a file lock
    // taken twice by one process would wait for itself forever.
    bool locked = false;
  };

  MemoryKeyValueStorage() : state_(std::make_shared<State>()) {}
  explicit MemoryKeyValueStorage(std::shared_ptr<State> state) : state_(std::move(state)) {}
  // Starts with `document` stored.
  explicit MemoryKeyValueStorage(std::string document) : MemoryKeyValueStorage() {
    state_->document = std::move(document);
  }

  [[nodiscard]] Outcome<std::optional<std::string>> load() override {
    if (state_->loadError) return *state_->loadError;
    return state_->document;
  }

  // `beforeReplace` runs with an empty path, as there is no temporary file.
  [[nodiscard]] Status save(std::string_view document,
                            const BeforeReplace& beforeReplace = {}) override {
    if (state_->saveError) return state_->saveError;
    if (beforeReplace) {
      if (auto refused = beforeReplace({})) return refused;
    }
    state_->document = std::string(document);
    state_->saves.emplace_back(document);
    return std::nullopt;
  }

  [[nodiscard]] std::string setAside() override {
    if (state_->setAsideError) throw std::runtime_error(*state_->setAsideError);
    state_->setAside.push_back(std::exchange(state_->document, std::nullopt));
    state_->loadError.reset();
    return "memory (set-aside #" + std::to_string(state_->setAside.size()) + ")";
  }

  [[nodiscard]] std::string keepCopy(std::string_view document) override {
    if (state_->copyError) throw std::runtime_error(*state_->copyError);
    state_->copies.emplace_back(document);
    return "memory (copy #" + std::to_string(state_->copies.size()) + ")";
  }

  [[nodiscard]] Status whileLocked(const std::function<void()>& work) override {
    if (state_->locked) throw std::logic_error("the storage lock is already held");
    state_->locked = true;
    try {
      work();
    } catch (...) {
      state_->locked = false;
      throw;
    }
    state_->locked = false;
    return std::nullopt;
  }

  [[nodiscard]] const std::shared_ptr<State>& state() const { return state_; }

 private:
  std::shared_ptr<State> state_;
};

}  // namespace hopster
