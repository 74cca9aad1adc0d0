#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "trophies/trophy.h"

namespace hopster {

// One saved recording: when it ran, how many jumps it counted, and its whole
// motion trace as CSV text.
struct UserRecordData {
  std::string id;          // random UUID text
  double dateStart = 0.0;  // s since 1970
  double dateEnd = 0.0;    // s since 1970
  double timeSpent = 0.0;  // dateEnd - dateStart, s
  std::int64_t jumps = 0;
  std::string csvText;
  std::optional<Trophy> unlockedTrophy;
};

}  // namespace hopster
