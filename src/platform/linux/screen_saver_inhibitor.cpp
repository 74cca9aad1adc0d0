#include "platform/linux/screen_saver_inhibitor.h"

namespace hopster {
namespace {

constexpr const char* kScreenSaver = "org.freedesktop.ScreenSaver";
constexpr const char* kScreenSaverPath = "/org/freedesktop/ScreenSaver";

}  // namespace

Outcome<std::unique_ptr<ScreenSaverInhibitor>> ScreenSaverInhibitor::inhibit(
    const std::string& application, const std::string& reason, const std::string& busAddress) {
  sd_bus* raw = nullptr;
  int result = openBus(busAddress, &raw);
  if (result < 0) return Failure{FailureKind::other, BusError().describe(result)};
  BusPtr bus(raw);
  BusError busError;
  sd_bus_message* reply = nullptr;
  result = sd_bus_call_method(bus.get(), kScreenSaver, kScreenSaverPath, kScreenSaver, "Inhibit",
                              &busError.error, &reply, "ss", application.c_str(), reason.c_str());
  MessagePtr owned(reply);
  std::uint32_t cookie = 0;
  if (result >= 0) result = sd_bus_message_read(reply, "u", &cookie);
  if (result < 0) return Failure{FailureKind::other, busError.describe(result)};
  return std::unique_ptr<ScreenSaverInhibitor>(new ScreenSaverInhibitor(std::move(bus), cookie));
}

ScreenSaverInhibitor::ScreenSaverInhibitor(BusPtr bus, std::uint32_t cookie)
    : bus_(std::move(bus)), cookie_(cookie) {}

ScreenSaverInhibitor::~ScreenSaverInhibitor() {
  sd_bus_call_method(bus_.get(), kScreenSaver, kScreenSaverPath, kScreenSaver, "UnInhibit", nullptr,
                     nullptr, "u", cookie_);
}

}  // namespace hopster
