#include "motion_lines_fuzz_target.h"

#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_invariant.h"
#include "motion_sources/motion_trace.h"
#include "motion_sources/stream_sample.h"
#include "records/motion_csv.h"
#include "records/number_form.h"

namespace hopster {
namespace {

constexpr std::size_t kTraceFields = sizeof(MotionDataPoint) / sizeof(double);
using StreamValues = std::array<double, kStreamSampleFields>;
using TraceValues = std::array<double, kTraceFields>;

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const auto at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

std::string_view trimmed(std::string_view field) {
  constexpr std::string_view kBlank = " \t\r";
  const auto first = field.find_first_not_of(kBlank);
  if (first == std::string_view::npos) return {};
  return field.substr(first, field.find_last_not_of(kBlank) - first + 1);
}

bool isBlank(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

// The value C's strtod reads from the whole field, with whether it reported a
// range error; nothing when it stops before the end. strtod shares no code
// with the parsers' std::from_chars, so each checks the other.
struct StrtodReading {
  double value = 0.0;
  bool rangeError = false;
};
std::optional<StrtodReading> readWithStrtod(std::string_view field) {
  const std::string text(field);  // strtod needs the terminating zero
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size()) return std::nullopt;
  return StrtodReading{value, errno == ERANGE};
}

// Whether `field` is a decimal as any writer would put it: "-" or nothing,
// digits, optionally "." and digits, optionally an exponent.
bool isPlainDecimal(std::string_view field) {
  std::size_t at = 0;
  const auto digits = [&] {
    const std::size_t start = at;
    while (at < field.size() && field[at] >= '0' && field[at] <= '9') ++at;
    return at > start;
  };
  if (at < field.size() && field[at] == '-') ++at;
  if (!digits()) return false;
  if (at < field.size() && field[at] == '.') {
    ++at;
    if (!digits()) return false;
  }
  if (at < field.size() && (field[at] == 'e' || field[at] == 'E')) {
    ++at;
    if (at < field.size() && (field[at] == '+' || field[at] == '-')) ++at;
    if (!digits()) return false;
  }
  return at == field.size();
}

bool sameBits(std::span<const double> a, std::span<const double> b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::bit_cast<std::uint64_t>(a[i]) != std::bit_cast<std::uint64_t>(b[i])) return false;
  }
  return true;
}

// A line of `count` plain decimals, each a finite double without a range
// error, is one no reader may refuse.
bool mustParse(std::string_view line, std::size_t count) {
  const std::vector<std::string_view> fields = split(line, ',');
  if (fields.size() != count) return false;
  for (const std::string_view field : fields) {
    const std::string_view text = trimmed(field);
    if (!isPlainDecimal(text)) return false;
    const auto reading = readWithStrtod(text);
    if (!reading || reading->rangeError || !std::isfinite(reading->value)) return false;
  }
  return true;
}

// What a parser read from `line` holds up field by field.
void checkFields(std::string_view line, std::span<const double> values) {
  const std::vector<std::string_view> fields = split(line, ',');
  requireInvariant(fields.size() == values.size(),
                   "a line that parses has exactly the wanted number of fields");
  for (std::size_t i = 0; i < values.size(); ++i) {
    requireInvariant(std::isfinite(values[i]), "every number read is finite");
    const auto reading = readWithStrtod(trimmed(fields[i]));
    requireInvariant(reading && sameBits({&reading->value, 1}, {&values[i], 1}),
                     "every field reads as strtod reads it, in its column");
  }
}

std::string joined(std::span<const double> values) {
  std::string line;
  for (const double value : values) {
    if (!line.empty()) line += ',';
    line += formatNumber(value);
  }
  return line;
}

// The sample's numbers in the order of a stream line.
StreamValues streamValues(const DeviceMotion& m) {
  const RotationMatrix& r = m.attitude.rotationMatrix;
  return {m.userAcceleration.x,
          m.userAcceleration.y,
          m.userAcceleration.z,
          m.rotationRate.x,
          m.rotationRate.y,
          m.rotationRate.z,
          m.attitude.pitch,
          m.attitude.roll,
          m.attitude.yaw,
          r.m11,
          r.m12,
          r.m13,
          r.m21,
          r.m22,
          r.m23,
          r.m31,
          r.m32,
          r.m33,
          m.gravity.x,
          m.gravity.y,
          m.gravity.z};
}

// A MotionDataPoint is its sixteen columns in order.
TraceValues traceValues(const MotionDataPoint& point) { return std::bit_cast<TraceValues>(point); }

void checkStreamLine(std::string_view line, MotionLinesOutcome& outcome) {
  const std::optional<DeviceMotion> motion = parseStreamSample(line);
  if (!motion) {
    requireInvariant(!mustParse(line, kStreamSampleFields),
                     "a line of 21 plain in-range decimals is a stream sample");
    return;
  }
  const StreamValues values = streamValues(*motion);
  checkFields(line, values);
  const std::optional<DeviceMotion> again = parseStreamSample(joined(values));
  requireInvariant(again && sameBits(streamValues(*again), values),
                   "a stream sample written back reads the same");
  ++outcome.streamSamples;
}

// The trace read one content line at a time must be the trace read whole:
// the header passed over only as the first line, blank lines ignored,
// every other line one sample or one skipped line.
void checkTraceLineByLine(std::string_view text, const MotionTrace& whole) {
  std::vector<MotionDataPoint> samples;
  std::size_t skipped = 0;
  bool first = true;
  for (const std::string_view line : split(text, '\n')) {
    // One carriage return ends a CRLF line; the line goes on whole to be
    // read alone, which drops it the same way.
    std::string_view content = line;
    if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
    const bool opening = std::exchange(first, false);
    if (isBlank(content) || (opening && content == kMotionCSVHeader)) continue;
    if (content == kMotionCSVHeader) {  // a header anywhere else is no sample
      ++skipped;
      continue;
    }
    const MotionTrace single = parseMotionTrace(line);
    requireInvariant(single.samples.size() + single.skippedLines == 1,
                     "a content line is one sample or one skipped line");
    if (single.samples.empty()) {
      requireInvariant(!mustParse(line, kTraceFields),
                       "a line of 16 plain in-range decimals is a trace sample");
      ++skipped;
      continue;
    }
    checkFields(line, traceValues(single.samples.front()));
    samples.push_back(single.samples.front());
  }
  requireInvariant(whole.skippedLines == skipped, "the whole text skips the lines each skips");
  requireInvariant(whole.samples.size() == samples.size(),
                   "the whole text keeps the samples each line holds");
  for (std::size_t i = 0; i < samples.size(); ++i) {
    requireInvariant(sameBits(traceValues(whole.samples[i]), traceValues(samples[i])),
                     "the whole text reads each sample as its line alone does");
  }
}

void checkTrace(std::string_view text, MotionLinesOutcome& outcome) {
  const MotionTrace trace = parseMotionTrace(text);
  // Every sample line is over 30 bytes: no input libFuzzer makes reaches the cap.
  requireInvariant(!trace.truncated, "a short text is never truncated");
  checkTraceLineByLine(text, trace);

  // What a recording saves, a replay must read back exactly.
  const MotionTrace again = parseMotionTrace(makeMotionCSV(trace.samples));
  requireInvariant(again.skippedLines == 0 && again.samples.size() == trace.samples.size(),
                   "a written trace reads back whole");
  for (std::size_t i = 0; i < trace.samples.size(); ++i) {
    requireInvariant(sameBits(traceValues(again.samples[i]), traceValues(trace.samples[i])),
                     "a written trace reads back bit for bit");
  }
  outcome.traceSamples += trace.samples.size();
  outcome.skippedLines += trace.skippedLines;
}

}  // namespace

MotionLinesOutcome exerciseMotionLines(std::string_view text) {
  MotionLinesOutcome outcome;
  for (const std::string_view line : split(text, '\n')) checkStreamLine(line, outcome);
  checkTrace(text, outcome);
  return outcome;
}

int fuzzMotionLines(const std::uint8_t* data, std::size_t size) {
  (void)exerciseMotionLines(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}

}  // namespace hopster
