#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "motion/motion_data_point.h"
#include "platform/failure.h"

namespace hopster {

struct Recount {
  std::optional<std::int64_t> stored;  // the record's jump count; none for a bare trace
  std::int64_t recounted = 0;
  std::size_t skippedLines = 0;  // trace lines that were not samples
  bool truncated = false;        // the trace was longer than a replay reads

  [[nodiscard]] bool differs() const { return stored && *stored != recounted; }
};

// Recounts one file that a replay accepts: a record, a motion CSV or a phone
// export. The recount, or why not: notARecord or notRegularFile, its text
// "not a …", for a file that is not one of these.
[[nodiscard]] Outcome<Recount> recountFile(const std::filesystem::path& path);

// The result line: "FILE stored N recounted M", with "stored -" and a note
// for a file that is not a record.
[[nodiscard]] std::string recountLine(const std::string& file, const Recount& recount);

}  // namespace hopster
