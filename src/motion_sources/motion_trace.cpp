#include "motion_sources/motion_trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <simdjson.h>

#include "motion_sources/number_fields.h"
#include "records/motion_csv.h"

namespace hopster {
namespace {

constexpr std::size_t kColumns = sizeof(MotionDataPoint) / sizeof(double);

MotionDataPoint toDataPoint(const std::array<double, kColumns>& v) {
  return MotionDataPoint{v[0], v[1], v[2],  v[3],  v[4],  v[5],  v[6],  v[7],
                         v[8], v[9], v[10], v[11], v[12], v[13], v[14], v[15]};
}

// The whole file, with the zeroed padding simdjson may read past the end.
std::optional<simdjson::padded_string> readFile(const std::filesystem::path& path,
                                                std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return std::nullopt;
  }
  std::string bytes;
  std::array<char, 65536> chunk;
  for (;;) {
    const ssize_t got = ::read(fd, chunk.data(), chunk.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      error = std::strerror(errno);  // a directory fails here with EISDIR
      ::close(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    bytes.append(chunk.data(), static_cast<std::size_t>(got));
  }
  ::close(fd);
  return simdjson::padded_string(bytes);
}

bool looksLikeRecord(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && text[first] == '{';
}

}  // namespace

MotionTrace parseMotionTrace(std::string_view text) {
  MotionTrace trace;
  std::array<double, kColumns> values{};
  bool firstLine = true;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const bool header = firstLine && line == kMotionCSVHeader;
    firstLine = false;
    if (header || line.find_first_not_of(" \t") == std::string_view::npos) continue;
    if (parseNumberFields(line, values)) {
      trace.samples.push_back(toDataPoint(values));
    } else {
      ++trace.skippedLines;
    }
  }
  return trace;
}

std::optional<MotionTrace> loadMotionTrace(const std::filesystem::path& path, std::string& error) {
  auto bytes = readFile(path, error);
  if (!bytes) return std::nullopt;

  std::string_view csv(bytes->data(), bytes->size());
  simdjson::dom::parser parser;
  if (looksLikeRecord(csv)) {
    simdjson::dom::element root;
    if (const auto code = parser.parse(*bytes).get(root)) {
      error = std::string("not a valid record file (") + simdjson::error_message(code) + ")";
      return std::nullopt;
    }
    if (root["csvText"].get(csv) != simdjson::SUCCESS) {
      error = "the record has no \"csvText\" string";
      return std::nullopt;
    }
  }

  MotionTrace trace = parseMotionTrace(csv);
  if (trace.samples.empty()) {
    error = "no motion samples";
    if (trace.skippedLines > 0) {
      error += " (" + std::to_string(trace.skippedLines) + " malformed lines)";
    }
    return std::nullopt;
  }
  return trace;
}

std::vector<double> deliveryOffsets(const std::vector<MotionDataPoint>& samples) {
  std::vector<double> offsets;
  offsets.reserve(samples.size());
  bool started = false;
  double first = 0.0, latest = 0.0;
  for (const MotionDataPoint& sample : samples) {
    const double t = sample.timeStamp;
    if (std::isfinite(t) && (!started || t > latest)) {
      if (!started) first = t;
      started = true;
      latest = t;
    }
    // Time stamps of one recording lie close together, so the difference is exact.
    offsets.push_back(started ? latest - first : 0.0);
  }
  return offsets;
}

}  // namespace hopster
