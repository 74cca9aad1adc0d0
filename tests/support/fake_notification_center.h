#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/failure.h"
#include "reminders/notification_center.h"

namespace hopster::testing {

// A notification centre whose answers wait until release() delivers them, on
// the thread that calls it (one thread at a time). Records every request handed
// to `add`. Set the public fields before releasing the answers they shape.
class FakeNotificationCenter final : public NotificationCenter {
 public:
  void getAuthorizationStatus(
      std::function<void(NotificationAuthorizationStatus)> completion) override {
    ++statusQueries_;
    waiting_.push_back([this, completion] { completion(status); });
  }
  void requestAuthorization(std::function<void(bool, Status)> completion) override {
    ++prompts_;
    waiting_.push_back([this, completion] { completion(grant, authorizationError); });
  }
  void add(NotificationRequest request, std::function<void(Status)> completion) override {
    waiting_.push_back([this, index = requests_.size(), completion] {
      const auto failure = addErrors.find(index);
      completion(failure == addErrors.end() ? Status() : Status(failure->second));
    });
    requests_.push_back(std::move(request));
  }

  // Delivers every answer waiting now, oldest first; answers asked for
  // meanwhile wait for the next release. Returns how many.
  std::size_t release() {
    const auto answers = std::exchange(waiting_, {});
    for (const auto& answer : answers) answer();
    return answers.size();
  }

  [[nodiscard]] int statusQueries() const { return statusQueries_; }
  [[nodiscard]] int prompts() const { return prompts_; }
  [[nodiscard]] const std::vector<NotificationRequest>& requests() const { return requests_; }

  NotificationAuthorizationStatus status = NotificationAuthorizationStatus::notDetermined;
  bool grant = true;          // the user's answer to the prompt
  Status authorizationError;  // sent with that answer
  // Adds that fail, by position among all adds (from 0), with their failure.
  std::map<std::size_t, Failure> addErrors;

 private:
  std::vector<std::function<void()>> waiting_;
  std::vector<NotificationRequest> requests_;
  int statusQueries_ = 0;
  int prompts_ = 0;
};

}  // namespace hopster::testing
