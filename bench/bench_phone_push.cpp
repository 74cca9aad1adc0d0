// The phone source on loopback, as the Sensor Logger app drives it: 100
// headphone readings a second, posted in 5 batches a second on one kept-alive
// connection, through the real server, the main loop and the playout.
//  - latency: from a batch's POST to the delivery of each of its readings
//    (mostly the playout delay, which outlasts the 0.2 s batch period);
//  - pacing error: how far each delivery is from the sender's rhythm, the
//    median of |(delivered - stamped) - their median|, target under 20 ms;
//  - receiver CPU: the process's CPU time, less the sending thread's, over
//    the wall time, as a share of one core.
// The first half second is left out of the figures: until two batches have
// come, the playout cannot know the batch period.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
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

constexpr char kToken[] = "0123456789abcdef0123456789abcdef";
constexpr int kPerBatch = 20;
constexpr double kBatchPeriod = 0.2;
constexpr int kWarmUpBatches = 3;

double wallNow() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// CPU seconds, user and system, of the process or of the calling thread.
double cpuSeconds(int who) {
  rusage usage{};
  ::getrusage(who, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double median(std::vector<double> values) {
  if (values.empty()) return NAN;
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

std::string headphone(double time, int tag) {
  return "{\"name\":\"headphone\",\"time\":" + std::to_string(std::llround(time * 1e9)) +
         ",\"accelerationX\":0.01,\"accelerationY\":-0.02,\"accelerationZ\":0.5,"
         "\"gravityX\":0.1,\"gravityY\":0.2,\"gravityZ\":-9.79,\"quaternionW\":1,"
         "\"quaternionX\":0,\"quaternionY\":0,\"quaternionZ\":0,\"pitch\":0.1,\"roll\":0.2,"
         "\"yaw\":0.3,\"rotationRateX\":" +
         std::to_string(tag) + ",\"rotationRateY\":0,\"rotationRateZ\":0}";
}

// The phone's side: one kept-alive connection, a request at a time.
class Poster {
 public:
  explicit Poster(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    ::inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~Poster() {
    if (fd_ >= 0) ::close(fd_);
  }
  Poster(const Poster&) = delete;
  Poster& operator=(const Poster&) = delete;

  bool post(const std::string& body) {
    const std::string text = "POST /push/" + std::string(kToken) +
                             " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                             "Content-Length: " +
                             std::to_string(body.size()) + "\r\n\r\n" + body;
    if (fd_ < 0 ||
        ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size())) {
      return false;
    }
    std::string response;
    char buffer[512];
    while (response.find("\r\n\r\n") == std::string::npos) {
      const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
      if (got <= 0) return false;
      response.append(buffer, static_cast<std::size_t>(got));
    }
    return response.rfind("HTTP/1.1 200", 0) == 0;
  }

 private:
  int fd_;
};

struct Session {
  std::vector<double> latencies;     // seconds
  std::vector<double> pacingErrors;  // seconds
  double receiverCpuShare = 0.0;
  double wallSeconds = 0.0;
  double playoutDelay = 0.0;
  int failedPosts = 0;
};

Session runSession(double seconds) {
  LoopScheduler loop;
  SystemClock clock;
  MemoryLog log;
  PhoneMotionService phone({"127.0.0.1", 0}, kToken, loop, clock, log);
  const int batches = static_cast<int>(seconds / kBatchPeriod);
  std::vector<double> postedAt(static_cast<std::size_t>(batches));  // steady, per batch
  std::vector<double> stamped(static_cast<std::size_t>(batches * kPerBatch));
  struct Delivery {
    int tag;
    double steady, wall;
  };
  std::vector<Delivery> deliveries;
  deliveries.reserve(stamped.size());
  loop.post([&] {
    phone.startDeviceMotionUpdates([&](const auto& sample, const auto&) {
      const double steady = std::chrono::duration<double>(Steady::now().time_since_epoch()).count();
      deliveries.push_back({static_cast<int>(sample->rotationRate.x), steady, wallNow()});
    });
  });
  std::thread main([&] { loop.run(); });

  Session session;
  const double cpuBefore = cpuSeconds(RUSAGE_SELF);
  const double senderBefore = cpuSeconds(RUSAGE_THREAD);
  const auto began = Steady::now();
  {
    Poster poster(phone.port());
    auto next = began;
    for (int b = 0; b < batches; ++b) {
      next +=
          std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(kBatchPeriod));
      std::this_thread::sleep_until(next);
      // The readings of the batch period just gone, stamped by the phone.
      const double end = wallNow();
      std::string readings;
      for (int k = 0; k < kPerBatch; ++k) {
        const int tag = b * kPerBatch + k;
        stamped[static_cast<std::size_t>(tag)] = end - kBatchPeriod + (k + 1) * 0.01;
        readings += (k == 0 ? "" : ",") + headphone(stamped[static_cast<std::size_t>(tag)], tag);
      }
      const std::string body = "{\"messageId\":" + std::to_string(b) +
                               ",\"sessionId\":\"bench\",\"deviceId\":\"loopback\","
                               "\"payload\":[" +
                               readings + "]}";
      postedAt[static_cast<std::size_t>(b)] =
          std::chrono::duration<double>(Steady::now().time_since_epoch()).count();
      if (!poster.post(body)) ++session.failedPosts;
    }
    session.wallSeconds = std::chrono::duration<double>(Steady::now() - began).count();
    const double senderCpu = cpuSeconds(RUSAGE_THREAD) - senderBefore;
    session.receiverCpuShare =
        (cpuSeconds(RUSAGE_SELF) - cpuBefore - senderCpu) / session.wallSeconds;
    std::this_thread::sleep_for(std::chrono::seconds(1));  // the last batch plays out
  }
  loop.quit();
  main.join();
  session.playoutDelay = phone.playoutDelay();

  std::vector<double> offsets;
  for (const Delivery& d : deliveries) {
    if (d.tag < kWarmUpBatches * kPerBatch || d.tag >= static_cast<int>(stamped.size())) continue;
    session.latencies.push_back(d.steady - postedAt[static_cast<std::size_t>(d.tag / kPerBatch)]);
    offsets.push_back(d.wall - stamped[static_cast<std::size_t>(d.tag)]);
  }
  const double typical = median(offsets);
  for (const double offset : offsets) session.pacingErrors.push_back(std::abs(offset - typical));
  return session;
}

void report(benchmark::State& state, const Session& session) {
  state.SetIterationTime(session.wallSeconds);
  state.counters["samples"] = static_cast<double>(session.latencies.size());
  state.counters["failed_posts"] = session.failedPosts;
  state.counters["playout_delay_ms"] = 1e3 * session.playoutDelay;
}

void BM_PhonePushLatency(benchmark::State& state) {
  for (auto _ : state) {
    const Session session = runSession(3.0);
    report(state, session);
    std::vector<double> sorted = session.latencies;
    std::sort(sorted.begin(), sorted.end());
    state.counters["latency_median_ms"] = 1e3 * median(sorted);
    state.counters["latency_max_ms"] = sorted.empty() ? NAN : 1e3 * sorted.back();
  }
}
BENCHMARK(BM_PhonePushLatency)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_PhonePushPacingError(benchmark::State& state) {
  for (auto _ : state) {
    const Session session = runSession(3.0);
    report(state, session);
    std::vector<double> sorted = session.pacingErrors;
    std::sort(sorted.begin(), sorted.end());
    state.counters["pacing_error_median_ms"] = 1e3 * median(sorted);
    state.counters["pacing_error_p95_ms"] =
        sorted.empty() ? NAN : 1e3 * sorted[sorted.size() * 95 / 100];
  }
}
BENCHMARK(BM_PhonePushPacingError)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_PhonePushReceiverCpu(benchmark::State& state) {
  for (auto _ : state) {
    const Session session = runSession(4.0);
    report(state, session);
    state.counters["receiver_cpu_percent"] = 100.0 * session.receiverCpuShare;
  }
}
BENCHMARK(BM_PhonePushReceiverCpu)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace hopster
