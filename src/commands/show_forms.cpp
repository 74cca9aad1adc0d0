#include "commands/show_forms.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "commands/text_output.h"
#include "records/history_format.h"

namespace hopster {
namespace {

// The widest bar of the per-minute chart, in character cells.
constexpr int kBarCells = 30;

// A bar of `value` against `peak` in eighths of a cell, so small differences
// still show; at least a sliver for any jump at all.
std::string bar(std::int64_t value, std::int64_t peak) {
  static const char* const kEighths[] = {"", "▏", "▎", "▍", "▌", "▋", "▊", "▉"};
  if (value <= 0 || peak <= 0) return {};
  const auto eighths = std::max<std::int64_t>(
      1, static_cast<std::int64_t>(std::llround(8.0 * kBarCells * static_cast<double>(value) /
                                                static_cast<double>(peak))));
  std::string text;
  for (std::int64_t i = 0; i < eighths / 8; ++i) text += "█";
  return text + kEighths[eighths % 8];
}

}  // namespace

std::string showText(const ShownRecording& shown, const Calendar& calendar, bool aligned) {
  const UserRecordData& record = shown.record;
  const RecordingAnalysis& analysis = shown.analysis;
  const auto recounted = static_cast<std::int64_t>(analysis.jumpTimes.size());
  TextTable summary{{}, {}, {}};
  summary.rows = {
      {"Start Date", calendar.startText(record.dateStart)},
      {"Duration", formatDuration(record.timeSpent)},
      {"Jumps", std::to_string(record.jumps)},
      {"Speed", formatSpeed(record.jumps, record.timeSpent) + " J/S"},
      {"Peak minute", peakMinuteText(analysis)},
      {"Longest run", longestRunText(analysis.longestRun)},
  };
  if (recounted != record.jumps) {
    summary.rows.push_back({"Recounted", std::to_string(recounted) +
                                             " jumps: the stored count differs; the minutes "
                                             "and runs are the recount's"});
  }
  if (shown.traceCut) {
    summary.rows.push_back({"Trace", "only its first samples were read"});
  }
  std::ostringstream out;
  if (!aligned) {
    for (std::size_t i = 0; i < analysis.jumpsPerMinute.size(); ++i) {
      summary.rows.push_back(
          {"minute " + std::to_string(i), std::to_string(analysis.jumpsPerMinute[i])});
    }
    writeTable(out, summary, false);
    return out.str();
  }
  writeTable(out, summary, true);
  if (analysis.jumpsPerMinute.empty()) return out.str();
  out << "\nJumps per minute\n";
  TextTable minutes{{}, {}, {true, false, true}};
  for (std::size_t i = 0; i < analysis.jumpsPerMinute.size(); ++i) {
    const std::int64_t count = analysis.jumpsPerMinute[i];
    minutes.rows.push_back(
        {minuteStartText(i), bar(count, analysis.peakJumpsPerMinute), std::to_string(count)});
  }
  writeTable(out, minutes, true);
  return out.str();
}

}  // namespace hopster
