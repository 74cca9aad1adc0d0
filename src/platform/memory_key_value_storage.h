#pragma once

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
    // When set, load() throws with this text, as for a file that cannot be read.
    std::optional<std::string> loadError;
    // When set, save() fails with this text and changes nothing.
    std::optional<std::string> saveError;
    // When set, setAside() throws with this text and keeps the document.
    std::optional<std::string> setAsideError;
    // Every document saved successfully, oldest first.
    std::vector<std::string> saves;
    // Every document set aside, oldest first.
    std::vector<std::optional<std::string>> setAside;
  };

  MemoryKeyValueStorage() : state_(std::make_shared<State>()) {}
  explicit MemoryKeyValueStorage(std::shared_ptr<State> state) : state_(std::move(state)) {}
  // Starts with `document` stored.
  explicit MemoryKeyValueStorage(std::string document) : MemoryKeyValueStorage() {
    state_->document = std::move(document);
  }

  [[nodiscard]] std::optional<std::string> load() override {
    if (state_->loadError) throw std::runtime_error(*state_->loadError);
    return state_->document;
  }

  [[nodiscard]] std::optional<std::string> save(std::string_view document) override {
    if (state_->saveError) return state_->saveError;
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

  [[nodiscard]] const std::shared_ptr<State>& state() const { return state_; }

 private:
  std::shared_ptr<State> state_;
};

}  // namespace hopster
