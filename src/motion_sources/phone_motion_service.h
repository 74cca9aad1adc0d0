#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "motion_sources/phone_push_server.h"
#include "motion_sources/phone_sample_builder.h"
#include "motion_sources/playout_buffer.h"
#include "platform/clock.h"
#include "platform/headphone_motion_service.h"
#include "platform/linux/system_clock.h"
#include "platform/log.h"
#include "platform/scheduler.h"

namespace hopster {

// Where the phone pushes to.
struct PhoneEndpoint {
  std::string address;  // "" = every interface
  std::uint16_t port = 8000;
};

// Headphones by way of a phone: the Sensor Logger app streams the motion of
// AirPods (or of the phone itself) by HTTP Push, and this service turns its
// messages back into a stream of samples at their own rhythm.
//
// The server listens for the service's whole life, so the headphone check
// sees readings before any recording starts. Its messages reach the main
// thread through Scheduler::post. There one stream is followed at a time:
// the first device and session to send; another is ignored until that one
// has been silent for kStreamSilence. Its readings become samples, which go
// through a playout buffer and reach the handler in time order, each when
// its own time stamp says, while updates are active; otherwise they only
// tell recentStream() what is arriving.
class PhoneMotionService final : public HeadphoneMotionService {
 public:
  enum class StreamKind { none, headphones, phone };

  // Readings count as recent for this long.
  static constexpr double kRecent = 3.0;
  // Another stream is taken up after the current one is quiet this long.
  static constexpr double kStreamSilence = 5.0;
  // Messages waiting for the main thread are held to these; more are dropped.
  static constexpr std::size_t kMostWaitingMessages = 64;
  static constexpr std::size_t kMostWaitingReadings = 50'000;

  // Starts listening. `limits` bound what clients may cost the server.
  PhoneMotionService(PhoneEndpoint endpoint, std::string token, Scheduler& scheduler,
                     const Clock& clock, Log& log, PushServerLimits limits = {});
  // Stops the server and cancels every pending delivery.
  ~PhoneMotionService() override;
  PhoneMotionService(const PhoneMotionService&) = delete;
  PhoneMotionService& operator=(const PhoneMotionService&) = delete;

  [[nodiscard]] MotionAuthorizationStatus authorizationStatus() const override;
  // True while listening.
  [[nodiscard]] bool isDeviceMotionAvailable() const override;
  void startDeviceMotionUpdates(MotionHandler handler) override;
  [[nodiscard]] bool isDeviceMotionActive() const override;
  void stopDeviceMotionUpdates() override;

  // Why the service is not listening (the port is taken, say), in one line.
  [[nodiscard]] const std::optional<std::string>& startupError() const;
  // The port listened on; 0 when not listening.
  [[nodiscard]] std::uint16_t port() const;

  // Headphone samples within the last kRecent seconds: headphones; else
  // phone samples within that time: phone; else none.
  [[nodiscard]] StreamKind recentStream() const;
  // Runs on the main thread whenever recentStream() changes, also when it
  // lapses for want of readings.
  void setStreamChangedHandler(std::function<void()> handler);

  [[nodiscard]] std::size_t samplesDelivered() const { return delivered_; }
  // Readings received but not made into samples: malformed ones, those of an
  // ignored stream, and those of messages dropped while the main thread was
  // behind.
  [[nodiscard]] std::size_t readingsDropped() const;
  // Messages of another device or session while one was being followed.
  [[nodiscard]] std::size_t messagesIgnored() const { return ignored_; }
  // What the playout turned away (late, overflowing, stray, repeated).
  [[nodiscard]] const PlayoutCounts& playoutCounts() const { return playout_.counts(); }
  [[nodiscard]] PushServerCounts serverCounts() const;
  // The playout's current delay, in seconds.
  [[nodiscard]] double playoutDelay() const { return playout_.delay(); }

 private:
  // Work posted to the main thread reaches the service through this; the
  // destructor clears it. The counters are the server thread's.
  struct Link {
    PhoneMotionService* owner = nullptr;
    std::atomic<std::size_t> waitingMessages{0};
    std::atomic<std::size_t> waitingReadings{0};
    std::atomic<std::size_t> droppedReadings{0};
  };
  struct Stream {
    std::string deviceId;
    std::string sessionId;
  };

  void receive(PushMessage message);
  bool follow(const PushMessage& message, double now);
  void pump(double now);
  void armPump();
  void checkStream();

  Scheduler& scheduler_;
  const Clock& clock_;
  Log& log_;
  std::shared_ptr<Link> link_;
  SystemClock serverClock_;  // the server's clock is read on its own thread
  std::unique_ptr<Log> serverLog_;
  std::unique_ptr<PhonePushServer> server_;

  // Main thread only.
  MotionHandler handler_;
  std::function<void()> streamChanged_;
  bool active_ = false;
  std::optional<Stream> stream_;
  double lastMessage_ = 0.0;
  std::unique_ptr<PhoneSampleBuilder> builder_;
  PlayoutBuffer playout_;
  std::optional<double> lastHeadphones_, lastPhone_;
  StreamKind reported_ = StreamKind::none;
  std::optional<double> pumpArmedFor_, checkArmedFor_;
  std::size_t delivered_ = 0;
  std::size_t ignored_ = 0;
  std::size_t droppedReadings_ = 0;  // malformed, ignored, of finished builders
};

}  // namespace hopster
