#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "motion/motion_data_point.h"
#include "motion_sources/motion_trace.h"
#include "motion_sources/replayed_motion.h"
#include "motion_sources/sensor_logger_export.h"
#include "recording/motion_pipeline.h"
#include "support/skipping_jumper.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;
using Files = std::vector<std::pair<std::string, std::string>>;  // name, content

constexpr double kG = 9.80665;
constexpr int kRate = testing::kJumperRate;
constexpr int kJumps = testing::kJumperJumps;
constexpr int kReadings = testing::kJumperReadings;
using testing::jumperAcceleration;

// A vertical world vector of length v in the frame of the device, which nods
// about its x axis.
std::vector<double> upInDevice(double t, double v) {
  const double tilt = 0.5 + 0.2 * std::sin(3 * t);
  return {0.0, v * std::sin(tilt), v * std::cos(tilt)};
}
std::vector<double> operator+(std::vector<double> a, const std::vector<double>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// One sensor as the app records it: the columns after time and
// seconds_elapsed, and their values t seconds in. Headphone acceleration is
// in g, the rest in m/s², all in the iOS sign (gravity down, acceleration
// read against the motion).
struct Sensor {
  std::string name;
  std::string columns;
  std::function<std::vector<double>(double)> row;
  std::int64_t earlyNs = 0;  // how much earlier than the headphones it reads
};
const Sensor kHeadphone{
    "Headphone", "accelerationX,accelerationY,accelerationZ,gravityX,gravityY,gravityZ,pitch",
    [](double t) {
      return upInDevice(t, -jumperAcceleration(t)) + upInDevice(t, -kG) + std::vector{0.5};
    }};
const std::vector<Sensor> kPhone = {
    {"Accelerometer", "x,y,z", [](double t) { return upInDevice(t, -jumperAcceleration(t) * kG); }},
    {"Gravity", "x,y,z", [](double t) { return upInDevice(t, -kG); }},
    {"Orientation", "qz,qy,qx,qw,pitch",
     [](double) {
       return std::vector{0., 0., 0., 1., .5};
     }},
    {"Gyroscope", "z,y,x", [](double) {
       return std::vector{0., 0., 0.};
     }}};

std::string number(double v) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, v).ptr);
}
std::string timeText(const Sensor& s, int i) {
  return std::to_string(1698501144401773000 + i * 20'000'000LL - s.earlyNs);
}

std::string csvOf(const Sensor& sensor) {
  std::string text = "time,seconds_elapsed," + sensor.columns + "\n";
  for (int i = 0; i < kReadings; ++i) {
    text += timeText(sensor, i) + "," + number(static_cast<double>(i) / kRate);
    for (const double v : sensor.row(static_cast<double>(i) / kRate)) text += "," + number(v);
    text += "\n";
  }
  return text;
}
Files csvFiles(const std::vector<Sensor>& sensors, const std::string& folder = "") {
  Files files;
  for (const Sensor& s : sensors) files.emplace_back(folder + s.name + ".csv", csvOf(s));
  return files;
}
// The JSON export: an object of strings a reading, grouped by sensor.
std::string jsonOf(const std::vector<Sensor>& sensors) {
  std::string json = "[";
  for (const Sensor& s : sensors) {
    for (int i = 0; i < kReadings; ++i) {
      json += (json.size() > 1 ? ",\n" : "\n") + std::string(R"({"sensor": ")") + s.name +
              R"(", "time": ")" + timeText(s, i) + "\"";
      const std::vector<double> values = s.row(static_cast<double>(i) / kRate);
      std::size_t at = 0;
      for (const double v : values) {
        const std::size_t end = std::min(s.columns.find(',', at), s.columns.size());
        json += ", \"" + s.columns.substr(at, end - at) + "\": \"" + number(v) + "\"";
        at = end + 1;
      }
      json += "}";
    }
  }
  return json + "\n]\n";
}

void writeFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
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

class Export : public ::testing::Test {
 protected:
  fs::path file(const std::string& name) const { return dir_.path() / name; }
  testing::TempDir dir_;
};

TEST_F(Export, EveryFormGivesTheJumpersVerticalSignalDirectlyAndReplayed) {
  // The phone starts a moment before the headphones, and still only they count.
  std::vector<Sensor> both = kPhone;
  for (Sensor& s : both) s.earlyNs = 1'000'000;
  both.push_back(kHeadphone);
  writeZip(file("headphones.zip"), {{"Headphone.csv", csvOf(kHeadphone)},
                                    {"Location.csv", "time,seconds_elapsed,latitude\n1,0,51.5\n"},
                                    {"__MACOSX/._Headphone.csv", "junk"}});
  writeZip(file("phone.zip"), csvFiles(kPhone, "2024-03-09_17-10-25/"));
  writeZip(file("both.zip"), csvFiles(both));
  writeFile(file("Headphone.csv"), csvOf(kHeadphone));
  writeFile(file("airpods.csv"), csvOf(kHeadphone));  // renamed by its user
  std::string windows = "\xEF\xBB\xBF" + csvOf(kHeadphone);
  for (std::size_t at = 0; (at = windows.find('\n', at)) != std::string::npos; at += 2) {
    windows.insert(at, "\r");
  }
  writeFile(file("Headphone-windows.csv"), windows);
  writeFile(file("phone.json"), "\xEF\xBB\xBF" + jsonOf(kPhone));  // a byte order mark too
  writeFile(file("both.json"), jsonOf(both));

  // Each form, and whether its samples come from the headphones.
  const std::pair<const char*, bool> forms[] = {
      {"headphones.zip", true}, {"phone.zip", false},  {"both.zip", true},
      {"Headphone.csv", true},  {"airpods.csv", true}, {"Headphone-windows.csv", true},
      {"phone.json", false},    {"both.json", true}};
  for (const auto& [name, fromHeadphones] : forms) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(looksLikeSensorLoggerExport(readFile(file(name)).substr(0, 4096)));
    std::string error;
    SensorLoggerExportNotes notes;
    const auto samples = loadSensorLoggerExport(file(name), error, {}, &notes);
    ASSERT_TRUE(samples) << error;
    ASSERT_EQ(samples->size(), static_cast<std::size_t>(kReadings));
    EXPECT_EQ(notes.malformedReadings, 0u);
    // The vertical as the jumper moved, straight from each sample and as a
    // replayed trace carries it by its own attitude.
    const std::optional<MotionTrace> trace = loadMotionTrace(file(name), error);
    ASSERT_TRUE(trace) << error;
    ASSERT_EQ(trace->samples.size(), static_cast<std::size_t>(kReadings));
    for (std::size_t i = 0; i < samples->size(); ++i) {
      const TimedMotion& s = (*samples)[i];
      EXPECT_EQ(s.fromHeadphones, fromHeadphones);
      EXPECT_NEAR(s.time, 1698501144.401773 + static_cast<double>(i) / kRate, 1e-6);
      EXPECT_EQ(trace->samples[i].timeStamp, s.time);
      const double expected = -jumperAcceleration(static_cast<double>(i) / kRate);
      const DeviceMotion replayed = replayedMotion(trace->samples[i]);
      for (const DeviceMotion& m : {s.motion, replayed}) {
        EXPECT_NEAR(computeGlobalAcceleration(m.userAcceleration, m.attitude.rotationMatrix).z,
                    expected, 1e-9)
            << i;
      }
    }
  }
}

TEST(ExportedDataPoint, KeepsEveryColumnAndSumsAsALiveRecordingSums) {
  TimedMotion s;
  s.time = 1698501144.25;
  s.motion.userAcceleration = {1.0, 1e16, -1e16};  // 1 + 1e16 - 1e16 is 0 only in this order
  s.motion.rotationRate = {4, 5, 6};
  s.motion.attitude = {7, 8, 9, RotationMatrix{1, 1, 1, 0.5, 1, 1, 1, 1, 0.25}};
  s.motion.gravity = {10, 11, 12};
  const MotionDataPoint p = toMotionDataPoint(s);
  const Vector3 global =
      computeGlobalAcceleration(s.motion.userAcceleration, s.motion.attitude.rotationMatrix);
  const MotionDataPoint expected{
      1698501144.25, 1, 1e16, -1e16, 4, 5, 6, 7, 8, 9, 10, 11, 12, global.x, global.y, global.z};
  EXPECT_EQ(std::memcmp(&p, &expected, sizeof p), 0);
}

void putLittleEndian32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
}

TEST_F(Export, RefusesZipBombsAndOversizedEntries) {
  SensorLoggerExportLimits small;
  small.maxCsvBytes = 1 << 20;
  // 64 MiB of zeros, deflated to some 64 kilobytes.
  writeZip(file("bomb.zip"), {{"Headphone.csv", csvOf(kHeadphone) + std::string(64 << 20, '0')}});
  // Each file within its cap, together beyond the zip's.
  const Files phone = csvFiles(kPhone);
  SensorLoggerExportLimits together = small;
  together.maxUncompressedBytes = phone[0].second.size() + phone[1].second.size();
  writeZip(file("together.zip"), phone);
  // An entry holding more than it declares: its sizes forged in the local
  // header and in the central directory.
  writeZip(file("forged.zip"), {{"Headphone.csv", csvOf(kHeadphone)}});
  std::string forged = readFile(file("forged.zip"));
  putLittleEndian32(forged, forged.find("PK\x03\x04") + 22, 1000);
  putLittleEndian32(forged, forged.find("PK\x01\x02") + 24, 1000);
  writeFile(file("forged.zip"), forged);
  SensorLoggerExportLimits fewEntries;
  fewEntries.maxZipEntries = 3;
  writeZip(file("many.zip"), phone);

  const struct {
    const char* name;
    SensorLoggerExportLimits limits;
    const char* reason;
  } cases[] = {
      {"bomb.zip", small, "Headphone.csv is larger than 1048576 bytes"},
      {"together.zip", together, "hold more than"},
      {"forged.zip", {}, "Headphone.csv: more bytes than its zip entry declares"},
      {"many.zip", fewEntries, "4 entries"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(loadSensorLoggerExport(file(c.name), error, c.limits)) << c.name;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
  }
}

TEST_F(Export, RefusesWhatIsNoExportOrHoldsNoSampleWithAReason) {
  writeFile(file("text.txt"), "hello\n");
  writeZip(file("whole.zip"), {{"Headphone.csv", csvOf(kHeadphone)}});
  const std::string whole = readFile(file("whole.zip"));
  writeFile(file("cut.zip"), whole.substr(0, whole.size() / 2));
  writeZip(file("location.zip"), {{"Location.csv", "time,latitude\n1,51.5\n"}});
  writeFile(file("broken.json"), R"([{"sensor": "Headphone", "time": )");
  writeFile(file("Accelerometer.csv"), csvOf(kPhone[0]));
  fs::create_directory(file("folder"));
  ASSERT_EQ(::mkfifo(file("fifo").c_str(), 0600), 0);

  const std::pair<const char*, const char*> cases[] = {
      {"text.txt", "not a Sensor Logger export"},
      {"missing.zip", "No such file"},
      {"cut.zip", "not a zip archive"},
      {"location.zip", "no Headphone.csv"},
      {"broken.json", "JSON"},
      {"Accelerometer.csv", "no motion samples"},  // no gravity to go with it
      {"folder", "not a regular file (a folder)"},
      {"fifo", "not a regular file (a FIFO)"},
  };
  for (const auto& [name, reason] : cases) {
    std::string error;
    EXPECT_FALSE(loadSensorLoggerExport(file(name), error)) << name;
    EXPECT_NE(error.find(reason), std::string::npos) << name << ": " << error;
  }
}

TEST_F(Export, SkipsAndCountsMalformedRowsAndStopsAtTheSampleCap) {
  std::string text = csvOf(kHeadphone);
  const std::string bad[] = {
      "1698501144401773000,0,1,2\n",                 // too few cells
      "soon,0,0,0,0,0,0,-9.8,0\n",                   // no time
      "1698501144401773000,0,nan,0,0,0,0,-9.8,0\n",  // not finite
      std::string(100'000, '7') + "\n",              // far too long
  };
  std::string rows = "\n  \n";  // blank lines are no rows
  for (const std::string& row : bad) rows += row;
  text.insert(text.find('\n') + 1, rows);
  writeFile(file("Headphone.csv"), text);

  std::string error;
  const std::optional<MotionTrace> trace = loadMotionTrace(file("Headphone.csv"), error);
  ASSERT_TRUE(trace) << error;
  EXPECT_EQ(trace->samples.size(), static_cast<std::size_t>(kReadings));
  EXPECT_EQ(trace->skippedLines, std::size(bad));
  EXPECT_FALSE(trace->truncated);

  MotionTraceLimits few;
  few.maxSamples = 100;
  const std::optional<MotionTrace> cut = loadMotionTrace(file("Headphone.csv"), error, few);
  ASSERT_TRUE(cut) << error;
  EXPECT_EQ(cut->samples.size(), 100u);
  EXPECT_TRUE(cut->truncated);
}

}  // namespace
}  // namespace hopster
