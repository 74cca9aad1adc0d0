// Sensor Logger's exports (zip, CSV or JSON) read, directly and as a
// replayed trace, and refused with a reason when they are no export or
// would take too much.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <tuple>

#include "motion_sources/motion_trace.h"
#include "motion_sources/replayed_motion.h"
#include "motion_sources/sensor_logger_export.h"
#include "motion_test_support.h"
#include "sensor_logger_readings.h"

namespace hopster {
namespace {

using Files = std::vector<std::pair<std::string, std::string>>;  // name, content

std::string number(double v) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, v).ptr);
}
// "Headphone" for "headphone": the sensor as the export names it.
std::string capitalised(std::string name) {
  name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
  return name;
}

// The readings as the app exports them in CSV: a file a sensor, each reading
// a row of its time, the seconds elapsed and its fields, which are written in
// reverse order, as the columns are found by name.
Files csvFiles(const std::vector<PushReading>& readings, const std::string& folder = "") {
  std::map<std::string, std::string> files;
  for (const PushReading& r : readings) {
    std::string& text = files[folder + capitalised(r.name) + ".csv"];
    if (text.empty()) {
      text = "time,seconds_elapsed";
      for (auto f = r.fields.rbegin(); f != r.fields.rend(); ++f) text += "," + f->first;
      text += "\n";
    }
    text += std::to_string(r.timeNs) + ",0";
    for (auto f = r.fields.rbegin(); f != r.fields.rend(); ++f) text += "," + number(f->second);
    text += "\n";
  }
  return {files.begin(), files.end()};
}
std::string headphoneCsv() { return csvFiles(jumperReadings(Device::headphones))[0].second; }
// The JSON export: an object of strings a reading, grouped by sensor.
std::string jsonOf(std::vector<PushReading> readings) {
  std::stable_sort(readings.begin(), readings.end(),
                   [](const PushReading& a, const PushReading& b) { return a.name < b.name; });
  std::string json = "[";
  for (const PushReading& r : readings) {
    json += (json.size() > 1 ? ",\n" : "\n") + std::string(R"({"sensor": ")") +
            capitalised(r.name) + R"(", "time": ")" + std::to_string(r.timeNs) + "\"";
    for (const auto& [name, value] : r.fields)
      json += ", \"" + name + "\": \"" + number(value) + "\"";
    json += "}";
  }
  return json + "\n]\n";
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
void writeZip(const fs::path& path, const Files& files) {
  int code = 0;
  zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  ASSERT_NE(zip, nullptr);
  for (const auto& [name, content] : files) {
    zip_source_t* source = zip_source_buffer(zip, content.data(), content.size(), 0);
    ASSERT_GE(zip_file_add(zip, name.c_str(), source, ZIP_FL_OVERWRITE), 0);
  }
  ASSERT_EQ(zip_close(zip), 0);
}

using Export = TempFiles;

TEST_F(Export, EveryFormGivesTheJumpersVerticalSignalDirectlyAndReplayed) {
  // The phone starts a moment before the headphones, and still only they count.
  const std::vector<PushReading> phone = jumperReadings(Device::iPhone);
  std::vector<PushReading> both = phone;
  for (PushReading& r : both) r.timeNs -= 1'000'000;
  both = both + jumperReadings(Device::headphones);
  const std::string headphone = headphoneCsv();
  writeZip(file("headphones.zip"), {{"Headphone.csv", headphone},
                                    {"Location.csv", "time,seconds_elapsed,latitude\n1,0,51.5\n"},
                                    {"__MACOSX/._Headphone.csv", "junk"}});
  writeZip(file("phone.zip"), csvFiles(phone, "2024-03-09_17-10-25/"));
  writeZip(file("both.zip"), csvFiles(both));
  write("Headphone.csv", headphone);
  write("airpods.csv", headphone);  // renamed by its user
  std::string windows = "\xEF\xBB\xBF" + headphone;
  for (std::size_t at = 0; (at = windows.find('\n', at)) != std::string::npos; at += 2)
    windows.insert(at, "\r");
  write("Headphone-windows.csv", windows);
  write("phone.json", "\xEF\xBB\xBF" + jsonOf(phone));  // a byte order mark too
  write("both.json", jsonOf(both));

  // Each form, and whether its samples come from the headphones.
  const std::pair<const char*, bool> forms[] = {
      {"headphones.zip", true}, {"phone.zip", false},  {"both.zip", true},
      {"Headphone.csv", true},  {"airpods.csv", true}, {"Headphone-windows.csv", true},
      {"phone.json", false},    {"both.json", true}};
  for (const auto& [name, fromHeadphones] : forms) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(looksLikeSensorLoggerExport(readFile(file(name)).substr(0, 4096)));
    SensorLoggerExportNotes notes;
    const auto samples = loadSensorLoggerExport(file(name), {}, &notes);
    ASSERT_TRUE(samples) << samples.error().message;
    ASSERT_EQ(samples->size(), static_cast<std::size_t>(kReadings));
    EXPECT_EQ(notes.malformedReadings, 0u);
    // The vertical as the jumper moved, straight from each sample and as a
    // replayed trace carries it by its own attitude.
    const Outcome<MotionTrace> trace = loadMotionTrace(file(name));
    ASSERT_TRUE(trace) << trace.error().message;
    ASSERT_EQ(trace->samples.size(), static_cast<std::size_t>(kReadings));
    for (std::size_t i = 0; i < samples->size(); ++i) {
      const TimedMotion& s = (*samples)[i];
      EXPECT_EQ(s.fromHeadphones, fromHeadphones);
      EXPECT_NEAR(s.time, 1698501144.401773 + static_cast<double>(i) / kRate, 1e-6);
      EXPECT_EQ(trace->samples[i].timeStamp, s.time);
      const double expected = -jumperAcceleration(static_cast<double>(i) / kRate);
      for (const DeviceMotion& m : {s.motion, replayedMotion(trace->samples[i])}) {
        EXPECT_NEAR(inWorld(m, m.userAcceleration).z, expected, 1e-9) << i;
      }
    }
  }
}

TEST(ExportedDataPoint, KeepsEveryColumnAndSumsAsALiveRecordingSums) {
  // The user acceleration's 1 + 1e16 - 1e16 is 0 only in this order.
  const TimedMotion s{.time = 1698501144.25,
                      .motion = {.userAcceleration = {1.0, 1e16, -1e16},
                                 .rotationRate = {4, 5, 6},
                                 .attitude = {7, 8, 9, {1, 1, 1, 0.5, 1, 1, 1, 1, 0.25}},
                                 .gravity = {10, 11, 12}}};
  const MotionDataPoint p = toMotionDataPoint(s);
  const Vector3 global = inWorld(s.motion, s.motion.userAcceleration);
  const MotionDataPoint expected{
      1698501144.25, 1, 1e16, -1e16, 4, 5, 6, 7, 8, 9, 10, 11, 12, global.x, global.y, global.z};
  EXPECT_EQ(std::memcmp(&p, &expected, sizeof p), 0);
}

void putLittleEndian32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
}

TEST_F(Export, RefusesWhatIsNoExportHoldsNoSampleOrWouldTakeTooMuchWithAReason) {
  write("text.txt", "hello\n");
  const std::string headphone = headphoneCsv();
  writeZip(file("whole.zip"), {{"Headphone.csv", headphone}});
  const std::string whole = readFile(file("whole.zip"));
  write("cut.zip", whole.substr(0, whole.size() / 2));
  writeZip(file("location.zip"), {{"Location.csv", "time,latitude\n1,51.5\n"}});
  write("broken.json", R"([{"sensor": "Headphone", "time": )");
  const Files phone = csvFiles(jumperReadings(Device::iPhone));  // Accelerometer.csv first
  write("Accelerometer.csv", phone[0].second);
  fs::create_directory(file("folder"));
  ASSERT_EQ(::mkfifo(file("fifo").c_str(), 0600), 0);
  // 64 MiB of zeros, deflated to some 64 kilobytes, against a cap of 1 MiB.
  writeZip(file("bomb.zip"), {{"Headphone.csv", headphone + std::string(64 << 20, '0')}});
  writeZip(file("phone.zip"), phone);
  const std::uint64_t twoFiles = phone[0].second.size() + phone[1].second.size();
  // An entry holding more than it declares: its sizes forged in the local
  // header and in the central directory.
  std::string forged = whole;
  putLittleEndian32(forged, forged.find("PK\x03\x04") + 22, 1000);
  putLittleEndian32(forged, forged.find("PK\x01\x02") + 24, 1000);
  write("forged.zip", forged);
  // A byte of the compressed data changed: it no longer inflates or checks.
  std::string damaged = whole;
  damaged[(damaged.find("PK\x03\x04") + damaged.find("PK\x01\x02")) / 2] ^= 0x55;
  write("damaged.zip", damaged);

  using enum FailureKind;
  const std::tuple<const char*, SensorLoggerExportLimits, FailureKind, const char*> cases[] = {
      {"text.txt", {}, notARecord, "not a Sensor Logger export"},
      {"missing.zip", {}, notFound, ""},
      {"cut.zip", {}, notARecord, "not a zip archive"},
      {"location.zip", {}, malformed, "no Headphone.csv"},
      {"broken.json", {}, notARecord, "JSON"},
      {"Accelerometer.csv", {}, malformed, "no motion samples"},  // no gravity to go with it
      {"folder", {}, notRegularFile, "(a folder)"},
      {"fifo", {}, notRegularFile, "(a FIFO)"},
      {"bomb.zip",
       {.maxCsvBytes = 1 << 20},
       tooLarge,
       "Headphone.csv is larger than 1048576 bytes"},
      // Each file within its cap, together beyond the zip's.
      {"phone.zip", {.maxUncompressedBytes = twoFiles}, tooLarge, "hold more than"},
      {"forged.zip", {}, malformed, "Headphone.csv: more bytes than its zip entry declares"},
      {"damaged.zip", {}, malformed, "Headphone.csv: "},
      {"phone.zip", {.maxZipEntries = 3}, tooLarge, "4 entries"},
  };
  for (const auto& [name, limits, kind, reason] : cases) {
    const auto refused = loadSensorLoggerExport(file(name), limits);
    ASSERT_FALSE(refused) << name;
    EXPECT_EQ(refused.error().kind, kind) << name << ": " << refused.error().message;
    EXPECT_NE(refused.error().message.find(reason), std::string::npos) << name;
  }
}

TEST_F(Export, SkipsAndCountsMalformedRowsAndStopsAtTheSampleCap) {
  std::string text = headphoneCsv();
  const std::size_t first = text.find('\n') + 1;
  const std::string good = text.substr(first, text.find('\n', first) - first);
  const std::string bad[] = {
      "1698501144401773000,0,1,2\n",                // too few cells
      "soon" + good.substr(good.find(',')) + "\n",  // no time
      good.substr(0, good.rfind(',')) + ",nan\n",   // not finite
      std::string(100'000, '7') + "\n",             // far too long
  };
  std::string rows = "\n  \n";  // blank lines are no rows
  for (const std::string& row : bad) rows += row;
  text.insert(first, rows);
  write("Headphone.csv", text);

  const Outcome<MotionTrace> trace = loadMotionTrace(file("Headphone.csv"));
  ASSERT_TRUE(trace) << trace.error().message;
  EXPECT_EQ(trace->samples.size(), static_cast<std::size_t>(kReadings));
  EXPECT_EQ(trace->skippedLines, std::size(bad));
  EXPECT_FALSE(trace->truncated);

  const Outcome<MotionTrace> cut = loadMotionTrace(file("Headphone.csv"), {.maxSamples = 100});
  ASSERT_TRUE(cut) << cut.error().message;
  EXPECT_EQ(cut->samples.size(), 100u);
  EXPECT_TRUE(cut->truncated);
}

}  // namespace
}  // namespace hopster
