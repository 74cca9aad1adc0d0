#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

#include "motion_sources/push_listener.h"

namespace hopster {

// Which connections the phone push server keeps. The phone shows the token
// in its first request, so a connection that has not shown it yet is the one
// to give up: when the server is full, a newcomer closes the oldest such
// connection, preferring addresses that never showed the token, and the
// addresses that showed it last always get in. Every connection must finish
// each request within its allowance, a short one before the token is shown.
// Used on the server's thread only.
class PushAdmission {
 public:
  using Steady = std::chrono::steady_clock;
  using Connection = const void*;  // a handle the server knows a connection by

  struct Limits {
    std::size_t connections = 16;
    std::size_t connectionsPerAddress = 8;
    Steady::duration allowance;           // for one request
    Steady::duration tokenlessAllowance;  // the same before the token is shown
  };

  // Why a connection is cut.
  enum class CutReason { makeRoom, overdue };
  // `cut` ends a connection's socket; the server sees it end and reports it
  // closed.
  PushAdmission(Limits limits, std::function<void(int socket, CutReason why)> cut);

  // A connection the server has taken on, through `socket`.
  void opened(Connection connection, int socket, const ClientAddress& address,
              Steady::time_point now);
  void closed(Connection connection);
  // A request has ended: the next one on the connection gets a full allowance.
  void requestEnded(Connection connection, Steady::time_point now);
  // The connection has sent a request to the token's path.
  void showedToken(Connection connection);

  enum class Room { free, made, none };
  // Whether a newcomer from `from` may come in: there is room (`free`), room
  // was made by cutting a connection that had not shown the token (`made`),
  // or none can be made.
  [[nodiscard]] Room makeRoomFor(const ClientAddress& from);
  // Cuts the connections past their allowance; returns how many.
  std::size_t cutOverdue(Steady::time_point now);
  // When the next connection runs out of its allowance, if any is open.
  [[nodiscard]] std::optional<Steady::time_point> nextDeadline() const;

 private:
  // Addresses remembered for having shown the token.
  static constexpr std::size_t kKnownAddresses = 8;

  struct Tracked {
    int socket = -1;
    ClientAddress address{};
    std::uint64_t serial = 0;         // the order connections came in
    Steady::time_point requestStart;  // when the current request could begin
    bool showedToken = false;
    bool cut = false;
  };
  struct Known {
    ClientAddress address{};
    std::uint64_t lastSeen = 0;  // the count of requests that showed the token, then
  };

  [[nodiscard]] Steady::time_point deadlineOf(const Tracked& tracked) const;
  [[nodiscard]] bool isKnown(const ClientAddress& address) const;
  void remember(const ClientAddress& address);
  void cut(Tracked& tracked, CutReason why);

  const Limits limits_;
  std::function<void(int, CutReason)> cut_;
  std::unordered_map<Connection, Tracked> connections_;
  std::uint64_t serial_ = 0;
  std::vector<Known> known_;  // at most kKnownAddresses
  std::uint64_t tokenShown_ = 0;
};

}  // namespace hopster
