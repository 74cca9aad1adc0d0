// The phone source under a crowd of strangers: a "phone" on 127.0.0.1 pushes
// a 50 Hz headphone stream in real time, a batch of ten readings every
// 200 ms, through the real server, main loop and playout, while 600
// connections from 300 other loopback addresses (127.0.x.y) that never show
// the token hold on idle or trickle endless headers, and reconnect the moment
// the server closes them. Reported:
//  - pushes sent and answered (200), and the worst and median time from
//    opening the connection (or sending, on a kept-alive one) to the answer;
//  - samples sent and delivered, and whether every one came, in order;
//  - the crowd's connections, and how the server turned them out.
// Target: every push answered within 1 s, nothing lost. The stream lasts
// HOPSTER_FLOOD_SECONDS (default 20); the crowd starts a second before it, so
// the phone's first push meets a full server.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "motion_sources/phone_motion_service.h"
#include "platform/linux/loop_scheduler.h"
#include "platform/linux/memory_log.h"
#include "platform/linux/system_clock.h"

namespace hopster {
namespace {

using Steady = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr char kToken[] = "0123456789abcdef0123456789abcdef";
constexpr int kPerBatch = 10;  // 50 Hz in batches of 200 ms
constexpr auto kBatchPeriod = 200ms;
constexpr double kStep = 0.02;  // seconds between readings
constexpr int kCrowdAddresses = 300;
constexpr int kPerAddress = 2;    // one idle, one trickling
constexpr auto kTrickle = 250ms;  // between two bytes of a trickler
constexpr auto kAnswerWait = 5s;  // a push unanswered this long failed

double seconds(Steady::duration d) { return std::chrono::duration<double>(d).count(); }

double wallNow() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

void raiseOpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, std::min<rlim_t>(limit.rlim_max, 8192));
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

sockaddr_in loopback(const std::string& address, std::uint16_t port) {
  sockaddr_in out{};
  out.sin_family = AF_INET;
  out.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &out.sin_addr);
  return out;
}

// A socket bound to `from` and connecting (non-blocking) to the server, or -1.
int connectFrom(const std::string& from, std::uint16_t port, bool blocking) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (blocking ? 0 : SOCK_NONBLOCK), 0);
  if (fd < 0) return -1;
  const sockaddr_in local = loopback(from, 0), server = loopback("127.0.0.1", port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      (::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0 &&
       errno != EINPROGRESS)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// 600 strangers on one epoll loop, each reconnecting as soon as it is closed.
class Crowd {
 public:
  explicit Crowd(std::uint16_t port) : port_(port), epoll_(::epoll_create1(EPOLL_CLOEXEC)) {
    for (int a = 0; a < kCrowdAddresses; ++a) {
      const std::string from =
          "127.0." + std::to_string(1 + a / 250) + "." + std::to_string(1 + a % 250);
      for (int k = 0; k < kPerAddress; ++k) members_.push_back({from, k == 1});
    }
  }
  ~Crowd() {
    for (Member& m : members_) {
      if (m.fd >= 0) ::close(m.fd);
    }
    ::close(epoll_);
  }
  Crowd(const Crowd&) = delete;
  Crowd& operator=(const Crowd&) = delete;

  void run(const std::atomic<bool>& stop) {
    for (std::size_t i = 0; i < members_.size(); ++i) reopen(i);
    std::vector<epoll_event> events(256);
    while (!stop) {
      const int ready = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 20);
      for (int e = 0; e < ready; ++e) reopen(events[static_cast<std::size_t>(e)].data.u32);
      const auto now = Steady::now();
      for (std::size_t i = 0; i < members_.size(); ++i) {
        Member& m = members_[i];
        if (!m.trickles || m.fd < 0 || now < m.nextByte) continue;
        m.nextByte = now + kTrickle;
        const char byte = kHeaders[m.sent < sizeof kHeaders - 1 ? m.sent : sizeof kHeaders - 2];
        if (::send(m.fd, &byte, 1, MSG_NOSIGNAL | MSG_DONTWAIT) == 1) {
          ++m.sent;
        } else if (errno != EAGAIN) {
          reopen(i);
        }
      }
    }
  }

  [[nodiscard]] std::size_t connects() const { return connects_; }

 private:
  // Headers that never end: the last character repeats for ever.
  static constexpr char kHeaders[] = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Filler: aaaa";

  struct Member {
    std::string from;
    bool trickles = false;
    int fd = -1;
    std::size_t sent = 0;
    Steady::time_point nextByte{};
  };

  void reopen(std::size_t index) {
    Member& m = members_[index];
    if (m.fd >= 0) ::close(m.fd);
    m.fd = connectFrom(m.from, port_, false);
    m.sent = 0;
    m.nextByte = Steady::now() + kTrickle;
    if (m.fd < 0) return;  // tried again on the next trickle round
    ++connects_;
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP;
    event.data.u32 = static_cast<std::uint32_t>(index);
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, m.fd, &event);
  }

  std::uint16_t port_;
  int epoll_;
  std::vector<Member> members_;
  std::atomic<std::size_t> connects_{0};
};

std::string headphone(double time, int tag) {
  return "{\"name\":\"headphone\",\"time\":" + std::to_string(std::llround(time * 1e9)) +
         ",\"accelerationX\":0,\"accelerationY\":0,\"accelerationZ\":0.5,\"gravityX\":0,"
         "\"gravityY\":0,\"gravityZ\":-9.8,\"rotationRateX\":" +
         std::to_string(tag) + ",\"rotationRateY\":0,\"rotationRateZ\":0}";
}

// The phone's side: a request on a fresh connection, or on the kept-alive
// one when there is one. Whether it was answered 200 within kAnswerWait.
class Phone {
 public:
  Phone(std::uint16_t port, bool keepAlive) : port_(port), keepAlive_(keepAlive) {}
  ~Phone() { drop(); }
  Phone(const Phone&) = delete;
  Phone& operator=(const Phone&) = delete;

  bool push(const std::string& body) {
    if (fd_ < 0) fd_ = connectFrom("127.0.0.1", port_, true);
    const std::string text = "POST /push/" + std::string(kToken) +
                             " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n" +
                             (keepAlive_ ? "" : "Connection: close\r\n") +
                             "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    const bool answered = fd_ >= 0 && sendAll(text) && okAnswer();
    if (!answered || !keepAlive_) drop();
    return answered;
  }

 private:
  bool sendAll(std::string_view text) const {
    while (!text.empty()) {
      const ssize_t sent = ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
      if (sent <= 0) return false;
      text.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }
  bool okAnswer() const {
    const auto deadline = Steady::now() + kAnswerWait;
    std::string response;
    char buffer[512];
    while (response.find("\r\n\r\n") == std::string::npos) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Steady::now());
      pollfd wait{fd_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) <= 0) return false;
      const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
      if (got <= 0) return false;
      response.append(buffer, static_cast<std::size_t>(got));
    }
    return response.rfind("HTTP/1.1 200", 0) == 0;
  }
  void drop() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  std::uint16_t port_;
  bool keepAlive_;
  int fd_ = -1;
};

struct Outcome {
  int pushes = 0, answered = 0;
  std::vector<double> latencies;  // seconds, answered pushes
  double worstLatency = 0.0;      // seconds, all pushes
  int samplesSent = 0;
  std::vector<int> delivered;  // the tags, in the order delivered
  std::size_t crowdConnects = 0;
  PushServerCounts server;
  double wallSeconds = 0.0;
};

Outcome runFlood(double streamSeconds, bool keepAlive) {
  raiseOpenFileLimit();
  LoopScheduler loop;
  SystemClock clock;
  MemoryLog log;
  PhoneMotionService service({"127.0.0.1", 0}, kToken, loop, clock, log);
  Outcome outcome;
  loop.post([&] {
    service.startDeviceMotionUpdates([&](const auto& sample, const auto&) {
      outcome.delivered.push_back(static_cast<int>(sample->rotationRate.x));
    });
  });
  std::thread main([&] { loop.run(); });

  std::atomic<bool> stop{false};
  Crowd crowd(service.port());
  std::thread strangers([&] { crowd.run(stop); });
  std::this_thread::sleep_for(1s);  // the crowd fills the server first

  const int batches = static_cast<int>(std::lround(streamSeconds / seconds(kBatchPeriod)));
  const double firstStamp = wallNow();
  const auto began = Steady::now();
  {
    Phone phone(service.port(), keepAlive);
    for (int b = 0; b < batches; ++b) {
      std::this_thread::sleep_until(began + (b + 1) * kBatchPeriod);
      std::string readings;
      for (int k = 0; k < kPerBatch; ++k) {
        const int tag = b * kPerBatch + k;
        readings += (k == 0 ? "" : ",") + headphone(firstStamp + tag * kStep, tag);
      }
      const std::string body = "{\"messageId\":" + std::to_string(b) +
                               ",\"sessionId\":\"flood\",\"deviceId\":\"loopback\",\"payload\":[" +
                               readings + "]}";
      const auto sent = Steady::now();
      const bool answered = phone.push(body);
      const double latency = seconds(Steady::now() - sent);
      ++outcome.pushes;
      outcome.samplesSent += kPerBatch;
      outcome.worstLatency = std::max(outcome.worstLatency, latency);
      if (answered) {
        ++outcome.answered;
        outcome.latencies.push_back(latency);
      }
    }
  }
  outcome.wallSeconds = seconds(Steady::now() - began);
  stop = true;
  strangers.join();
  outcome.crowdConnects = crowd.connects();
  outcome.server = service.serverCounts();
  std::this_thread::sleep_for(1s);  // the last batch plays out
  loop.quit();
  main.join();
  return outcome;
}

double median(std::vector<double> values) {
  if (values.empty()) return NAN;
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

double streamSecondsWanted() {
  const char* text = std::getenv("HOPSTER_FLOOD_SECONDS");
  const double wanted = text != nullptr ? std::atof(text) : 0.0;
  return wanted > 0.0 ? wanted : 20.0;
}

void BM_PhoneUnderConnectionFlood(benchmark::State& state) {
  for (auto _ : state) {
    const Outcome o = runFlood(streamSecondsWanted(), state.range(0) != 0);
    state.SetIterationTime(o.wallSeconds);
    bool exact = static_cast<int>(o.delivered.size()) == o.samplesSent;
    for (std::size_t i = 0; exact && i < o.delivered.size(); ++i) {
      exact = o.delivered[i] == static_cast<int>(i);
    }
    state.counters["pushes_sent"] = o.pushes;
    state.counters["pushes_answered"] = o.answered;
    state.counters["latency_worst_ms"] = 1e3 * o.worstLatency;
    state.counters["latency_median_ms"] = 1e3 * median(o.latencies);
    state.counters["samples_sent"] = o.samplesSent;
    state.counters["samples_delivered"] = static_cast<double>(o.delivered.size());
    state.counters["all_delivered_in_order"] = exact ? 1 : 0;
    state.counters["crowd_connects"] = static_cast<double>(o.crowdConnects);
    state.counters["evicted"] = static_cast<double>(o.server.evicted);
    state.counters["cut_off"] = static_cast<double>(o.server.cutOff);
    state.counters["turned_away"] = static_cast<double>(o.server.turnedAway);
  }
}
BENCHMARK(BM_PhoneUnderConnectionFlood)
    ->ArgName("kept_alive")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace hopster
