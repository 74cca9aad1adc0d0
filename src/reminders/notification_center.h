#pragma once

#include <functional>
#include <string>

#include "platform/failure.h"

namespace hopster {

enum class NotificationAuthorizationStatus {
  notDetermined,
  denied,
  authorized,
  provisional,
};

// One reminder to show once, `delaySeconds` after it was added.
struct NotificationRequest {
  std::string identifier;  // random UUID text
  std::string title;
  std::string subtitle;
  bool defaultSound = true;
  double delaySeconds = 0.0;
};

// The system's local notifications. Every answer comes later through its
// callback, possibly on another thread; callers move to the main thread
// themselves.
class NotificationCenter {
 public:
  virtual ~NotificationCenter() = default;

  virtual void getAuthorizationStatus(
      std::function<void(NotificationAuthorizationStatus)> completion) = 0;
  // Asks for permission to alert, play sounds and badge. `completion` gets
  // whether it was granted and, on failure, why not.
  virtual void requestAuthorization(std::function<void(bool granted, Status error)> completion) = 0;
  // Schedules one request. `completion` gets why not on failure.
  virtual void add(NotificationRequest request, std::function<void(Status error)> completion) = 0;
};

}  // namespace hopster
