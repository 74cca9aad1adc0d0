#include "analysis/recording_overview.h"

#include <simdjson.h>

#include <algorithm>

#include "motion_sources/motion_trace.h"
#include "records/record_file.h"
#include "records/trace_scan.h"

namespace hopster {
namespace {

RecordingOverview overviewOfTrace(UserRecordData record, MotionTrace trace) {
  RecordingOverview overview;
  overview.traceCut = trace.truncated;
  // The chart's times are those the detector counts on, so each jump's
  // mark lands on its peak.
  const std::vector<double> offsets = deliveryOffsets(trace.samples);
  overview.analysis = analyseJumps(countedJumpTimes(trace.samples, offsets), record.timeSpent);
  std::vector<float> values;
  values.reserve(trace.samples.size());
  for (const MotionDataPoint& sample : trace.samples) {
    values.push_back(static_cast<float>(sample.globalAccelerationZ));
  }
  std::vector<MotionDataPoint>().swap(trace.samples);
  overview.trace = TraceOverview(offsets, std::move(values));
  overview.record = std::move(record);
  return overview;
}

// Resolves the short escapes of a JSON string body where it lies (the text
// only shrinks) and returns the unescaped text. The body holds no other
// escape (see isPlainStringBody).
std::string_view unescapeInPlace(char* begin, char* end) {
  char* out = begin;
  for (const char* in = begin; in < end; ++in) {
    if (*in != '\\' || in + 1 == end) {
      *out++ = *in;
      continue;
    }
    switch (*++in) {
      case 'n':
        *out++ = '\n';
        break;
      case 't':
        *out++ = '\t';
        break;
      case 'r':
        *out++ = '\r';
        break;
      case 'b':
        *out++ = '\b';
        break;
      case 'f':
        *out++ = '\f';
        break;
      default:
        *out++ = *in;  // \" \\ \/
    }
  }
  return {begin, static_cast<std::size_t>(out - begin)};
}

// The trace's string token, quotes included, when the record is written as
// this program writes it: found without a parser, with no escape but the
// short ones.
std::optional<std::string_view> compactTrace(const std::vector<char>& buffer, std::size_t length) {
  const auto trace = locateCompactTrace(buffer.data(), length);
  if (!trace || !isPlainStringBody(trace->data() + 1, trace->data() + trace->size() - 1)) {
    return std::nullopt;
  }
  return trace;
}

// Such a record's trace is read where it lies in the file's text, so the
// text is held once, not again as a string. Every other member goes through
// the full decoder, on the record with its trace replaced by "", so it is
// checked exactly as a full load checks it.
Outcome<RecordingOverview> overviewInPlace(std::vector<char>& buffer, std::size_t length,
                                           std::string_view token) {
  const auto before = static_cast<std::size_t>(token.data() - buffer.data());
  const std::size_t after = length - before - token.size();
  std::vector<char> rest;
  rest.reserve(before + 2 + after + simdjson::SIMDJSON_PADDING);
  rest.insert(rest.end(), buffer.data(), buffer.data() + before);
  rest.insert(rest.end(), 2, '"');
  rest.insert(rest.end(), token.data() + token.size(), token.data() + token.size() + after);
  rest.resize(rest.size() + simdjson::SIMDJSON_PADDING, '\0');
  simdjson::dom::parser parser;
  UserRecordData record;
  if (Status failure = decodeRecordFile(parser, rest, before + 2 + after, record)) {
    return std::move(*failure);
  }
  char* body = buffer.data() + before + 1;
  MotionTrace samples = parseMotionTrace(unescapeInPlace(body, body + token.size() - 2));
  std::vector<char>().swap(buffer);
  return overviewOfTrace(std::move(record), std::move(samples));
}

}  // namespace

RecordingOverview overviewOf(UserRecordData record) {
  MotionTrace trace = parseMotionTrace(record.csvText);
  // The text is the largest thing held: gone first. Swapped out, as
  // assigning an empty string would keep its buffer.
  std::string().swap(record.csvText);
  return overviewOfTrace(std::move(record), std::move(trace));
}

Outcome<RecordingOverview> loadRecordingOverview(const std::filesystem::path& file) {
  std::vector<char> buffer;
  std::size_t length = 0;
  const std::size_t limit = MotionTraceLimits{}.maxRecordBytes;
  if (Status failure = readPaddedFile(file, buffer, length, limit)) return std::move(*failure);
  if (const auto trace = compactTrace(buffer, length))
    return overviewInPlace(buffer, length, *trace);
  std::vector<char>().swap(buffer);
  auto record = readUserRecordFile(file, limit);
  if (!record) return std::move(record).error();
  return overviewOf(std::move(record).value());
}

}  // namespace hopster
