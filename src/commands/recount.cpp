#include "commands/recount.h"

#include <cerrno>
#include <utility>

#include "analysis/recording_analysis.h"
#include "commands/record_listing.h"
#include "motion_sources/motion_trace.h"

namespace hopster {

Outcome<Recount> recountFile(const std::filesystem::path& path) {
  Recount recount;
  MotionTrace trace;
  if (looksLikeRecordFile(path)) {
    auto record = readRecordFile(path);
    if (!record) return std::move(record).error();
    recount.stored = record->jumps;
    trace = parseMotionTrace(record->csvText);
  } else {
    Outcome<MotionTrace> loaded = loadMotionTrace(path);
    if (!loaded) {
      // The motion reader's kinds carry over: notARecord ("not a zip
      // archive") and notRegularFile ("not a regular file (a FIFO)") name
      // what the file is. A socket or a device without its driver, though,
      // is refused by the system at its open (ENXIO), in words that name
      // nothing: a plain failure.
      Failure failure = std::move(loaded).error();
      if (failure == Failure::ofErrno(ENXIO)) failure.kind = FailureKind::other;
      return failure;
    }
    trace = std::move(loaded).value();
  }
  recount.recounted = static_cast<std::int64_t>(countedJumpTimes(trace.samples).size());
  recount.skippedLines = trace.skippedLines;
  recount.truncated = trace.truncated;
  return recount;
}

std::string recountLine(const std::string& file, const Recount& recount) {
  std::string line = file + " stored " +
                     (recount.stored ? std::to_string(*recount.stored) : std::string("-")) +
                     " recounted " + std::to_string(recount.recounted);
  if (!recount.stored) line += " (not a record: no stored count to compare)";
  if (recount.truncated) line += " (only the first samples were read)";
  return line;
}

}  // namespace hopster
