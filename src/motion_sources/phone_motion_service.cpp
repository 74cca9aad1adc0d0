#include "motion_sources/phone_motion_service.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/linux/posix_io.h"

namespace hopster {
namespace {

// Lines the server writes on its own thread, handed to the main thread.
class PostingLog final : public Log {
 public:
  explicit PostingLog(std::function<void(std::string)> post) : post_(std::move(post)) {}
  void line(std::string_view message) override { post_(std::string(message)); }

 private:
  std::function<void(std::string)> post_;
};

}  // namespace

PhoneMotionService::PhoneMotionService(PhoneEndpoint endpoint, std::string token,
                                       Scheduler& scheduler, const Clock& clock, Log& log,
                                       PushServerLimits limits)
    : scheduler_(scheduler), clock_(clock), log_(log), link_(std::make_shared<Link>()) {
  link_->owner = this;
  serverLog_ = std::make_unique<PostingLog>([link = link_, &scheduler, &log](std::string line) {
    scheduler.post([link, &log, line = std::move(line)] {
      if (link->owner != nullptr) log.line(line);
    });
  });
  // The server thread only counts and posts; everything else waits for the
  // main thread. Messages beyond what may wait are dropped there and then,
  // so a stalled main thread cannot make the queue grow without bound.
  auto onMessage = [link = link_, &scheduler](PushMessage message) {
    const std::size_t readings = message.payload.size();
    if (link->waitingMessages >= kMostWaitingMessages ||
        link->waitingReadings + readings > kMostWaitingReadings) {
      link->droppedReadings += readings + message.malformedReadings;
      return;
    }
    ++link->waitingMessages;
    link->waitingReadings += readings;
    scheduler.post([link, readings, message = std::move(message)]() mutable {
      --link->waitingMessages;
      link->waitingReadings -= readings;
      if (link->owner != nullptr) link->owner->receive(std::move(message));
    });
  };
  server_ =
      std::make_unique<PhonePushServer>(endpoint.address, endpoint.port, token,
                                        std::move(onMessage), *serverLog_, serverClock_, limits);
}

PhoneMotionService::~PhoneMotionService() {
  server_.reset();  // joins the server thread: nothing more is posted
  link_->owner = nullptr;
}

MotionAuthorizationStatus PhoneMotionService::authorizationStatus() const {
  return MotionAuthorizationStatus::authorized;
}

bool PhoneMotionService::isDeviceMotionAvailable() const { return server_->isListening(); }

void PhoneMotionService::startDeviceMotionUpdates(MotionHandler handler) {
  if (!isDeviceMotionAvailable()) return;
  handler_ = std::move(handler);
  active_ = true;
}

bool PhoneMotionService::isDeviceMotionActive() const { return active_; }

void PhoneMotionService::stopDeviceMotionUpdates() {
  active_ = false;
  handler_ = nullptr;
  playout_.discardQueued();
}

const std::optional<std::string>& PhoneMotionService::startupError() const {
  return server_->startupError();
}

std::uint16_t PhoneMotionService::port() const { return server_->port(); }

PushServerCounts PhoneMotionService::serverCounts() const { return server_->counts(); }

std::size_t PhoneMotionService::readingsDropped() const {
  return droppedReadings_ + link_->droppedReadings + (builder_ ? builder_->malformedReadings() : 0);
}

PhoneMotionService::StreamKind PhoneMotionService::recentStream() const {
  const double now = clock_.now();
  if (lastHeadphones_ && now - *lastHeadphones_ < kRecent) return StreamKind::headphones;
  if (lastPhone_ && now - *lastPhone_ < kRecent) return StreamKind::phone;
  return StreamKind::none;
}

void PhoneMotionService::setStreamChangedHandler(std::function<void()> handler) {
  streamChanged_ = std::move(handler);
}

void PhoneMotionService::receive(PushMessage message) {
  const double now = clock_.now();
  if (!follow(message, now)) {
    ++ignored_;
    droppedReadings_ += message.payload.size() + message.malformedReadings;
    return;
  }
  lastMessage_ = now;
  droppedReadings_ += message.malformedReadings;

  std::vector<PlayoutSample> samples;
  if (!playout_.isRepeat(message.messageId)) {
    samples.reserve(message.payload.size());
    for (const PushReading& reading : message.payload) {
      std::optional<TimedMotion> sample = builder_->add(reading);
      if (!sample) continue;
      (sample->fromHeadphones ? lastHeadphones_ : lastPhone_) = now;
      samples.push_back(PlayoutSample{sample->time, sample->motion});
    }
  }
  if (!playout_.add(message.messageId, now, std::move(samples))) return;
  const std::shared_ptr<Link> link = link_;  // the handler may destroy the service
  if (active_) {
    pump(now);
    if (link->owner == nullptr) return;
  } else {
    playout_.discardQueued();
  }
  checkStream();
}

bool PhoneMotionService::follow(const PushMessage& message, double now) {
  if (stream_ && stream_->deviceId == message.deviceId && stream_->sessionId == message.sessionId) {
    return true;
  }
  if (stream_ && now - lastMessage_ < kStreamSilence) return false;
  if (builder_) droppedReadings_ += builder_->malformedReadings();
  builder_ = std::make_unique<PhoneSampleBuilder>(log_);
  playout_.reset();
  stream_ = Stream{message.deviceId, message.sessionId};
  log_.line("Receiving motion from phone " + printable(message.deviceId, 64) + ", session " +
            printable(message.sessionId, 64));
  return true;
}

void PhoneMotionService::pump(double now) {
  if (!active_) return;
  // The handler may stop updates, or even destroy the service.
  const std::shared_ptr<Link> link = link_;
  for (const PlayoutSample& sample : playout_.takeDue(now)) {
    ++delivered_;
    const MotionHandler handler = handler_;
    if (handler) handler(sample.motion, std::nullopt);
    if (link->owner == nullptr || !active_) return;
  }
  armPump();
}

void PhoneMotionService::armPump() {
  // Timers cannot be cancelled: one is set only when it would fire sooner
  // than the one already set, and a timer that finds nothing due just sets
  // the next.
  const std::optional<double> due = playout_.nextDue();
  if (!due || (pumpArmedFor_ && *pumpArmedFor_ <= *due)) return;
  pumpArmedFor_ = *due;
  scheduler_.runAfter(std::max(0.0, *due - clock_.now()), [link = link_, at = *due] {
    PhoneMotionService* self = link->owner;
    if (self == nullptr) return;
    if (self->pumpArmedFor_ == at) self->pumpArmedFor_.reset();
    // What was due when the timer was set is taken even if the timer fires a
    // hair early (rounding, or a clock apart from the scheduler's).
    self->pump(std::max(self->clock_.now(), at));
  });
}

void PhoneMotionService::checkStream() {
  const StreamKind kind = recentStream();
  if (kind != reported_) {
    reported_ = kind;
    const std::shared_ptr<Link> link = link_;
    if (const std::function<void()> changed = streamChanged_) changed();
    if (link->owner == nullptr) return;
  }
  // Looked at again when the earliest recent reading stops being recent.
  const double now = clock_.now();
  std::optional<double> lapse;
  for (const auto& last : {lastHeadphones_, lastPhone_}) {
    if (last && *last + kRecent > now) {
      lapse = std::min(lapse.value_or(*last + kRecent), *last + kRecent);
    }
  }
  if (!lapse || (checkArmedFor_ && *checkArmedFor_ <= *lapse)) return;
  checkArmedFor_ = *lapse;
  // At least a millisecond on: a timer that fires a hair early looks again
  // rather than spinning at one instant.
  scheduler_.runAfter(std::max(*lapse - now, 0.001), [link = link_, at = *lapse] {
    PhoneMotionService* self = link->owner;
    if (self == nullptr) return;
    if (self->checkArmedFor_ == at) self->checkArmedFor_.reset();
    self->checkStream();
  });
}

}  // namespace hopster
