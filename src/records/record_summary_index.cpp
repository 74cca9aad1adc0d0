#include "records/record_summary_index.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <vector>

#include "platform/linux/atomic_file.h"
#include "platform/linux/data_file.h"
#include "records/trace_scan.h"
#include "records/user_record_json.h"

namespace hopster {
namespace {

// The first line of every index file; the number is the format version.
constexpr std::string_view kHeader = "hopster-record-summaries 1";
// Far beyond any real index (a few hundred bytes per record).
constexpr std::size_t kMaxIndexBytes = 64u << 20;

std::string folderKey(const std::filesystem::path& folder) {
  return std::filesystem::absolute(folder).lexically_normal().string();
}

// Text fields travel as single space-free tokens: bytes up to the space, "%"
// and DEL are written as %XX, and the empty text as a lone "%".
void appendText(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  if (text.empty()) {
    out += '%';
    return;
  }
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7f || byte == '%') {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool readText(std::string_view token, std::string& out) {
  out.clear();
  if (token == "%") return true;
  for (std::size_t i = 0; i < token.size(); ++i) {
    if (token[i] != '%') {
      out += token[i];
      continue;
    }
    if (i + 2 >= token.size()) return false;
    const int high = hexValue(token[i + 1]);
    const int low = hexValue(token[i + 2]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
}

template <class Number>
void appendNumber(std::string& out, Number value) {
  char digits[64];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

template <class Number>
bool readNumber(std::string_view token, Number& value) {
  const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
  return error == std::errc() && end == token.data() + token.size();
}

// Splits `line` at single spaces.
std::vector<std::string_view> tokens(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  for (;;) {
    const auto space = line.find(' ', start);
    out.push_back(line.substr(start, space - start));
    if (space == std::string_view::npos) return out;
    start = space + 1;
  }
}

bool parseEntry(std::string_view line, RecordSummaryEntries& entries) {
  const auto fields = tokens(line);
  if (fields.size() < 8) return false;
  std::string name;
  IndexedRecord entry;
  int settled = 0;
  if (!readText(fields[0], name) || name.empty() || !readNumber(fields[1], entry.stamp.size) ||
      !readNumber(fields[2], entry.stamp.modifiedNs) ||
      !readNumber(fields[3], entry.stamp.changedNs) || !readNumber(fields[4], entry.stamp.inode) ||
      !readNumber(fields[5], settled) || (settled != 0 && settled != 1)) {
    return false;
  }
  entry.settled = settled == 1;
  if (fields[6] == "fail") {
    if (fields.size() != 8 || !readText(fields[7], entry.failure)) return false;
  } else if (fields[6] == "ok") {
    entry.loads = true;
    if (fields.size() != 12 || !readText(fields[7], entry.id) ||
        !readNumber(fields[8], entry.dateStart) || !readNumber(fields[9], entry.dateEnd) ||
        !readNumber(fields[10], entry.timeSpent) || !readNumber(fields[11], entry.jumps)) {
      return false;
    }
  } else {
    return false;
  }
  return entries.emplace(std::move(name), std::move(entry)).second;  // no name twice
}

}  // namespace

std::filesystem::path recordSummaryIndexPath(const std::filesystem::path& cacheFolder,
                                             const std::filesystem::path& folder) {
  // 64-bit FNV-1a of the folder's absolute path.
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (const char c : folderKey(folder)) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ull;
  }
  char name[64];
  std::snprintf(name, sizeof name, "record-summaries-%016llx.txt",
                static_cast<unsigned long long>(hash));
  return cacheFolder / name;
}

std::string formatRecordSummaryIndex(const std::filesystem::path& folder,
                                     const RecordSummaryEntries& entries) {
  std::string out;
  out.reserve(128 + entries.size() * 160);
  out += kHeader;
  out += "\nfolder ";
  appendText(out, folderKey(folder));
  out += '\n';
  for (const auto& [name, entry] : entries) {
    appendText(out, name);
    out += ' ';
    appendNumber(out, entry.stamp.size);
    for (const std::int64_t value : {entry.stamp.modifiedNs, entry.stamp.changedNs}) {
      out += ' ';
      appendNumber(out, value);
    }
    out += ' ';
    appendNumber(out, entry.stamp.inode);
    out += entry.settled ? " 1" : " 0";
    if (!entry.loads) {
      out += " fail ";
      appendText(out, entry.failure);
    } else {
      out += " ok ";
      appendText(out, entry.id);
      for (const double value : {entry.dateStart, entry.dateEnd, entry.timeSpent}) {
        out += ' ';
        appendNumber(out, value);
      }
      out += ' ';
      appendNumber(out, entry.jumps);
    }
    out += '\n';
  }
  out += "end ";
  appendNumber(out, entries.size());
  out += '\n';
  return out;
}

Status parseRecordSummaryIndex(std::string_view text, const std::filesystem::path& folder,
                               RecordSummaryEntries& entries) {
  entries.clear();
  const auto fail = [&entries](std::string why) -> Status {
    entries.clear();
    return Failure{FailureKind::malformed, std::move(why)};
  };
  std::size_t start = 0;
  const auto nextLine = [&](std::string_view& line) {
    const auto end = text.find('\n', start);
    if (end == std::string_view::npos) return false;  // every line ends in a line feed
    line = text.substr(start, end - start);
    start = end + 1;
    return true;
  };
  std::string_view line;
  if (!nextLine(line) || line != kHeader) return fail("not an index of this format version");
  std::string owner;
  if (!nextLine(line) || !line.starts_with("folder ") || !readText(line.substr(7), owner)) {
    return fail("damaged header");
  }
  if (owner != folderKey(folder)) return fail("it belongs to the folder " + owner);
  while (nextLine(line)) {
    if (line.starts_with("end ")) {
      std::size_t count = 0;
      if (!readNumber(line.substr(4), count) || count != entries.size() || start != text.size()) {
        return fail("damaged end line");
      }
      return std::nullopt;
    }
    if (!parseEntry(line, entries)) {
      return fail("damaged entry \"" + std::string(line.substr(0, 200)) + "\"");
    }
  }
  return fail("cut off");
}

Status readRecordSummaryIndex(const std::filesystem::path& file,
                              const std::filesystem::path& folder, RecordSummaryEntries& entries) {
  entries.clear();
  const auto text = readDataFile(file, kMaxIndexBytes);
  if (!text) {
    // A missing index is an empty one; a link to nothing is damage.
    std::error_code error;
    const bool missing =
        text.error().kind == FailureKind::notFound && !std::filesystem::is_symlink(file, error);
    if (missing) return std::nullopt;
    return text.error();
  }
  return parseRecordSummaryIndex(*text, folder, entries);
}

Status writeRecordSummaryIndex(const std::filesystem::path& file,
                               const std::filesystem::path& folder,
                               const RecordSummaryEntries& entries) {
  std::error_code error;
  // The cache folder is private to the user, as the XDG rules ask.
  if (std::filesystem::create_directories(file.parent_path(), error)) {
    std::filesystem::permissions(file.parent_path(), std::filesystem::perms::owner_all, error);
  }
  if (error) return Failure::ofErrorCode(error);
  return writeFileAtomically(file, formatRecordSummaryIndex(folder, entries));
}

std::optional<RecordSummary> RecordSummaryReader::summarize(const char* data, std::size_t length) {
  // The encoder's compact form is found and checked without a parser: only
  // the trace's own bytes are scanned, at memory speed.
  if (const auto trace = locateCompactTrace(data, length)) {
    if (isPlainStringBody(trace->data() + 1, trace->data() + trace->size() - 1)) {
      return summarizeAround(data, length, *trace);
    }
  }

  // Anything else goes through the on-demand parser, which indexes the whole
  // text once (checking its UTF-8, and that no string holds a raw control
  // character) and then steps over the members without unescaping or
  // copying the trace.
  simdjson::ondemand::document document;
  if (onDemand_.iterate(data, length, length + simdjson::SIMDJSON_PADDING).get(document)) {
    return std::nullopt;
  }
  simdjson::ondemand::object object;
  if (document.get_object().get(object)) return std::nullopt;
  std::string_view csv;
  for (auto member : object) {
    std::string_view key;
    if (member.unescaped_key().get(key)) return std::nullopt;
    if (key != "csvText") continue;
    simdjson::ondemand::value value;
    if (member.value().get(value)) return std::nullopt;
    csv = value.raw_json_token();
    while (!csv.empty() && std::strchr(" \t\n\r", csv.back()) != nullptr) csv.remove_suffix(1);
    if (csv.size() < 2 || csv.front() != '"' || csv.back() != '"') return std::nullopt;
  }
  if (csv.empty() || !hasOnlyShortEscapes(csv.data() + 1, csv.data() + csv.size() - 1)) {
    return std::nullopt;
  }
  return summarizeAround(data, length, csv);
}

std::optional<RecordSummary> RecordSummaryReader::summarizeFile(int fd) {
  // Chunks small enough to stay in the processor's cache while scanned.
  constexpr std::size_t kChunk = 256 * 1024;
  constexpr std::string_view kMember = "\"csvText\":\"";
  window_.resize(kChunk);
  headText_.clear();
  enum class Part { head, trace, tail } part = Part::head;
  bool pendingBackslash = false;  // the last chunk ended inside "\n"
  for (;;) {
    const ssize_t got = ::read(fd, window_.data(), kChunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    const char* at = window_.data();
    const char* const end = at + got;
    if (part == Part::head) {
      // The member must be in the first chunk, its quote not escaped.
      const std::string_view chunk(at, static_cast<std::size_t>(got));
      const auto found = chunk.find(kMember);
      if (found == std::string_view::npos || isEscaped(at, at + found)) return std::nullopt;
      headText_.append(at, found + kMember.size() - 1).append("\"\"");
      at += found + kMember.size();
      part = Part::trace;
    }
    if (part == Part::trace) {
      if (pendingBackslash && at < end) {
        if (*at++ != 'n') return std::nullopt;
        pendingBackslash = false;
      }
      skipPlainBlocks(at, end);
      // Byte by byte up to the end of the chunk or the closing quote; only
      // printable ASCII and "\n" are taken here.
      while (at < end) {
        const auto byte = static_cast<unsigned char>(*at);
        if (byte == '"') break;
        if (byte < 0x20 || byte >= 0x80) return std::nullopt;
        if (byte == '\\') {
          if (at + 1 == end) {
            pendingBackslash = true;
            ++at;
            break;
          }
          if (at[1] != 'n') return std::nullopt;
          ++at;
        }
        ++at;
      }
      if (at < end && *at == '"') {
        part = Part::tail;
        ++at;
      }
    }
    if (part == Part::tail) headText_.append(at, end);
  }
  if (part != Part::tail) return std::nullopt;
  return summarizeHead();
}

std::optional<RecordSummary> RecordSummaryReader::summarizeAround(const char* data,
                                                                  std::size_t length,
                                                                  std::string_view trace) {
  // The same text with the trace replaced by "" goes through the full
  // decoder, so every other member is read and checked exactly as a full
  // load would. Had `trace` been any other complete string, the real trace
  // would still be in the text and be checked there; had it not been a
  // complete string, the text would not parse.
  const auto before = static_cast<std::size_t>(trace.data() - data);
  const std::size_t after = length - before - trace.size();
  headText_.clear();
  headText_.reserve(before + 2 + after + simdjson::SIMDJSON_PADDING);
  headText_.append(data, before).append("\"\"").append(trace.data() + trace.size(), after);
  return summarizeHead();
}

std::optional<RecordSummary> RecordSummaryReader::summarizeHead() {
  headText_.reserve(headText_.size() + simdjson::SIMDJSON_PADDING);
  simdjson::dom::element root;
  if (head_.parse(headText_).get(root)) return std::nullopt;
  auto decoded = decodeUserRecordData(root);
  if (!decoded) return std::nullopt;
  UserRecordData record = std::move(decoded).value();
  return RecordSummary{std::move(record.id), {}, record.dateStart, record.dateEnd, record.timeSpent,
                       record.jumps,         0.0};
}

}  // namespace hopster
