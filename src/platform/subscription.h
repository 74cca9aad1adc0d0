#pragma once

#include <functional>

namespace hopster {

// An observation that ends when this object is destroyed or cancelled. It
// may safely outlive what it observes.
class Subscription {
 public:
  Subscription() = default;
  explicit Subscription(std::function<void()> cancel);
  Subscription(Subscription&& other) noexcept;
  Subscription& operator=(Subscription&& other) noexcept;
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;
  ~Subscription();

  // Ends the observation now; later calls do nothing.
  void cancel();

 private:
  std::function<void()> cancel_;
};

}  // namespace hopster
