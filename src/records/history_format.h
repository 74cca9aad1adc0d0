#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "records/record_summary.h"
#include "records/user_record_data.h"

namespace hopster {

// A duration as the history list shows it: "5.50s", "1m 5.25s", "1h 0m 0.00s".
// Hundredths are cut, not rounded; minutes show with hours even when 0; hours
// only from 3600 s on. A duration that is not finite or does not fit a 64-bit
// integer of seconds gives "—" (the recorder never saves one).
[[nodiscard]] std::string formatDuration(double seconds);

// Jumps per second with two decimals, as printf "%.2f" writes it in the C
// locale ("2.30", and "inf" or "nan" when timeSpent is 0), whatever the
// process's numeric locale.
[[nodiscard]] std::string formatSpeed(std::int64_t jumps, double timeSpent);

// Latest start first. Stable, so records with equal starts keep their order;
// records whose start is NaN go last, all together, in their old order.
void sortByStartDescending(std::vector<UserRecordData>& records);
void sortByStartDescending(std::vector<RecordSummary>& records);

}  // namespace hopster
