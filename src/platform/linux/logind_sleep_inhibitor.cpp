#include "platform/linux/logind_sleep_inhibitor.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdint>

#include "platform/linux/posix_io.h"
#include "platform/linux/session_bus.h"

namespace hopster {
namespace {

// Long enough for a busy phone's logind, short enough that a quit waiting
// for a call under way is not held up for sd-bus's default 25 seconds.
constexpr std::uint64_t kInhibitTimeoutMicroseconds = 5'000'000;

class LogindSleepHold final : public SleepInhibitor::Hold {
 public:
  explicit LogindSleepHold(UniqueFd fd) : fd_(std::move(fd)) {}

 private:
  UniqueFd fd_;  // logind ends the inhibitor once every copy of it is closed
};

}  // namespace

Outcome<std::unique_ptr<SleepInhibitor::Hold>> LogindSleepInhibitor::holdOffSleep(
    const std::string& who, const std::string& why) {
  sd_bus* raw = nullptr;
  int result = sd_bus_open_system(&raw);
  if (result < 0) return Failure{FailureKind::other, "no system bus (" + errorText(-result) + ")"};
  const BusPtr bus(raw);
  sd_bus_set_method_call_timeout(bus.get(), kInhibitTimeoutMicroseconds);
  BusError busError;
  sd_bus_message* reply = nullptr;
  result = sd_bus_call_method(bus.get(), "org.freedesktop.login1", "/org/freedesktop/login1",
                              "org.freedesktop.login1.Manager", "Inhibit", &busError.error, &reply,
                              "ssss", "sleep", who.c_str(), why.c_str(), "block");
  const MessagePtr owned(reply);
  int fd = -1;
  if (result >= 0) result = sd_bus_message_read(reply, "h", &fd);
  if (result < 0) return Failure{FailureKind::other, busError.describe(result)};
  // The reply owns the descriptor it carries and closes it when freed: the
  // hold keeps a copy of its own, closed on exec so no child keeps it.
  UniqueFd held(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
  if (!held) return Failure::ofErrno(errno);
  return std::unique_ptr<Hold>(std::make_unique<LogindSleepHold>(std::move(held)));
}

}  // namespace hopster
