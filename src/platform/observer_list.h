#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/subscription.h"

namespace hopster {

// The observers of one kind of event, called in the order they were added.
// Observers may add or cancel observations, their own included, while being
// notified: one cancelled during a notification is not called afterwards,
// one added during it is first called at the next notification.
template <class... Args>
class ObserverList {
 public:
  using Observer = std::function<void(Args...)>;

  ObserverList() = default;
  ObserverList(const ObserverList&) = delete;
  ObserverList& operator=(const ObserverList&) = delete;

  [[nodiscard]] Subscription add(Observer observer) {
    const std::uint64_t id = state_->nextId++;
    state_->observers.emplace(id, std::move(observer));
    return Subscription([weak = std::weak_ptr<State>(state_), id] {
      if (auto state = weak.lock()) state->observers.erase(id);
    });
  }

  void notify(Args... args) const {
    // Holding the state keeps it alive should an observer destroy the owner.
    const std::shared_ptr<State> state = state_;
    std::vector<std::uint64_t> ids;
    ids.reserve(state->observers.size());
    for (const auto& entry : state->observers) ids.push_back(entry.first);
    for (const std::uint64_t id : ids) {
      const auto found = state->observers.find(id);
      if (found == state->observers.end()) continue;
      const Observer observer = found->second;  // a copy: it may cancel itself
      observer(args...);
    }
  }

 private:
  struct State {
    std::map<std::uint64_t, Observer> observers;
    std::uint64_t nextId = 1;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace hopster
