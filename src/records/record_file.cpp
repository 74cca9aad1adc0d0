#include "records/record_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/linux/data_file.h"
#include "platform/linux/posix_io.h"
#include "records/user_record_json.h"
#include "trophies/decoding_error.h"

namespace hopster {

Status readPaddedFile(const std::filesystem::path& path, std::vector<char>& buffer,
                      std::size_t& length, std::size_t maxBytes) {
  auto opened = openDataFile(path);
  if (!opened) return std::move(opened).error();
  const UniqueFd fd = std::move(opened).value();
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return Failure::ofErrno(errno);
  length = 0;
  std::size_t capacity = static_cast<std::size_t>(info.st_size) + 1;
  for (;;) {
    if (capacity - 1 > maxBytes) return tooLargeFailure(maxBytes);
    if (buffer.size() < capacity + simdjson::SIMDJSON_PADDING) {
      buffer.resize(capacity + simdjson::SIMDJSON_PADDING);
    }
    const ssize_t got = ::read(fd.get(), buffer.data() + length, capacity - length);
    if (got < 0) {
      if (errno == EINTR) continue;
      return Failure::ofErrno(errno);
    }
    if (got == 0) break;
    length += static_cast<std::size_t>(got);
    if (length == capacity) capacity *= 2;  // the file grew while we read it
  }
  std::fill_n(buffer.data() + length, simdjson::SIMDJSON_PADDING, '\0');
  return std::nullopt;
}

std::string fileUrl(const std::filesystem::path& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  const std::string text = std::filesystem::absolute(path).string();
  url.reserve(url.size() + text.size());
  for (const unsigned char c : text) {
    // Unreserved characters, sub-delimiters, ":", "@" and "/" stand as they are.
    if (std::isalnum(c) || std::strchr("-._~!$&'()*+,;=:@/", c) != nullptr) {
      url.push_back(static_cast<char>(c));
    } else {
      url.push_back('%');
      url.push_back(kHex[c >> 4]);
      url.push_back(kHex[c & 15]);
    }
  }
  return url;
}

namespace {

// A JSON object without a record's keys at its top is some other file, not a
// damaged record.
bool isSomeOtherFile(const DecodingError& error) {
  return error.kind == DecodingError::Kind::keyNotFound && error.codingPath.empty();
}

// decodeRecordFile, with a file of another kind said in plain words when
// `plainWords` is set ("not a Hopster record: no "id" key").
Status decodeRecord(simdjson::dom::parser& parser, const std::vector<char>& buffer,
                    std::size_t length, UserRecordData& out, bool plainWords) {
  simdjson::dom::element root;
  if (const auto code = parser.parse(buffer.data(), length, false).get(root)) {
    return Failure{FailureKind::malformed,
                   std::string("dataCorrupted: The given data was not valid JSON. (") +
                       simdjson::error_message(code) + ")"};
  }
  auto record = decodeUserRecordData(root);
  if (!record) {
    const DecodingError& error = record.error();
    if (!isSomeOtherFile(error)) return Failure{FailureKind::malformed, error.description()};
    return Failure{FailureKind::notARecord,
                   plainWords ? "not a Hopster record: no \"" + error.subject + "\" key"
                              : error.description()};
  }
  out = std::move(record).value();
  return std::nullopt;
}

}  // namespace

Status decodeRecordFile(simdjson::dom::parser& parser, const std::vector<char>& buffer,
                        std::size_t length, UserRecordData& out) {
  return decodeRecord(parser, buffer, length, out, false);
}

Outcome<UserRecordData> readUserRecordFile(const std::filesystem::path& path,
                                           std::size_t maxBytes) {
  simdjson::dom::parser parser;
  std::vector<char> buffer;
  std::size_t length = 0;
  UserRecordData record;
  Status failure = readPaddedFile(path, buffer, length, maxBytes);
  if (!failure) failure = decodeRecord(parser, buffer, length, record, true);
  if (failure) return std::move(*failure);
  return record;
}

}  // namespace hopster
