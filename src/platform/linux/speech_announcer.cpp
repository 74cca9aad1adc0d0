#include "platform/linux/speech_announcer.h"

#include "platform/linux/session_bus.h"

#include <libspeechd.h>

#include <string>

namespace hopster {

struct SpeechAnnouncer::Connection {
  SPDConnection* speech;
};

bool screenReaderEnabled(const std::string& busAddress) {
  sd_bus* bus = nullptr;
  int result = openBus(busAddress, &bus);
  if (result < 0) return false;
  sd_bus_error error{};
  sd_bus_message* reply = nullptr;
  int enabled = 0;
  result =
      sd_bus_call_method(bus, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties",
                         "Get", &error, &reply, "ss", "org.a11y.Status", "ScreenReaderEnabled");
  if (result >= 0) result = sd_bus_message_read(reply, "v", "b", &enabled);
  sd_bus_error_free(&error);
  sd_bus_message_unref(reply);
  sd_bus_flush_close_unref(bus);
  return result >= 0 && enabled != 0;
}

std::unique_ptr<SpeechAnnouncer> SpeechAnnouncer::connect(Log& log) {
  char* error = nullptr;
  SPDConnection* speech =
      spd_open2("hopster", "announcements", nullptr, SPD_MODE_THREADED, nullptr, 1, &error);
  if (speech == nullptr) {
    log.line(std::string("Speech is not available: ") + (error != nullptr ? error : "no service"));
    free(error);
    return nullptr;
  }
  return std::unique_ptr<SpeechAnnouncer>(new SpeechAnnouncer(new Connection{speech}));
}

SpeechAnnouncer::SpeechAnnouncer(Connection* connection) : connection_(connection) {}

SpeechAnnouncer::~SpeechAnnouncer() {
  spd_close(connection_->speech);
  delete connection_;
}

void SpeechAnnouncer::announce(std::string_view text) {
  // A new count replaces the one still being spoken, as a screen reader does.
  spd_cancel(connection_->speech);
  spd_say(connection_->speech, SPD_MESSAGE, std::string(text).c_str());
}

std::unique_ptr<Announcer> makeSystemAnnouncer(Log& log) {
  if (screenReaderEnabled()) {
    if (auto speech = SpeechAnnouncer::connect(log)) return speech;
  }
  return std::make_unique<SilentAnnouncer>();
}

}  // namespace hopster
