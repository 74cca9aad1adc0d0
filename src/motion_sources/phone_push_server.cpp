#include "motion_sources/phone_push_server.h"

#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace hopster {
namespace {

using Steady = std::chrono::steady_clock;

constexpr double kReportInterval = 10.0;  // seconds between two log lines
constexpr std::size_t kHeaderMemory = 32 * 1024;
constexpr int kBacklog = SOMAXCONN;

std::string errorText(int error) { return std::generic_category().message(error); }

// At most `limit` characters of `text`, anything unprintable as '?': a
// client's words never reach the log unchecked.
std::string printable(std::string_view text, std::size_t limit = 120) {
  std::string out(text.substr(0, limit));
  for (char& c : out) {
    if (c < 0x20 || c > 0x7e) c = '?';
  }
  return out;
}

// Compares in time that depends only on the length of `expected`, so the
// answers give away nothing about how much of a guessed token was right.
bool sameSecret(std::string_view given, std::string_view expected) {
  unsigned char difference = given.size() == expected.size() ? 0 : 1;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const char g = i < given.size() ? given[i] : '\0';
    difference |= static_cast<unsigned char>(g ^ expected[i]);
  }
  return difference == 0;
}

std::string listenError(const std::string& address, std::uint16_t port, int error) {
  const std::string number = std::to_string(port);
  switch (error) {
    case EADDRINUSE:
      return "Port " + number + " is already in use; choose another with --motion phone:PORT";
    case EACCES:
      return "Port " + number + " needs privileges; choose one above 1023 with --motion phone:PORT";
    case EADDRNOTAVAIL:
      return printable(address) + " is not an address of this machine";
    default:
      return "Cannot listen on " + printable(address) + " port " + number + ": " + errorText(error);
  }
}

constexpr int kNotAnAddress = -1;

// A socket listening on the literal address `host`, or -1 with errno's
// reason in `error` (or kNotAnAddress). The IPv6 wildcard takes IPv4 too.
int listenAt(const std::string& host, std::uint16_t port, int& error) {
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
    error = kNotAnAddress;
    return -1;
  }
  const std::unique_ptr<addrinfo, void (*)(addrinfo*)> owned(found, ::freeaddrinfo);
  const int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (found->ai_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6*>(found->ai_addr)->sin6_addr;
    const int v6Only = std::memcmp(&v6, &in6addr_any, sizeof v6) == 0 ? 0 : 1;
    ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &v6Only, sizeof v6Only);
  }
  if (::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, kBacklog) != 0) {
    error = errno;
    ::close(fd);
    return -1;
  }
  return fd;
}

// A listening socket, or -1 with the reason in `message`.
int openListener(std::string address, std::uint16_t port, std::string& message) {
  if (address.size() > 2 && address.front() == '[' && address.back() == ']') {
    address = address.substr(1, address.size() - 2);
  }
  int error = 0;
  int fd = listenAt(address.empty() ? "::" : address, port, error);
  // A machine without IPv6 listens on IPv4 alone.
  if (fd < 0 && address.empty() && (error == EAFNOSUPPORT || error == EADDRNOTAVAIL)) {
    fd = listenAt("0.0.0.0", port, error);
  }
  if (fd >= 0) return fd;
  message = error == kNotAnAddress
                ? printable(address) + " is not an IP address"
                : listenError(address.empty() ? "every interface" : address, port, error);
  return -1;
}

// A client's address as 16 bytes, an IPv4 one as IPv6 maps it, so that a
// client is the same whichever socket family it came in by.
using ClientAddress = std::array<unsigned char, 16>;

ClientAddress clientAddressOf(const sockaddr* address) {
  ClientAddress out{};
  if (address->sa_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
    std::memcpy(out.data(), &v6, out.size());
  } else if (address->sa_family == AF_INET) {
    out[10] = out[11] = 0xff;
    const auto& v4 = reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
    std::memcpy(out.data() + 12, &v4, 4);
  }
  return out;
}

std::uint16_t boundPort(int fd) {
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) return 0;
  if (bound.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
  return ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
}

}  // namespace

// libmicrohttpd driven from one thread of ours: every callback, and so every
// field below, belongs to that thread, apart from the counters.
class PhonePushServer::Engine {
 public:
  Engine(std::string path, MessageHandler onMessage, Log& log, const Clock& clock,
         PushServerLimits limits)
      : path_(std::move(path)),
        onMessage_(std::move(onMessage)),
        log_(log),
        clock_(clock),
        limits_(limits),
        allowance_(secondsOf(limits.requestSeconds)),
        tokenlessAllowance_(secondsOf(std::min(limits.tokenlessSeconds, limits.requestSeconds))) {}
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  ~Engine() {
    if (thread_.joinable()) {
      const std::uint64_t one = 1;
      if (::write(wake_, &one, sizeof one) < 0) {
        // Only a full counter fails, and that wakes the thread as well.
      }
      thread_.join();
    }
    // Closes every connection, with their callbacks.
    if (daemon_ != nullptr) MHD_stop_daemon(daemon_);
    if (empty_ != nullptr) MHD_destroy_response(empty_);
    if (wake_ >= 0) ::close(wake_);
    if (listener_ >= 0) ::close(listener_);
  }

  // Serves `listener`, which it then owns. Nothing, or why not.
  std::optional<std::string> start(int listener) {
    listener_ = listener;
    empty_ = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const unsigned idle = static_cast<unsigned>(std::max(1.0, std::ceil(limits_.requestSeconds)));
    // Connections come from acceptWaiting(), which decides who gets in;
    // libmicrohttpd's own limit only has to leave room for connections cut
    // since its last run, which it has yet to close. Without an internal
    // thread it runs only when told to, on the thread below, which waits on
    // its epoll descriptor.
    const unsigned ownLimit = 2 * limits_.connections + kAcceptBatch;
    if (empty_ != nullptr && wake_ >= 0) {
      daemon_ = MHD_start_daemon(
          MHD_USE_EPOLL | MHD_USE_NO_LISTEN_SOCKET, 0, nullptr, nullptr, &Engine::onRequest, this,
          MHD_OPTION_CONNECTION_LIMIT, ownLimit, MHD_OPTION_CONNECTION_TIMEOUT, idle,
          MHD_OPTION_CONNECTION_MEMORY_LIMIT, kHeaderMemory, MHD_OPTION_NOTIFY_COMPLETED,
          &Engine::onCompleted, this, MHD_OPTION_NOTIFY_CONNECTION, &Engine::onConnection, this,
          MHD_OPTION_END);
    }
    if (daemon_ == nullptr) return "Cannot start the phone push server";
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_EPOLL_FD);
    if (info == nullptr) return "Cannot start the phone push server: no epoll";
    epoll_ = info->epoll_fd;
    try {
      thread_ = std::thread([this] { run(); });
    } catch (const std::system_error& error) {
      return std::string("Cannot start the phone push server: ") + error.what();
    }
    return std::nullopt;
  }

  [[nodiscard]] PushServerCounts counts() const {
    return {accepted_, refused_, notFound_,   tooLarge_,    busy_,
            cutOff_,   evicted_, turnedAway_, peakBuffered_};
  }

 private:
  // Connections taken from the backlog between two runs of libmicrohttpd, so
  // a request that has arrived is read before a crowd behind it can push its
  // connection out.
  static constexpr unsigned kAcceptBatch = 8;
  // Addresses remembered for having shown the token.
  static constexpr std::size_t kKnownAddresses = 8;
  // How long accepting waits when the process is out of descriptors.
  static constexpr std::chrono::milliseconds kAcceptPause{100};

  struct Request {
    std::string body;
    std::size_t reserved = 0;  // bytes of the shared budget held for the body
    bool answered = false;
  };
  struct Tracked {
    int fd = -1;
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

  static Steady::duration secondsOf(double seconds) {
    return std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(seconds));
  }

  void run() {
    for (;;) {
      if (acceptPausedUntil_ && Steady::now() >= *acceptPausedUntil_) acceptPausedUntil_.reset();
      std::array<pollfd, 3> waits{pollfd{wake_, POLLIN, 0}, pollfd{epoll_, POLLIN, 0},
                                  pollfd{acceptPausedUntil_ ? -1 : listener_, POLLIN, 0}};
      if (::poll(waits.data(), waits.size(), waitMilliseconds()) < 0 && errno != EINTR) {
        report("The phone push server stopped: " + errorText(errno));
        return;
      }
      if (waits[0].revents != 0) return;
      // Requests that have arrived first, then newcomers.
      MHD_run(daemon_);
      if (waits[2].revents != 0) acceptWaiting();
      cutOverdue();
    }
  }

  [[nodiscard]] Steady::time_point deadlineOf(const Tracked& tracked) const {
    return tracked.requestStart + (tracked.showedToken ? allowance_ : tokenlessAllowance_);
  }

  [[nodiscard]] int waitMilliseconds() const {
    long long wait = -1;  // until something happens
    MHD_UNSIGNED_LONG_LONG own = 0;
    if (MHD_get_timeout(daemon_, &own) == MHD_YES) {
      wait = static_cast<long long>(std::min<MHD_UNSIGNED_LONG_LONG>(own, 60'000));
    }
    const auto now = Steady::now();
    const auto until = [&](Steady::time_point moment) {
      const long long left = std::max<long long>(
          0, std::chrono::ceil<std::chrono::milliseconds>(moment - now).count());
      wait = wait < 0 ? left : std::min(wait, left);
    };
    for (const auto& [connection, tracked] : connections_) {
      if (!tracked.cut) until(deadlineOf(tracked));
    }
    if (acceptPausedUntil_) until(*acceptPausedUntil_);
    return static_cast<int>(wait);
  }

  void acceptWaiting() {
    for (unsigned taken = 0; taken < kAcceptBatch;) {
      sockaddr_storage peer{};
      socklen_t length = sizeof peer;
      const int fd = ::accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &length,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd >= 0) {
        ++taken;
        admit(fd, reinterpret_cast<const sockaddr*>(&peer), length);
      } else if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        // The backlog stays readable: waiting a moment keeps this from spinning.
        acceptPausedUntil_ = Steady::now() + kAcceptPause;
        report("The phone push server cannot take a connection: " + errorText(errno));
        return;
      } else if (errno != EINTR && errno != ECONNABORTED && errno != EPROTO) {
        return;  // the backlog is empty
      }
    }
  }

  void admit(int fd, const sockaddr* peer, socklen_t length) {
    if (!makeRoomFor(clientAddressOf(peer))) {
      ::close(fd);
      ++turnedAway_;
      report("Turned away a client of the phone push server: every connection is in use");
      return;
    }
    // libmicrohttpd closes the socket whatever the outcome.
    if (MHD_add_connection(daemon_, fd, peer, length) != MHD_YES) {
      ++turnedAway_;
      report("Turned away a client of the phone push server: " + errorText(errno));
    }
  }

  // Whether a connection from `from` may be added, after cutting one that
  // has not shown the token if there is no room otherwise.
  bool makeRoomFor(const ClientAddress& from) {
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
      return true;
    }
    if (victim == nullptr) return false;
    cut(*victim);
    ++evicted_;
    report("Closed a client of the phone push server that had not shown the token, to make room");
    return true;
  }

  [[nodiscard]] bool isKnown(const ClientAddress& address) const {
    return std::any_of(known_.begin(), known_.end(),
                       [&](const Known& known) { return known.address == address; });
  }

  // Remembers `address` for having shown the token, forgetting the address
  // that showed it longest ago when the list is full.
  void remember(const ClientAddress& address) {
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

  static void cut(Tracked& tracked) {
    tracked.cut = true;
    // The descriptor stays libmicrohttpd's: it sees the connection end on its
    // next run and closes it with its usual callbacks.
    ::shutdown(tracked.fd, SHUT_RDWR);
  }

  void cutOverdue() {
    const auto now = Steady::now();
    for (auto& [connection, tracked] : connections_) {
      if (tracked.cut || now < deadlineOf(tracked)) continue;
      ++cutOff_;
      cut(tracked);
      report("Cut off a client of the phone push server that took too long over a request");
    }
  }

  static void onConnection(void* self, MHD_Connection* connection, void**,
                           MHD_ConnectionNotificationCode code) {
    auto& engine = *static_cast<Engine*>(self);
    if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
      engine.connections_.erase(connection);
      return;
    }
    const MHD_ConnectionInfo* fd =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    const MHD_ConnectionInfo* address =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (fd == nullptr || address == nullptr) return;
    engine.connections_[connection] = {fd->connect_fd, clientAddressOf(address->client_addr),
                                       ++engine.serial_, Steady::now()};
  }

  static void onCompleted(void* self, MHD_Connection* connection, void** context,
                          MHD_RequestTerminationCode) {
    auto& engine = *static_cast<Engine*>(self);
    if (auto* request = static_cast<Request*>(*context)) {
      engine.release(*request);
      delete request;
      *context = nullptr;
    }
    // The next request on a kept-alive connection gets a full allowance.
    if (const auto found = engine.connections_.find(connection);
        found != engine.connections_.end()) {
      found->second.requestStart = Steady::now();
    }
  }

  static MHD_Result onRequest(void* self, MHD_Connection* connection, const char* url,
                              const char* method, const char*, const char* upload,
                              std::size_t* uploadSize, void** context) {
    auto& engine = *static_cast<Engine*>(self);
    try {
      auto* request = static_cast<Request*>(*context);
      if (request == nullptr) {
        *context = request = new Request;
        return engine.begin(connection, url, method, *request);
      }
      const std::string_view data(upload, *uploadSize);
      *uploadSize = 0;
      if (request->answered) return MHD_YES;  // the rest of a refused body, dropped
      if (!data.empty()) return engine.receive(connection, *request, data);
      return engine.finish(connection, *request);
    } catch (const std::exception& error) {
      // Out of memory, most likely: this client goes, the server stays.
      engine.report(std::string("The phone push server dropped a request: ") + error.what());
      return MHD_NO;
    }
  }

  MHD_Result begin(MHD_Connection* connection, const char* url, const char* method,
                   Request& request) {
    if (std::strcmp(method, MHD_HTTP_METHOD_POST) != 0 || !sameSecret(url, path_)) {
      ++notFound_;
      return answer(connection, request, MHD_HTTP_NOT_FOUND);
    }
    if (const auto found = connections_.find(connection); found != connections_.end()) {
      found->second.showedToken = true;
      remember(found->second.address);
    }
    std::uint64_t declared = 0;
    if (const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                                         MHD_HTTP_HEADER_CONTENT_LENGTH)) {
      std::from_chars(length, length + std::strlen(length), declared);
    }
    // Refused before a byte of the body is read (no "100 Continue" is sent).
    if (declared > limits_.largestBody) {
      return refuse(connection, request, MHD_HTTP_CONTENT_TOO_LARGE,
                    "Refused a phone push of " + std::to_string(declared) + " bytes");
    }
    if (!reserve(request, static_cast<std::size_t>(declared))) {
      return refuse(connection, request, MHD_HTTP_SERVICE_UNAVAILABLE,
                    "Refused a phone push: too many bodies are arriving at once");
    }
    request.body.reserve(static_cast<std::size_t>(declared));
    return MHD_YES;
  }

  // A body without a declared length (chunked) is held to the same bounds.
  MHD_Result receive(MHD_Connection* connection, Request& request, std::string_view data) {
    const std::size_t total = request.body.size() + data.size();
    if (total > limits_.largestBody) {
      return refuse(
          connection, request, MHD_HTTP_CONTENT_TOO_LARGE,
          "Refused a phone push of more than " + std::to_string(limits_.largestBody) + " bytes");
    }
    if (!reserve(request, total)) {
      return refuse(connection, request, MHD_HTTP_SERVICE_UNAVAILABLE,
                    "Refused a phone push: too many bodies are arriving at once");
    }
    request.body.append(data);
    return MHD_YES;
  }

  MHD_Result finish(MHD_Connection* connection, Request& request) {
    std::string error;
    std::optional<PushMessage> message = decodePushMessage(request.body, error);
    if (!message) {
      return refuse(
          connection, request, MHD_HTTP_BAD_REQUEST,
          "Refused a phone push that is not a Sensor Logger message: " + printable(error));
    }
    release(request);
    ++accepted_;
    onMessage_(std::move(*message));
    return answer(connection, request, MHD_HTTP_OK);
  }

  MHD_Result refuse(MHD_Connection* connection, Request& request, unsigned status,
                    const std::string& why) {
    ++(status == MHD_HTTP_BAD_REQUEST         ? refused_
       : status == MHD_HTTP_CONTENT_TOO_LARGE ? tooLarge_
                                              : busy_);
    report(why);
    return answer(connection, request, status);
  }

  MHD_Result answer(MHD_Connection* connection, Request& request, unsigned status) {
    release(request);
    request.answered = true;
    // Mid-body no answer can be queued; the connection then just closes.
    return MHD_queue_response(connection, status, empty_);
  }

  bool reserve(Request& request, std::size_t total) {
    if (total <= request.reserved) return true;
    const std::size_t more = total - request.reserved;
    if (more > limits_.bufferedBodies - buffered_) return false;
    buffered_ += more;
    request.reserved = total;
    peakBuffered_ = std::max(peakBuffered_.load(), buffered_);
    return true;
  }

  void release(Request& request) {
    buffered_ -= request.reserved;
    request.reserved = 0;
    std::string().swap(request.body);
  }

  // One line per kReportInterval at most, with a count of the ones left out.
  void report(const std::string& message) {
    const double now = clock_.now();
    if (lastReport_ && now >= *lastReport_ && now - *lastReport_ < kReportInterval) {
      ++unreported_;
      return;
    }
    log_.line(unreported_ == 0 ? message
                               : message + " (and " + std::to_string(unreported_) +
                                     " more since the last report)");
    lastReport_ = now;
    unreported_ = 0;
  }

  const std::string path_;
  MessageHandler onMessage_;
  Log& log_;
  const Clock& clock_;
  const PushServerLimits limits_;
  const Steady::duration allowance_;           // for one request
  const Steady::duration tokenlessAllowance_;  // the same before the token is shown

  MHD_Daemon* daemon_ = nullptr;
  MHD_Response* empty_ = nullptr;
  int listener_ = -1;
  int epoll_ = -1;
  int wake_ = -1;
  std::thread thread_;

  std::size_t buffered_ = 0;
  std::unordered_map<MHD_Connection*, Tracked> connections_;
  std::uint64_t serial_ = 0;
  std::vector<Known> known_;  // at most kKnownAddresses
  std::uint64_t tokenShown_ = 0;
  std::optional<Steady::time_point> acceptPausedUntil_;
  std::optional<double> lastReport_;
  std::size_t unreported_ = 0;

  std::atomic<std::size_t> accepted_{0}, refused_{0}, notFound_{0}, tooLarge_{0}, busy_{0},
      cutOff_{0}, evicted_{0}, turnedAway_{0}, peakBuffered_{0};
};

PhonePushServer::PhonePushServer(const std::string& address, std::uint16_t port,
                                 const std::string& token, MessageHandler onMessage, Log& log,
                                 const Clock& clock, PushServerLimits limits) {
  if (token.empty()) {
    // "/push/" alone would then be the secret path.
    startupError_ = "The phone push server needs a token for its path";
    return;
  }
  std::string error;
  const int listener = openListener(address, port, error);
  if (listener < 0) {
    startupError_ = error;
    return;
  }
  const std::uint16_t bound = boundPort(listener);
  engine_ = std::make_unique<Engine>("/push/" + token, std::move(onMessage), log, clock, limits);
  if (auto failure = engine_->start(listener)) {
    startupError_ = std::move(failure);
    engine_.reset();
    return;
  }
  port_ = bound;
}

PhonePushServer::~PhonePushServer() = default;

bool PhonePushServer::isListening() const { return engine_ != nullptr; }

PushServerCounts PhonePushServer::counts() const {
  return engine_ ? engine_->counts() : PushServerCounts{};
}

}  // namespace hopster
