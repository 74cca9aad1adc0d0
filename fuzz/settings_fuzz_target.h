#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace hopster {

// What one input reached, so the corpus test can tell that the seeds still
// get past the readers' first refusals.
struct SettingsOutcome {
  std::size_t settingsKeysSet = 0;  // settings keys read as other than their default
  bool settingsLogged = false;      // the store logged a problem with the document
  std::size_t reminders = 0;        // reminders the schedule read
  bool scheduleLogged = false;      // the schedule logged a problem with the document
};

// Hands the text as the stored document to the settings store and to the
// reminder schedule, reads everything through them, writes once to each, and
// checks what they promise: nothing throws; a log line is one line; reads
// repeat; a write changes its key only; and what was saved reads back the
// same in a store or schedule started afresh on it. Aborts, naming the
// property, when one does not hold.
SettingsOutcome exerciseSettings(std::string_view document);

// libFuzzer's view of the above.
int fuzzSettings(const std::uint8_t* data, std::size_t size);

}  // namespace hopster
