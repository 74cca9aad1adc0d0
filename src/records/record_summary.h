#pragma once

#include <cstdint>
#include <string>

namespace hopster {

// What the history list shows of one record file: everything but its motion
// trace and trophy, plus where the file is and when it was created.
struct RecordSummary {
  std::string id;
  std::string fileName;  // within the documents folder, ".json" included
  double dateStart = 0.0;
  double dateEnd = 0.0;
  double timeSpent = 0.0;
  std::int64_t jumps = 0;
  // The file's birth time in seconds since 1970; 0001-01-01 when the file
  // system records none, so such files sort after all others.
  double created = 0.0;
};

}  // namespace hopster
