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

#include "motion_sources/push_admission.h"
#include "motion_sources/push_listener.h"
#include "platform/linux/posix_io.h"
#include "platform/linux/throttled_log.h"

namespace hopster {
namespace {

using Steady = std::chrono::steady_clock;

constexpr double kReportInterval = 10.0;  // seconds between two log lines of trouble
constexpr std::size_t kHeaderMemory = 32 * 1024;

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

}  // namespace

// libmicrohttpd driven from one thread of ours: every callback, and so every
// field below, belongs to that thread, apart from the counters.
class PhonePushServer::Engine {
 public:
  Engine(std::string path, MessageHandler onMessage, Log& log, const Clock& clock,
         PushServerLimits limits)
      : path_(std::move(path)),
        onMessage_(std::move(onMessage)),
        trouble_(log, clock, kReportInterval),
        limits_(limits),
        admission_(
            {limits.connections, limits.connectionsPerAddress, secondsOf(limits.requestSeconds),
             secondsOf(std::min(limits.tokenlessSeconds, limits.requestSeconds))},
            [this](int socket, PushAdmission::CutReason why) {
              // Counted before the cut, so whoever sees the connection
              // end sees it counted. The descriptor stays
              // libmicrohttpd's: it sees the connection end on its next
              // run and closes it with its usual callbacks.
              ++(why == PushAdmission::CutReason::overdue ? cutOff_ : evicted_);
              ::shutdown(socket, SHUT_RDWR);
            }) {}
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  ~Engine() {
    if (thread_.joinable()) {
      const std::uint64_t one = 1;
      if (::write(wake_.get(), &one, sizeof one) < 0) {
        // Only a full counter fails, and that wakes the thread as well.
      }
      thread_.join();
    }
    // Closes every connection, with their callbacks.
    if (daemon_ != nullptr) MHD_stop_daemon(daemon_);
    if (empty_ != nullptr) MHD_destroy_response(empty_);
  }

  // Serves `listener`, which it then owns. Nothing, or why not.
  std::optional<std::string> start(UniqueFd listener) {
    listener_ = std::move(listener);
    empty_ = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
    wake_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    const unsigned idle = static_cast<unsigned>(std::max(1.0, std::ceil(limits_.requestSeconds)));
    // Connections come from acceptWaiting(), which decides who gets in;
    // libmicrohttpd's own limit only has to leave room for connections cut
    // since its last run, which it has yet to close. Without an internal
    // thread it runs only when told to, on the thread below, which waits on
    // its epoll descriptor.
    const unsigned ownLimit = 2 * limits_.connections + kAcceptBatch;
    if (empty_ != nullptr && wake_) {
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
  // How long accepting waits when the process is out of descriptors.
  static constexpr std::chrono::milliseconds kAcceptPause{100};

  struct Request {
    std::string body;
    std::size_t reserved = 0;  // bytes of the shared budget held for the body
    bool answered = false;
  };

  static Steady::duration secondsOf(double seconds) {
    return std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(seconds));
  }

  void run() {
    for (;;) {
      if (acceptPausedUntil_ && Steady::now() >= *acceptPausedUntil_) acceptPausedUntil_.reset();
      std::array<pollfd, 3> waits{pollfd{wake_.get(), POLLIN, 0}, pollfd{epoll_, POLLIN, 0},
                                  pollfd{acceptPausedUntil_ ? -1 : listener_.get(), POLLIN, 0}};
      if (::poll(waits.data(), waits.size(), waitMilliseconds()) < 0 && errno != EINTR) {
        trouble_.line("The phone push server stopped: " + errorText(errno));
        return;
      }
      if (waits[0].revents != 0) return;
      // Requests that have arrived first, then newcomers.
      MHD_run(daemon_);
      if (waits[2].revents != 0) acceptWaiting();
      cutOverdue();
    }
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
    if (const auto deadline = admission_.nextDeadline()) until(*deadline);
    if (acceptPausedUntil_) until(*acceptPausedUntil_);
    return static_cast<int>(wait);
  }

  void acceptWaiting() {
    for (unsigned taken = 0; taken < kAcceptBatch;) {
      sockaddr_storage peer{};
      socklen_t length = sizeof peer;
      UniqueFd fd(::accept4(listener_.get(), reinterpret_cast<sockaddr*>(&peer), &length,
                            SOCK_NONBLOCK | SOCK_CLOEXEC));
      if (fd) {
        ++taken;
        admit(std::move(fd), reinterpret_cast<const sockaddr*>(&peer), length);
      } else if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        // The backlog stays readable: waiting a moment keeps this from spinning.
        acceptPausedUntil_ = Steady::now() + kAcceptPause;
        trouble_.line("The phone push server cannot take a connection: " + errorText(errno));
        return;
      } else if (errno != EINTR && errno != ECONNABORTED && errno != EPROTO) {
        return;  // the backlog is empty
      }
    }
  }

  void admit(UniqueFd fd, const sockaddr* peer, socklen_t length) {
    const PushAdmission::Room room = admission_.makeRoomFor(clientAddressOf(peer));
    if (room == PushAdmission::Room::none) {
      ++turnedAway_;
      trouble_.line("Turned away a client of the phone push server: every connection is in use");
      return;
    }
    if (room == PushAdmission::Room::made) {
      trouble_.line(
          "Closed a client of the phone push server that had not shown the token, to make room");
    }
    // libmicrohttpd closes the socket whatever the outcome.
    if (MHD_add_connection(daemon_, fd.release(), peer, length) != MHD_YES) {
      ++turnedAway_;
      trouble_.line("Turned away a client of the phone push server: " + errorText(errno));
    }
  }

  void cutOverdue() {
    if (admission_.cutOverdue(Steady::now()) > 0) {
      trouble_.line("Cut off a client of the phone push server that took too long over a request");
    }
  }

  static void onConnection(void* self, MHD_Connection* connection, void**,
                           MHD_ConnectionNotificationCode code) {
    auto& engine = *static_cast<Engine*>(self);
    if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
      engine.admission_.closed(connection);
      return;
    }
    const MHD_ConnectionInfo* fd =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    const MHD_ConnectionInfo* address =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (fd == nullptr || address == nullptr) return;
    engine.admission_.opened(connection, fd->connect_fd, clientAddressOf(address->client_addr),
                             Steady::now());
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
    engine.admission_.requestEnded(connection, Steady::now());
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
      engine.trouble_.line(std::string("The phone push server dropped a request: ") + error.what());
      return MHD_NO;
    }
  }

  MHD_Result begin(MHD_Connection* connection, const char* url, const char* method,
                   Request& request) {
    if (std::strcmp(method, MHD_HTTP_METHOD_POST) != 0 || !sameSecret(url, path_)) {
      ++notFound_;
      return answer(connection, request, MHD_HTTP_NOT_FOUND);
    }
    admission_.showedToken(connection);
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
    Outcome<PushMessage> message = decodePushMessage(request.body);
    if (!message) {
      return refuse(connection, request, MHD_HTTP_BAD_REQUEST,
                    "Refused a phone push that is not a Sensor Logger message: " +
                        printable(message.error().message));
    }
    release(request);
    ++accepted_;
    onMessage_(std::move(message).value());
    return answer(connection, request, MHD_HTTP_OK);
  }

  MHD_Result refuse(MHD_Connection* connection, Request& request, unsigned status,
                    const std::string& why) {
    ++(status == MHD_HTTP_BAD_REQUEST         ? refused_
       : status == MHD_HTTP_CONTENT_TOO_LARGE ? tooLarge_
                                              : busy_);
    trouble_.line(why);
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

  const std::string path_;
  MessageHandler onMessage_;
  ThrottledLog trouble_;  // one line per kReportInterval at most
  const PushServerLimits limits_;

  MHD_Daemon* daemon_ = nullptr;
  MHD_Response* empty_ = nullptr;
  UniqueFd listener_;
  int epoll_ = -1;  // libmicrohttpd's
  UniqueFd wake_;
  std::thread thread_;

  std::size_t buffered_ = 0;
  PushAdmission admission_;
  std::optional<Steady::time_point> acceptPausedUntil_;

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
  auto opened = openListener(address, port);
  if (!opened) {
    startupError_ = opened.error().message;
    return;
  }
  UniqueFd listener = std::move(opened).value();
  const std::uint16_t bound = boundPort(listener.get());
  engine_ = std::make_unique<Engine>("/push/" + token, std::move(onMessage), log, clock, limits);
  if (auto failure = engine_->start(std::move(listener))) {
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
