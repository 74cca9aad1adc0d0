#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "reminders/notification_center.h"

namespace hopster::testing {

// A notification centre whose answers wait until the test releases them, on
// the test's thread or on a thread of their own. Records every request handed
// to `add`. Set the public fields before releasing the answers they shape.
class FakeNotificationCenter final : public NotificationCenter {
 public:
  void getAuthorizationStatus(
      std::function<void(NotificationAuthorizationStatus)> completion) override {
    const std::lock_guard lock(mutex_);
    ++statusQueries_;
    waiting_.push_back([this, completion = std::move(completion)] { completion(status); });
  }

  void requestAuthorization(
      std::function<void(bool, std::optional<std::string>)> completion) override {
    const std::lock_guard lock(mutex_);
    ++prompts_;
    waiting_.push_back(
        [this, completion = std::move(completion)] { completion(grant, authorizationError); });
  }

  void add(NotificationRequest request,
           std::function<void(std::optional<std::string>)> completion) override {
    const std::lock_guard lock(mutex_);
    const std::size_t index = requests_.size();
    requests_.push_back(std::move(request));
    waiting_.push_back([this, index, completion = std::move(completion)] {
      const auto failure = addErrors.find(index);
      completion(failure == addErrors.end() ? std::nullopt
                                            : std::optional<std::string>(failure->second));
    });
  }

  // Delivers every answer waiting now, oldest first, on the calling thread;
  // answers asked for meanwhile wait for the next release. Returns how many.
  std::size_t release() {
    std::vector<std::function<void()>> answers;
    {
      const std::lock_guard lock(mutex_);
      answers.swap(waiting_);
    }
    for (auto& answer : answers) answer();
    return answers.size();
  }

  // The same, from a new thread that has ended when this returns.
  std::size_t releaseOnOtherThread() {
    std::size_t released = 0;
    std::thread([&] { released = release(); }).join();
    return released;
  }

  [[nodiscard]] int statusQueries() const {
    const std::lock_guard lock(mutex_);
    return statusQueries_;
  }
  [[nodiscard]] int prompts() const {
    const std::lock_guard lock(mutex_);
    return prompts_;
  }
  [[nodiscard]] std::vector<NotificationRequest> requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
  }

  // The status the settings report.
  NotificationAuthorizationStatus status = NotificationAuthorizationStatus::notDetermined;
  // The user's answer to the prompt, and the error that comes with it.
  bool grant = true;
  std::optional<std::string> authorizationError;
  // Adds that fail, by position among all adds (from 0), with their error.
  std::map<std::size_t, std::string> addErrors;

 private:
  mutable std::mutex mutex_;
  std::vector<std::function<void()>> waiting_;
  std::vector<NotificationRequest> requests_;
  int statusQueries_ = 0;
  int prompts_ = 0;
};

}  // namespace hopster::testing
