#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace hopster {

// What one input reached, so the corpus test can tell that the seeds still
// get past the decoder's first refusals and on into samples.
struct PushMessageOutcome {
  bool decoded = false;              // the body read as a message
  std::size_t readings = 0;          // motion readings the message kept
  std::size_t headphoneSamples = 0;  // samples made from headphone readings
  std::size_t phoneSamples = 0;      // samples made from the phone's own readings
  std::size_t refusedReadings = 0;   // readings the builder counted malformed
};

// Hands the bytes as an HTTP push body to the message decoder and every motion
// reading it keeps, in order, to one sample builder, and checks what both
// promise: nothing throws; a refused body has a short one-line reason; the
// message keeps within its caps, accounts for every reading once and keeps
// its readings in time order; every sample keeps its reading's time and
// source, holds finite numbers only, a gravity of non-zero length and a
// rotation matrix that is a rotation turning that gravity straight down; no
// phone sample follows a headphone one; the builder's log lines are one line
// each. Aborts, naming the property, when one does not hold.
PushMessageOutcome exercisePushMessage(std::string_view body);

// libFuzzer's view of the above.
int fuzzPushMessage(const std::uint8_t* data, std::size_t size);

}  // namespace hopster
