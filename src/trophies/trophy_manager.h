#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/key_value_store.h"
#include "platform/observer_list.h"
#include "platform/subscription.h"
#include "trophies/trophy.h"

namespace hopster {

// Owns the one list of trophies that the whole app shows and changes: the
// catalogue with each trophy's unlocked state, persisted as the ids of the
// unlocked trophies under "unlockedTrophies". Observers are told before and
// after each change of the list. Unlocks are added to the stored ids, never
// written over them, and ids another process stores reach the list (as a
// whole-list change) when the store sees them.
class TrophyManager {
 public:
  // One change of the list: either the whole list is replaced, or the trophy
  // at `index` changes in place.
  struct Change {
    enum class Kind { wholeList, oneTrophy };
    Kind kind = Kind::wholeList;
    std::size_t index = 0;
  };
  using Observer = std::function<void(const Change&)>;

  static constexpr std::string_view kStoreKey = "unlockedTrophies";

  // Loads the persisted unlocks at once, so the list is complete from the start.
  explicit TrophyManager(KeyValueStore& store);
  TrophyManager(const TrophyManager&) = delete;
  TrophyManager& operator=(const TrophyManager&) = delete;

  // The catalogue's trophies in catalogue order, with their unlocked state.
  [[nodiscard]] const std::vector<Trophy>& trophies() const { return trophies_; }

  // Marks the trophy with this id unlocked (again, if it already was) and
  // adds its id to the stored ones; an id of no trophy changes, tells and
  // saves nothing.
  void unlockTrophy(std::string_view id);
  // The same for several ids, stored in one write: each store write flushes
  // the settings file to disk, which a stop unlocking many trophies at once
  // would otherwise do once per trophy.
  void unlockTrophies(const std::vector<std::string>& ids);

  // Adds the ids of the unlocked trophies, in list order, to the stored ones.
  void saveUnlockedTrophies();

  // Rebuilds the list from the catalogue and the persisted ids, in one
  // assignment. A missing or malformed stored value reads as no ids; stored
  // ids of no trophy are ignored (and dropped by the next save).
  void loadUnlockedTrophies();

  // Called just before each change of the list.
  [[nodiscard]] Subscription observeWillChange(Observer observer);
  // Called just after each change of the list.
  [[nodiscard]] Subscription observeDidChange(Observer observer);

 private:
  void assign(std::vector<Trophy> trophies);
  void setUnlocked(std::size_t index);
  void followStore();

  KeyValueStore& store_;
  std::vector<Trophy> trophies_;
  ObserverList<const Change&> willChange_;
  ObserverList<const Change&> didChange_;
  Subscription storeChanges_;
};

}  // namespace hopster
