#pragma once

#include <cstddef>
#include <functional>
#include <utility>

#include "platform/headphone_motion_service.h"

namespace hopster {

// What the motion sources that can come to an end (a replay, a stream, a
// device that goes away) share: the handler samples go to, their count, and
// the finished handler that runs once at the end. Used on the main thread.
class EndingMotionSource : public HeadphoneMotionService {
 public:
  // Runs on the main thread once the source has ended, after the last
  // sample's handler call. It may stop, restart or destroy the service.
  void setFinishedHandler(std::function<void()> finished) { finished_ = std::move(finished); }
  [[nodiscard]] bool isFinished() const { return isFinished_; }
  [[nodiscard]] std::size_t samplesDelivered() const { return delivered_; }

 protected:
  void setHandler(MotionHandler handler) { handler_ = std::move(handler); }
  void clearHandler() { handler_ = nullptr; }
  // A fresh start: nothing delivered, not finished.
  void restartCount() {
    delivered_ = 0;
    isFinished_ = false;
  }
  // Hands `sample` to the handler, through a copy: the handler may stop
  // updates and so drop itself.
  void deliverSample(const DeviceMotion& sample) {
    ++delivered_;
    const MotionHandler handler = handler_;
    if (handler) handler(sample, std::nullopt);
  }
  // Marks the end and runs the finished handler, last and from a copy: it
  // may destroy this service.
  void finish() {
    handler_ = nullptr;
    isFinished_ = true;
    if (const std::function<void()> finished = finished_) finished();
  }

 private:
  MotionHandler handler_;
  std::function<void()> finished_;
  std::size_t delivered_ = 0;
  bool isFinished_ = false;
};

}  // namespace hopster
