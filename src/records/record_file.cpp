#include "records/record_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/linux/data_file.h"
#include "platform/linux/posix_io.h"
#include "records/user_record_json.h"

namespace hopster {

std::optional<std::string> readPaddedFile(const std::filesystem::path& path,
                                          std::vector<char>& buffer, std::size_t& length,
                                          std::size_t maxBytes) {
  std::string error;
  const UniqueFd fd = openDataFile(path, error);
  if (!fd) return error;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return errorText(errno);
  length = 0;
  std::size_t capacity = static_cast<std::size_t>(info.st_size) + 1;
  for (;;) {
    if (capacity - 1 > maxBytes) return "larger than " + std::to_string(maxBytes) + " bytes";
    if (buffer.size() < capacity + simdjson::SIMDJSON_PADDING) {
      buffer.resize(capacity + simdjson::SIMDJSON_PADDING);
    }
    const ssize_t got = ::read(fd.get(), buffer.data() + length, capacity - length);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errorText(errno);
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

std::optional<std::string> decodeRecordFile(simdjson::dom::parser& parser,
                                            const std::vector<char>& buffer, std::size_t length,
                                            UserRecordData& out) {
  simdjson::dom::element root;
  if (const auto code = parser.parse(buffer.data(), length, false).get(root)) {
    return std::string("dataCorrupted: The given data was not valid JSON. (") +
           simdjson::error_message(code) + ")";
  }
  auto record = decodeUserRecordData(root);
  if (!record) return record.error().description();
  out = std::move(record).value();
  return std::nullopt;
}

std::optional<UserRecordData> readUserRecordFile(const std::filesystem::path& path,
                                                 std::string& error, std::size_t maxBytes) {
  simdjson::dom::parser parser;
  std::vector<char> buffer;
  std::size_t length = 0;
  UserRecordData record;
  std::optional<std::string> failure = readPaddedFile(path, buffer, length, maxBytes);
  if (!failure) failure = decodeRecordFile(parser, buffer, length, record);
  if (failure) {
    error = std::move(*failure);
    return std::nullopt;
  }
  return record;
}

}  // namespace hopster
