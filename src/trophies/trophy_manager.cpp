#include "trophies/trophy_manager.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "trophies/trophy_catalogue.h"

namespace hopster {

namespace {

// The persisted ids, or none at all when the value is absent, not an array,
// or holds anything but strings: a partly readable list is not trusted.
std::vector<std::string> storedIds(const KeyValueStore& store) {
  const auto stored = store.array(TrophyManager::kStoreKey);
  if (!stored) return {};
  std::vector<std::string> ids;
  ids.reserve(stored->size());
  for (const auto& element : *stored) {
    if (!element) return {};
    ids.push_back(*element);
  }
  return ids;
}

// The catalogue with the trophies of the stored ids unlocked.
std::vector<Trophy> storedTrophies(const KeyValueStore& store) {
  const std::vector<std::string> ids = storedIds(store);
  std::vector<Trophy> trophies = trophyCatalogue();
  for (Trophy& trophy : trophies) {
    if (std::find(ids.begin(), ids.end(), trophy.id) != ids.end()) trophy.isUnlocked = true;
  }
  return trophies;
}

// Every trophy id in catalogue order: stored lists keep the known trophies in
// this order, so the file reads like the trophy screen. Ids this version does
// not know (a newer version's trophies) follow in their stored order, kept.
const std::vector<std::string>& catalogueOrder() {
  static const std::vector<std::string> ids = [] {
    std::vector<std::string> all;
    for (const Trophy& trophy : trophyCatalogue()) all.push_back(trophy.id);
    return all;
  }();
  return ids;
}

bool sameUnlocks(const std::vector<Trophy>& a, const std::vector<Trophy>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Trophy& x, const Trophy& y) {
    return x.id == y.id && x.isUnlocked == y.isUnlocked;
  });
}

}  // namespace

TrophyManager::TrophyManager(KeyValueStore& store)
    : store_(store),
      storeChanges_(store.observe(std::string(kStoreKey), [this] { followStore(); })) {
  loadUnlockedTrophies();
}

void TrophyManager::unlockTrophy(std::string_view id) {
  const auto index = indexOfTrophy(trophies_, id);
  if (!index) return;
  setUnlocked(*index);
  // An addition, not the whole list: ids another process added since this
  // list was read stay stored.
  store_.addToStringArray(kStoreKey, {std::string(id)}, catalogueOrder());
}

void TrophyManager::unlockTrophies(const std::vector<std::string>& ids) {
  std::vector<std::string> known;
  for (const std::string& id : ids) {
    const auto index = indexOfTrophy(trophies_, id);
    if (!index) continue;
    setUnlocked(*index);
    known.push_back(id);
  }
  if (!known.empty()) store_.addToStringArray(kStoreKey, known, catalogueOrder());
}

void TrophyManager::saveUnlockedTrophies() {
  std::vector<std::string> ids;
  for (const Trophy& trophy : trophies_) {
    if (trophy.isUnlocked) ids.push_back(trophy.id);
  }
  store_.addToStringArray(kStoreKey, ids, catalogueOrder());
}

void TrophyManager::loadUnlockedTrophies() { assign(storedTrophies(store_)); }

void TrophyManager::followStore() {
  // The store tells of this manager's own unlocks too; those are in the list already.
  std::vector<Trophy> stored = storedTrophies(store_);
  if (!sameUnlocks(stored, trophies_)) assign(std::move(stored));
}

Subscription TrophyManager::observeWillChange(Observer observer) {
  return willChange_.add(std::move(observer));
}

Subscription TrophyManager::observeDidChange(Observer observer) {
  return didChange_.add(std::move(observer));
}

void TrophyManager::assign(std::vector<Trophy> trophies) {
  const Change change{Change::Kind::wholeList, 0};
  willChange_.notify(change);
  trophies_ = std::move(trophies);
  didChange_.notify(change);
}

void TrophyManager::setUnlocked(std::size_t index) {
  // Set even when already unlocked: observers hear of every unlock.
  const Change change{Change::Kind::oneTrophy, index};
  willChange_.notify(change);
  trophies_[index].isUnlocked = true;
  didChange_.notify(change);
}

}  // namespace hopster
