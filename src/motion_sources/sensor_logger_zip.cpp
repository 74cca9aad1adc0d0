#include <zip.h>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

#include "motion_sources/sensor_logger_parts.h"

namespace hopster::sensor_logger {
namespace {

// libzip's failure with `message`: damaged data (a wrong checksum, a
// compressed stream that does not decode, an archive at odds with itself) is
// malformed.
Failure zipFailure(const zip_error_t* error, std::string message) {
  switch (zip_error_code_zip(error)) {
    case ZIP_ER_CRC:
    case ZIP_ER_ZLIB:
    case ZIP_ER_INCONS:
    case ZIP_ER_COMPRESSED_DATA:
      return {FailureKind::malformed, std::move(message)};
    default:
      return {FailureKind::other, std::move(message)};
  }
}

// A zip entry (closed with the reader), refused as soon as it yields more
// than it declared: its declared size is what the caps were checked against.
ReadBytes zipEntryBytes(zip_file_t* file, std::uint64_t declared) {
  const std::shared_ptr<zip_file_t> entry(file, &zip_fclose);
  return [entry, declared, total = std::uint64_t{0}](
             char* into, std::size_t size) mutable -> Outcome<std::size_t> {
    const zip_int64_t got = zip_fread(entry.get(), into, size);
    if (got < 0) return zipFailure(zip_file_get_error(entry.get()), zip_file_strerror(entry.get()));
    total += static_cast<std::uint64_t>(got);
    if (total > declared) {
      return Failure{FailureKind::malformed, "more bytes than its zip entry declares"};
    }
    return static_cast<std::size_t>(got);
  };
}

std::uint64_t littleEndian(const char* bytes, int count) {
  std::uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[i]);
  return value;
}

// How many entries the zip's end record declares, read before libzip
// allocates room for every one of them.
Outcome<std::uint64_t> declaredZipEntries(int fd, std::uint64_t size) {
  constexpr std::size_t kEndRecord = 22, kLongestComment = 65535, kLocator = 20, kEnd64 = 56;
  std::vector<char> tail(
      static_cast<std::size_t>(std::min<std::uint64_t>(size, kEndRecord + kLongestComment)));
  const std::uint64_t tailStart = size - tail.size();
  const Failure notAZip{FailureKind::notARecord, "not a zip archive"};
  if (tail.size() < kEndRecord ||
      readAt(fd, tail.data(), tail.size(), tailStart) != static_cast<ssize_t>(tail.size())) {
    return notAZip;
  }
  for (std::size_t at = tail.size() - kEndRecord + 1; at-- > 0;) {
    if (std::string_view(tail.data() + at, 4) != kEmptyZipMagic) continue;
    const std::uint64_t entries = littleEndian(tail.data() + at + 10, 2);
    if (entries != 0xFFFF && littleEndian(tail.data() + at + 12, 4) != 0xFFFFFFFF &&
        littleEndian(tail.data() + at + 16, 4) != 0xFFFFFFFF) {
      return entries;
    }
    // Zip64: the locator just before the end record points at the larger record.
    std::array<char, kEnd64> record{};
    if (tailStart + at < kLocator ||
        readAt(fd, record.data(), kLocator, tailStart + at - kLocator) != kLocator ||
        std::string_view(record.data(), 4) != "PK\x06\x07" ||
        readAt(fd, record.data(), kEnd64, littleEndian(record.data() + 8, 8)) != kEnd64 ||
        std::string_view(record.data(), 4) != "PK\x06\x06") {
      return notAZip;
    }
    return littleEndian(record.data() + 32, 8);
  }
  return notAZip;
}

// The zip's sensor files, wherever they lie in it, by name without regard to
// case: only Headphone.csv when there is one.
struct ZipEntry {
  std::string sensor;
  std::string name;
  zip_uint64_t index;
  std::uint64_t size;
};

std::vector<ZipEntry> sensorEntries(zip_t* archive) {
  std::vector<ZipEntry> chosen;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t stat;
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat) != 0 ||
        (stat.valid & (ZIP_STAT_NAME | ZIP_STAT_SIZE)) != (ZIP_STAT_NAME | ZIP_STAT_SIZE)) {
      continue;
    }
    const std::string_view path(stat.name);
    const std::string file = lowerCased(path.substr(path.rfind('/') + 1));
    const std::string sensor = file.substr(0, file.size() - std::min<std::size_t>(4, file.size()));
    const bool taken = std::any_of(chosen.begin(), chosen.end(),
                                   [&](const ZipEntry& e) { return e.sensor == sensor; });
    if (file.ends_with(".csv") && isMotionSensorName(sensor) && !taken) {
      chosen.push_back(
          ZipEntry{sensor, std::string(path), static_cast<zip_uint64_t>(i), stat.size});
    }
  }
  if (std::any_of(chosen.begin(), chosen.end(),
                  [](const ZipEntry& e) { return e.sensor == "headphone"; })) {
    std::erase_if(chosen, [](const ZipEntry& e) { return e.sensor != "headphone"; });
  }
  return chosen;
}

}  // namespace

Outcome<std::vector<TimedMotion>> loadZip(UniqueFd& fd, std::uint64_t size,
                                          const SensorLoggerExportLimits& limits,
                                          SensorLoggerExportNotes* notes) {
  const Outcome<std::uint64_t> entries = declaredZipEntries(fd.get(), size);
  if (!entries) return entries.error();
  if (*entries > limits.maxZipEntries) {
    return Failure{FailureKind::tooLarge,
                   "a zip of " + std::to_string(*entries) + " entries, more than an export holds"};
  }
  int code = 0;
  zip_t* const opened = zip_fdopen(fd.get(), 0, &code);
  if (opened == nullptr) {
    zip_error_t reason;
    zip_error_init_with_code(&reason, code);
    Failure failure{FailureKind::notARecord,
                    std::string("not a readable zip (") + zip_error_strerror(&reason) + ")"};
    zip_error_fini(&reason);
    return failure;
  }
  static_cast<void>(fd.release());  // the archive owns it now
  const std::unique_ptr<zip_t, decltype(&zip_discard)> archive(opened, &zip_discard);

  const std::vector<ZipEntry> chosen = sensorEntries(opened);
  if (std::none_of(chosen.begin(), chosen.end(), [](const ZipEntry& e) {
        return e.sensor == "headphone" || e.sensor == "accelerometer" ||
               e.sensor == "totalacceleration";
      })) {
    return Failure{FailureKind::malformed, "the zip has no Headphone.csv and no Accelerometer.csv"};
  }
  // Checked against the declared sizes, which each entry is held to as it is read.
  std::uint64_t total = 0;
  for (const ZipEntry& entry : chosen) {
    if (entry.size > limits.maxCsvBytes) {
      return Failure{FailureKind::tooLarge, entry.name + " is larger than " +
                                                std::to_string(limits.maxCsvBytes) + " bytes"};
    }
    total += entry.size;
  }
  if (total > limits.maxUncompressedBytes) {
    return Failure{FailureKind::tooLarge, "the zip's sensor files hold more than " +
                                              std::to_string(limits.maxUncompressedBytes) +
                                              " bytes"};
  }
  std::vector<CsvSource> sources;
  for (const ZipEntry& entry : chosen) {
    zip_file_t* const file = zip_fopen_index(opened, entry.index, 0);
    if (file == nullptr) {
      return zipFailure(zip_get_error(opened), entry.name + ": " + zip_strerror(opened));
    }
    sources.push_back({entry.sensor, entry.name, zipEntryBytes(file, entry.size)});
  }
  return mergeCsvSources(std::move(sources), limits.maxSamples, notes);
}

}  // namespace hopster::sensor_logger
