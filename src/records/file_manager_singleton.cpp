#include "records/file_manager_singleton.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>

#include <simdjson.h>

#include "platform/atomic_file.h"
#include "platform/data_file.h"
#include "platform/xdg_paths.h"
#include "records/user_record_json.h"

namespace hopster {
namespace {

// Undated files count as created at 0001-01-01 00:00:00 UTC.
constexpr double kUndated = -62135596800.0;

// The file system's birth time of `path`, where it records one.
double creationDate(const std::filesystem::path& path) {
  struct statx info {};
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &info) != 0) return kUndated;
  if ((info.stx_mask & STATX_BTIME) == 0) return kUndated;
  return static_cast<double>(info.stx_btime.tv_sec) + info.stx_btime.tv_nsec * 1e-9;
}

// Reads the whole file into `buffer`, followed by the zeroed padding the JSON
// parser may read past the end. The buffer is reused from file to file.
std::optional<std::string> readPadded(const std::filesystem::path& path, std::vector<char>& buffer,
                                      std::size_t& length) {
  std::string error;
  const int fd = openDataFile(path, error);
  if (fd < 0) return error;
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int failure = errno;
    ::close(fd);
    return std::strerror(failure);
  }
  length = 0;
  std::size_t capacity = static_cast<std::size_t>(info.st_size) + 1;
  for (;;) {
    if (buffer.size() < capacity + simdjson::SIMDJSON_PADDING) {
      buffer.resize(capacity + simdjson::SIMDJSON_PADDING);
    }
    const ssize_t got = ::read(fd, buffer.data() + length, capacity - length);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int failure = errno;
      ::close(fd);
      return std::strerror(failure);
    }
    if (got == 0) break;
    length += static_cast<std::size_t>(got);
    if (length == capacity) capacity *= 2;  // the file grew while we read it
  }
  ::close(fd);
  std::fill_n(buffer.data() + length, simdjson::SIMDJSON_PADDING, '\0');
  return std::nullopt;
}

bool isPlainFileName(std::string_view stem) {
  return !stem.empty() && stem != "." && stem != ".." && stem.find('/') == std::string_view::npos &&
         stem.find('\0') == std::string_view::npos;
}

// The path extension: the text after the last "." of the file name.
bool hasJsonExtension(const std::string& name) {
  const auto dot = name.rfind('.');
  return dot != std::string::npos && name.compare(dot + 1, std::string::npos, "json") == 0;
}

}  // namespace

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

FileManagerSingleton& FileManagerSingleton::shared() {
  static StdoutLog log;
  static FileManagerSingleton store = [] {
    const auto documents = hopsterDataDir() / "Documents";
    std::error_code error;
    std::filesystem::create_directories(documents, error);
    if (error) log.line("Failed to create the documents folder: " + error.message());
    return FileManagerSingleton(documents, log);
  }();
  return store;
}

FileManagerSingleton::FileManagerSingleton(std::filesystem::path documentsDirectory, Log& log)
    : documents_(std::move(documentsDirectory)), log_(log) {}

std::optional<std::string> FileManagerSingleton::saveUserRecordData(const UserRecordData& record,
                                                                    std::string_view stem) const {
  if (!isPlainFileName(stem)) {
    std::string reason = "\"" + std::string(stem) + "\" is not a plain file name.";
    log_.line("Failed to save UserRecordData: " + reason);
    return reason;
  }
  const auto target = documents_ / (std::string(stem) + ".json");
  std::string encoded;
  auto error = encodeUserRecordData(record, encoded);
  if (!error) error = writeFileAtomically(target, encoded);
  if (error) {
    log_.line("Failed to save UserRecordData: " + *error);
    return error;
  }
  log_.line("UserRecordData saved successfully to " + fileUrl(target) + ".");
  return std::nullopt;
}

void FileManagerSingleton::removeStaleTemporaryFiles(double now, double minimumAgeSeconds) const {
  std::error_code error;
  std::size_t removed = 0;
  std::uintmax_t bytes = 0;
  std::filesystem::directory_iterator listing(documents_, error);
  for (; !error && listing != std::filesystem::directory_iterator(); listing.increment(error)) {
    const std::string name = listing->path().filename().string();
    // Only the names writeFileAtomically makes: "." + target + ".XXXXXX.tmp".
    if (name.size() < 13 || name[0] != '.' || !name.ends_with(".tmp") ||
        name[name.size() - 11] != '.') {
      continue;
    }
    struct stat info {};
    if (::lstat(listing->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    const double modified = static_cast<double>(info.st_mtim.tv_sec) + info.st_mtim.tv_nsec * 1e-9;
    if (now - modified < minimumAgeSeconds) continue;
    if (::unlink(listing->path().c_str()) == 0) {
      ++removed;
      bytes += static_cast<std::uintmax_t>(info.st_size);
    }
  }
  if (removed > 0) {
    log_.line("Removed " + std::to_string(removed) + " unfinished temporary files (" +
              std::to_string(bytes) + " bytes) left in " + documents_.string() +
              " by interrupted saves.");
  }
}

std::vector<UserRecordData> FileManagerSingleton::loadAllUserRecordData() const {
  struct Entry {
    std::filesystem::path path;
    double created;
  };
  std::vector<Entry> entries;
  std::error_code error;
  std::filesystem::directory_iterator listing(documents_, error);
  for (; !error && listing != std::filesystem::directory_iterator(); listing.increment(error)) {
    const auto& path = listing->path();
    if (hasJsonExtension(path.filename().string())) entries.push_back({path, 0.0});
  }
  if (error) {
    log_.line("Failed to list directory contents: " + error.message());
    return {};
  }

  // Each date is read once, so the order cannot change while sorting.
  for (auto& entry : entries) entry.created = creationDate(entry.path);
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return a.created > b.created; });

  std::vector<UserRecordData> records;
  records.reserve(entries.size());
  simdjson::dom::parser parser;
  std::vector<char> buffer;
  for (const auto& entry : entries) {
    std::size_t length = 0;
    std::optional<std::string> failure = readPadded(entry.path, buffer, length);
    if (!failure) {
      simdjson::dom::element root;
      if (const auto code = parser.parse(buffer.data(), length, false).get(root)) {
        failure = std::string("dataCorrupted: The given data was not valid JSON. (") +
                  simdjson::error_message(code) + ")";
      } else if (auto record = decodeUserRecordData(root)) {
        records.push_back(std::move(record).value());
      } else {
        failure = record.error().description();
      }
    }
    if (failure) {
      log_.line("Failed to load UserRecordData from " + fileUrl(entry.path) + ": " + *failure);
    }
  }
  log_.line("Loaded " + std::to_string(records.size()) + " UserRecordData objects.");
  return records;
}

}  // namespace hopster
