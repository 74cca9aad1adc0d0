#pragma once

#include <cstddef>
#include <filesystem>

namespace hopster {

// What pressing Stop on a long recording costs, measured on the real
// services: the record store on a scratch folder, the Qt scheduler on the
// running QCoreApplication's loop and the background worker.
struct StopSaveMeasurement {
  // The longest stretch in which the main thread could not run a 1 ms timer,
  // between the Stop tap and the end of the save, minus the 1 ms interval.
  double longestMainThreadBlockMs = 0.0;
  // The same for two seconds of an idle main loop just before the Stop: the
  // floor that the machine's other load sets.
  double longestIdleBlockMs = 0.0;
  // From the Stop tap until the controller reports the record saved and counted.
  double stopToSavedMs = 0.0;
  // Writing the same number of bytes as the record file with write(2) and
  // fdatasync, into the same folder.
  double plainWriteMs = 0.0;
  std::size_t recordBytes = 0;
  std::size_t samples = 0;
  bool saved = false;
};

// Records `samples` samples (100 Hz for `samples` / 100 seconds of motion,
// fed as fast as the main thread takes them, with jumps among them), lets the
// journal catch up as it would during a real recording, presses Stop and
// measures. Needs a QCoreApplication on the calling thread; takes about five
// seconds plus the save (the countdown runs in real time). `scratch` must
// exist and be empty. With `trophiesUnlockedBefore`, every trophy is unlocked
// before the recording, as for a user who has recorded long before; without,
// the stop unlocks several at once, each stored as it is awarded.
[[nodiscard]] StopSaveMeasurement measureStopSave(const std::filesystem::path& scratch,
                                                  std::size_t samples = 360'000,
                                                  bool trophiesUnlockedBefore = false);

}  // namespace hopster
