#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "motion_sources/push_message.h"
#include "platform/clock.h"
#include "platform/log.h"

namespace hopster {

// What one client, or all of them together, may cost the server.
struct PushServerLimits {
  std::size_t largestBody = std::size_t{1} << 20;     // bytes of one request body
  std::size_t bufferedBodies = std::size_t{4} << 20;  // bytes of all bodies being received
  unsigned connections = 16;
  unsigned connectionsPerAddress = 8;
  // A request must arrive whole within this many seconds of its connection
  // opening, or of the previous request on it ending; a client trickling
  // bytes is cut off however steadily it sends.
  double requestSeconds = 10.0;
  // The same for a connection that has not yet sent a POST to the token's
  // path: the phone sends its request at once, so only a stranger waits.
  double tokenlessSeconds = 2.0;
};

// How the requests so far were answered. Safe to read from any thread.
struct PushServerCounts {
  std::size_t accepted = 0;    // 200: decoded and handed on
  std::size_t refused = 0;     // 400: a body that is not a push message
  std::size_t notFound = 0;    // 404: another method or path
  std::size_t tooLarge = 0;    // 413: a body over the largest allowed
  std::size_t busy = 0;        // 503: all bodies together would take too much memory
  std::size_t cutOff = 0;      // connections closed for taking too long
  std::size_t evicted = 0;     // connections without the token closed to make room
  std::size_t turnedAway = 0;  // connections closed at once: no room could be made
  std::size_t peakBufferedBytes = 0;
};

// Receives the Sensor Logger app's HTTP pushes: `POST /push/<token>` with a
// JSON body. Each body that decodes is answered 200 and handed to the
// message handler; everything else gets an empty 404 that says nothing about
// what would be accepted.
//
// libmicrohttpd does the HTTP, with its per-connection memory pool; the
// server runs it on a thread of its own, which accepts the connections
// itself, so that strangers cannot keep the phone out:
//  - at most `connections` are open, `connectionsPerAddress` from one address;
//  - a connection that has not shown the token (sent a POST to its path) has
//    `tokenlessSeconds` for each request, one that has `requestSeconds`
//    (libmicrohttpd's own timeout only notices a client that stops sending);
//  - when there is no room, the oldest connection that has not shown the
//    token is closed for the newcomer, one from an address that never showed
//    it first. The last few addresses that showed the token are remembered:
//    a newcomer from one of them always gets in unless every connection has
//    shown the token, and a newcomer from elsewhere never takes their place.
// Bodies are capped before they are buffered. Refused requests and clients
// are logged at most once per ten seconds, with a count of those left out.
class PhonePushServer {
 public:
  // Called on the server thread, once per accepted message; it should only
  // hand the message on.
  using MessageHandler = std::function<void(PushMessage message)>;

  // Listens on `address` ("" for every interface, IPv6 and IPv4 where the
  // machine has both; otherwise a literal IPv4 or IPv6 address) and `port`
  // (0 for any free port). `log` and `clock` are used on the server thread.
  // A failure leaves the server not listening, with the reason in one line.
  PhonePushServer(const std::string& address, std::uint16_t port, const std::string& token,
                  MessageHandler onMessage, Log& log, const Clock& clock,
                  PushServerLimits limits = {});
  // Stops listening, closes every connection and joins the thread.
  ~PhonePushServer();
  PhonePushServer(const PhonePushServer&) = delete;
  PhonePushServer& operator=(const PhonePushServer&) = delete;

  [[nodiscard]] bool isListening() const;
  // Why the server is not listening.
  [[nodiscard]] const std::optional<std::string>& startupError() const { return startupError_; }
  // The port listened on (the one chosen when 0 was asked for); 0 when not listening.
  [[nodiscard]] std::uint16_t port() const { return port_; }
  [[nodiscard]] PushServerCounts counts() const;

 private:
  class Engine;

  std::optional<std::string> startupError_;
  std::uint16_t port_ = 0;
  std::unique_ptr<Engine> engine_;
};

}  // namespace hopster
