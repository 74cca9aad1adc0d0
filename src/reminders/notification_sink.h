#pragma once

#include <optional>
#include <string>

#include "platform/failure.h"

namespace hopster {

// What one notification on the desktop shows.
struct DesktopNotification {
  std::string title;
  std::string subtitle;
  bool sound = true;  // play the desktop's sound for a new message
};

// Why a notification was not shown for certain.
struct ShowFailure {
  std::string reason;
  // The call went out but no answer came back in time: the service may have
  // shown it all the same.
  bool maybeShown = false;

  bool operator==(const ShowFailure&) const = default;
};

// The desktop's notification service: shows a notification now. It cannot
// schedule one; DesktopNotificationCenter keeps the schedule.
class NotificationSink {
 public:
  virtual ~NotificationSink() = default;

  // Nothing when the service is there and answers, else why not: notFound
  // when no service has the name.
  [[nodiscard]] virtual Status checkService() = 0;
  // Shows `notification` now. Returns what went wrong on failure.
  [[nodiscard]] virtual std::optional<ShowFailure> show(
      const DesktopNotification& notification) = 0;
};

}  // namespace hopster
