#include "motion_sources/push_admission.h"

#include <algorithm>
#include <utility>

namespace hopster {

PushAdmission::PushAdmission(Limits limits, std::function<void(int socket, CutReason why)> cut)
    : limits_(limits), cut_(std::move(cut)) {}

void PushAdmission::opened(Connection connection, int socket, const ClientAddress& address,
                           Steady::time_point now) {
  connections_[connection] = {socket, address, ++serial_, now};
}

void PushAdmission::closed(Connection connection) { connections_.erase(connection); }

void PushAdmission::requestEnded(Connection connection, Steady::time_point now) {
  if (const auto found = connections_.find(connection); found != connections_.end()) {
    found->second.requestStart = now;
  }
}

void PushAdmission::showedToken(Connection connection) {
  if (const auto found = connections_.find(connection); found != connections_.end()) {
    found->second.showedToken = true;
    remember(found->second.address);
  }
}

PushAdmission::Room PushAdmission::makeRoomFor(const ClientAddress& from) {
  const bool fromKnown = isKnown(from);
  std::size_t open = 0, openFromSame = 0;
  Tracked *sameAddress = nullptr, *stranger = nullptr, *anyTokenless = nullptr;
  const auto keepOldest = [](Tracked*& oldest, Tracked& candidate) {
    if (oldest == nullptr || candidate.serial < oldest->serial) oldest = &candidate;
  };
  for (auto& [connection, tracked] : connections_) {
    if (tracked.cut) continue;
    ++open;
    const bool same = tracked.address == from;
    openFromSame += same ? 1 : 0;
    if (tracked.showedToken) continue;
    if (same) keepOldest(sameAddress, tracked);
    keepOldest(anyTokenless, tracked);
    if (!isKnown(tracked.address)) keepOldest(stranger, tracked);
  }
  Tracked* victim = nullptr;
  if (openFromSame >= limits_.connectionsPerAddress) {
    victim = sameAddress;
  } else if (open >= limits_.connections) {
    victim = stranger != nullptr || !fromKnown ? stranger : anyTokenless;
  } else {
    return Room::free;
  }
  if (victim == nullptr) return Room::none;
  cut(*victim, CutReason::makeRoom);
  return Room::made;
}

std::size_t PushAdmission::cutOverdue(Steady::time_point now) {
  std::size_t count = 0;
  for (auto& [connection, tracked] : connections_) {
    if (tracked.cut || now < deadlineOf(tracked)) continue;
    cut(tracked, CutReason::overdue);
    ++count;
  }
  return count;
}

std::optional<PushAdmission::Steady::time_point> PushAdmission::nextDeadline() const {
  std::optional<Steady::time_point> next;
  for (const auto& [connection, tracked] : connections_) {
    if (!tracked.cut) next = std::min(next.value_or(deadlineOf(tracked)), deadlineOf(tracked));
  }
  return next;
}

PushAdmission::Steady::time_point PushAdmission::deadlineOf(const Tracked& tracked) const {
  return tracked.requestStart +
         (tracked.showedToken ? limits_.allowance : limits_.tokenlessAllowance);
}

bool PushAdmission::isKnown(const ClientAddress& address) const {
  return std::any_of(known_.begin(), known_.end(),
                     [&](const Known& known) { return known.address == address; });
}

// Remembers `address` for having shown the token, forgetting the address
// that showed it longest ago when the list is full.
void PushAdmission::remember(const ClientAddress& address) {
  ++tokenShown_;
  auto found = std::find_if(known_.begin(), known_.end(),
                            [&](const Known& known) { return known.address == address; });
  if (found == known_.end()) {
    if (known_.size() < kKnownAddresses) {
      found = known_.insert(known_.end(), Known{address, tokenShown_});
    } else {
      found = std::min_element(known_.begin(), known_.end(), [](const Known& a, const Known& b) {
        return a.lastSeen < b.lastSeen;
      });
      found->address = address;
    }
  }
  found->lastSeen = tokenShown_;
}

void PushAdmission::cut(Tracked& tracked, CutReason why) {
  tracked.cut = true;
  cut_(tracked.socket, why);
}

}  // namespace hopster
