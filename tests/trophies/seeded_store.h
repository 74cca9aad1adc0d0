#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "platform/key_value_store.h"
#include "platform/log.h"
#include "platform/memory_key_value_storage.h"

namespace hopster::testing {

// A key-value store in memory whose document starts as the given raw JSON
// text (or absent), so tests can seed any shape and read back what was saved.
class SeededStore {
 public:
  explicit SeededStore(std::optional<std::string> document = std::nullopt) {
    state_->document = std::move(document);
    store_ = std::make_unique<KeyValueStore>(std::make_unique<MemoryKeyValueStorage>(state_), log_);
  }

  [[nodiscard]] KeyValueStore& store() { return *store_; }

  // How many times the document was written.
  [[nodiscard]] std::size_t saveCount() const { return state_->saves.size(); }

  // The value under `key` in the document as stored now; null when absent.
  [[nodiscard]] nlohmann::json stored(const std::string& key) const {
    if (!state_->document) return nullptr;
    const auto document = nlohmann::json::parse(*state_->document);
    return document.contains(key) ? document.at(key) : nlohmann::json();
  }

 private:
  std::shared_ptr<MemoryKeyValueStorage::State> state_ =
      std::make_shared<MemoryKeyValueStorage::State>();
  MemoryLog log_;
  std::unique_ptr<KeyValueStore> store_;
};

}  // namespace hopster::testing
