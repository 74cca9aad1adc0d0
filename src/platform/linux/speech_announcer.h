#pragma once

#include <memory>
#include <string>

#include "platform/announcer.h"
#include "platform/log.h"

namespace hopster {

// Whether the user runs a screen reader: the accessibility bus's
// "ScreenReaderEnabled" status, asked on the session bus at `busAddress`
// (empty: the user's own). False when there is no bus or no answer.
[[nodiscard]] bool screenReaderEnabled(const std::string& busAddress = {});

// Speaks announcements through speech-dispatcher, the speech service Linux
// screen readers use, so the count after each jump and the countdown are
// heard as they would be from a phone's screen reader.
class SpeechAnnouncer final : public Announcer {
 public:
  // Nothing when speech-dispatcher cannot be reached (one log line says so).
  [[nodiscard]] static std::unique_ptr<SpeechAnnouncer> connect(Log& log);
  ~SpeechAnnouncer() override;
  SpeechAnnouncer(const SpeechAnnouncer&) = delete;
  SpeechAnnouncer& operator=(const SpeechAnnouncer&) = delete;

  void announce(std::string_view text) override;
  // A new screen layout needs no words of its own.
  void layoutChanged() override {}

 private:
  struct Connection;
  explicit SpeechAnnouncer(Connection* connection);
  Connection* connection_;
};

// The announcer for this session: speech while a screen reader runs, else
// silence, as announcements are meant for screen-reader users only.
[[nodiscard]] std::unique_ptr<Announcer> makeSystemAnnouncer(Log& log);

}  // namespace hopster
