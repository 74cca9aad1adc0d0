#include "motion_sources/iio_device.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;

void put(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text << "\n";
}

// A device folder with an accelerometer reading `raw`.
fs::path writeAccelerometer(const fs::path& root, const std::string& id, const std::string& name,
                            std::array<int, 3> raw = {0, 0, 1000}) {
  const fs::path folder = root / id;
  put(folder / "name", name);
  for (std::size_t i = 0; i < 3; ++i) {
    put(folder / (std::string("in_accel_") + "xyz"[i] + "_raw"), std::to_string(raw[i]));
  }
  put(folder / "in_accel_scale", "0.01");
  return folder;
}

void writeGyroscope(const fs::path& folder) {
  for (const char* axis : {"x", "y", "z"}) {
    put(folder / (std::string("in_anglvel_") + axis + "_raw"), "10");
  }
  put(folder / "in_anglvel_scale", "0.001");
}

Vector3 converted(const IioDevice& device) {
  std::array<double, 3> raw{};
  std::string error;
  for (std::size_t i = 0; i < 3; ++i) raw[i] = *readSysfsNumber(device.accel->raw[i], error);
  return device.accel->convert(raw);
}

TEST(IioDevice, AppliesOffsetScaleAndMountMatrix) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;
    Vector3 expected;
  };
  const std::vector<Case> cases = {
      {"scale only", {}, {1.0, -2.0, 3.0}},
      {"shared offset", {{"in_accel_offset", "10"}}, {1.1, -1.9, 3.1}},
      {"per-axis scale and offset beat the shared ones",
       {{"in_accel_x_scale", "0.02"}, {"in_accel_z_offset", "-300"}},
       {2.0, -2.0, 0.0}},
      {"mount matrix turns the chip's axes into the device's",
       {{"in_accel_mount_matrix", "0, 1, 0; -1, 0, 0; 0, 0, -1"}},
       {-2.0, -1.0, -3.0}},
      {"the device-wide mount matrix",
       {{"mount_matrix", "1, 0, 0; 0, -1, 0; 0, 0, 1"}},
       {1.0, 2.0, 3.0}},
      {"a mount matrix that does not parse is none",
       {{"in_accel_mount_matrix", "1, 0; 0"}},
       {1.0, -2.0, 3.0}},
  };
  for (const Case& c : cases) {
    testing::TempDir root;
    const fs::path folder =
        writeAccelerometer(root.path(), "iio:device0", "chip", {100, -200, 300});
    for (const auto& [file, text] : c.files) put(folder / file, text);
    const IioLookup lookup = findIioSensors(root.path(), "");
    ASSERT_EQ(lookup.outcome, IioLookup::Outcome::found) << c.what << ": " << lookup.problem;
    const Vector3 v = converted(lookup.accelerometer);
    EXPECT_NEAR(v.x, c.expected.x, 1e-9) << c.what;
    EXPECT_NEAR(v.y, c.expected.y, 1e-9) << c.what;
    EXPECT_NEAR(v.z, c.expected.z, 1e-9) << c.what;
  }
}

TEST(IioDevice, FindsTheAccelerometerAndAGyroscopeBesideIt) {
  testing::TempDir root;
  // device2 sorts after device10 by name but before it by number.
  put(root.path() / "iio:device0" / "name", "light");
  put(root.path() / "iio:device0" / "in_illuminance_raw", "5");
  writeAccelerometer(root.path(), "iio:device2", "accel-chip");
  writeGyroscope(root.path() / "iio:device10");
  put(root.path() / "iio:device10" / "name", "gyro-chip");
  writeAccelerometer(root.path(), "iio:device11", "combo");
  writeGyroscope(root.path() / "iio:device11");
  put(root.path() / "trigger0" / "name", "not a device");

  struct Case {
    const char* wanted;
    IioLookup::Outcome outcome;
    const char* accelerometer;
    const char* gyroscope;
  };
  using enum IioLookup::Outcome;
  for (const Case& c : {Case{"", found, "iio:device2", "iio:device10"},
                        Case{"accel-chip", found, "iio:device2", "iio:device10"},
                        Case{"combo", found, "iio:device11", "iio:device11"},
                        Case{"iio:device11", found, "iio:device11", "iio:device11"},
                        Case{"gyro-chip", unavailable, "", ""}, Case{"light", unavailable, "", ""},
                        Case{"nothing-such", unavailable, "", ""}}) {
    const IioLookup lookup = findIioSensors(root.path(), c.wanted);
    EXPECT_EQ(lookup.outcome, c.outcome) << c.wanted;
    if (c.outcome != found) {
      EXPECT_NE(lookup.problem.find("No IIO accelerometer"), std::string::npos) << c.wanted;
      continue;
    }
    EXPECT_EQ(lookup.accelerometer.id, c.accelerometer) << c.wanted;
    ASSERT_TRUE(lookup.gyroscope) << c.wanted;
    EXPECT_EQ(lookup.gyroscope->id, c.gyroscope) << c.wanted;
  }
}

TEST(IioDevice, AMissingRootOrOneWithoutAnAccelerometerIsUnavailable) {
  testing::TempDir root;
  EXPECT_EQ(findIioSensors(root.path() / "absent", "").outcome, IioLookup::Outcome::unavailable);
  writeGyroscope(root.path() / "iio:device0");
  const IioLookup lookup = findIioSensors(root.path(), "");
  EXPECT_EQ(lookup.outcome, IioLookup::Outcome::unavailable);
  EXPECT_EQ(lookup.problem, "No IIO accelerometer under " + root.path().string() + ".");
}

// Root reads through any mode, so a file that cannot be read is a folder or
// a link to nowhere where the value belongs.
TEST(IioDevice, AnUnreadableFileIsNamedAsAnAccessProblem) {
  struct Case {
    const char* file;
    bool asFolder;
  };
  for (const Case& c : {Case{"in_accel_y_raw", true}, Case{"in_accel_z_raw", false},
                        Case{"in_accel_scale", true}, Case{"in_accel_mount_matrix", false}}) {
    testing::TempDir root;
    const fs::path folder = writeAccelerometer(root.path(), "iio:device0", "chip");
    fs::remove(folder / c.file);
    if (c.asFolder) {
      fs::create_directory(folder / c.file);
    } else {
      fs::create_symlink(root.path() / "nowhere", folder / c.file);
    }
    const IioLookup lookup = findIioSensors(root.path(), "");
    EXPECT_EQ(lookup.outcome, IioLookup::Outcome::accessDenied) << c.file;
    EXPECT_NE(lookup.problem.find((folder / c.file).string()), std::string::npos) << lookup.problem;
    EXPECT_NE(lookup.problem.find("udev rule"), std::string::npos) << lookup.problem;
  }
}

TEST(IioDevice, AnUnreadableGyroscopeLeavesTheAccelerometer) {
  testing::TempDir root;
  const fs::path folder = writeAccelerometer(root.path(), "iio:device0", "chip");
  writeGyroscope(folder);
  fs::remove(folder / "in_anglvel_scale");
  fs::create_directory(folder / "in_anglvel_scale");
  const IioLookup lookup = findIioSensors(root.path(), "");
  EXPECT_EQ(lookup.outcome, IioLookup::Outcome::found);
  EXPECT_FALSE(lookup.gyroscope);
  EXPECT_NE(lookup.problem.find("in_anglvel_scale"), std::string::npos);
}

TEST(IioDevice, ReadsNumbersAndRefusesWhatIsNone) {
  testing::TempDir root;
  const fs::path file = root.path() / "value";
  for (const auto& [text, expected] :
       std::vector<std::pair<std::string, std::optional<double>>>{{"42", 42.0},
                                                                  {"-0.000598205\n", -0.000598205},
                                                                  {"  7 ", 7.0},
                                                                  {"garbage", {}},
                                                                  {"", {}},
                                                                  {"1e999", {}},
                                                                  {"nan", {}},
                                                                  {"12abc", {}},
                                                                  {std::string(5000, '1'), {}}}) {
    std::ofstream(file, std::ios::trunc) << text;
    std::string error;
    EXPECT_EQ(readSysfsNumber(file, error), expected) << text.substr(0, 20);
  }
  std::string error;
  EXPECT_FALSE(readSysfsNumber(root.path() / "absent", error));
  EXPECT_FALSE(error.empty());
}

TEST(IioDevice, RefusesMountMatricesNotOfThreeRows) {
  for (const char* bad :
       {"", "1, 0, 0; 0, 1, 0", "1, 0, 0; 0, 1, 0; 0, 0, 1; 1", "1, 0, 0, 0; 1, 0; 0, 0, 1",
        "a, 0, 0; 0, 1, 0; 0, 0, 1", "1; 0, 0; 0, 1, 0, 0, 0, 1"}) {
    EXPECT_FALSE(parseMountMatrix(bad)) << bad;
  }
}

TEST(IioDevice, ParsesScanTypes) {
  struct Case {
    const char* text;
    bool ok;
    bool bigEndian = false, isSigned = false;
    unsigned bits = 0, storageBytes = 0, shift = 0;
  };
  for (const Case& c :
       {Case{"le:s16/16>>0", true, false, true, 16, 2, 0},
        Case{"be:u12/16>>4", true, true, false, 12, 2, 4},
        Case{"le:s64/64>>0\n", true, false, true, 64, 8, 0},
        Case{"le:s24/32>>8", true, false, true, 24, 4, 8}, Case{"xx:s16/16>>0", false},
        Case{"le:s17/16>>0", false}, Case{"le:s16/24>>0", false}, Case{"le:s16/16>>16", false},
        Case{"le:s12/16>>8", false}, Case{"le:s16/16", false}, Case{"", false},
        Case{"le:q16/16>>0", false}, Case{"le:s0/16>>0", false}}) {
    const auto channel = parseScanType(c.text);
    ASSERT_EQ(channel.has_value(), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(channel->bigEndian, c.bigEndian) << c.text;
    EXPECT_EQ(channel->isSigned, c.isSigned) << c.text;
    EXPECT_EQ(channel->bits, c.bits) << c.text;
    EXPECT_EQ(channel->storageBytes, c.storageBytes) << c.text;
    EXPECT_EQ(channel->shift, c.shift) << c.text;
  }
}

TEST(IioDevice, LaysOutEnabledChannelsAlignedAndDecodesThem) {
  testing::TempDir root;
  const fs::path scan = root.path() / "scan_elements";
  const auto element = [&](const std::string& name, int enabled, int index, const char* type) {
    put(scan / (name + "_en"), std::to_string(enabled));
    put(scan / (name + "_index"), std::to_string(index));
    put(scan / (name + "_type"), type);
  };
  element("in_accel_x", 1, 0, "le:s16/16>>0");
  element("in_accel_y", 1, 1, "be:s12/16>>4");
  element("in_accel_z", 0, 2, "le:s16/16>>0");
  element("in_temp", 1, 3, "le:u8/8>>0");
  element("in_timestamp", 1, 4, "le:s64/64>>0");
  std::string error;
  const auto layout = readScanLayout(root.path(), error);
  ASSERT_TRUE(layout) << error;
  ASSERT_EQ(layout->channels.size(), 4u);
  EXPECT_EQ(layout->find("in_accel_x")->offset, 0u);
  EXPECT_EQ(layout->find("in_accel_y")->offset, 2u);
  EXPECT_EQ(layout->find("in_temp")->offset, 4u);
  EXPECT_EQ(layout->find("in_timestamp")->offset, 8u);
  EXPECT_EQ(layout->find("in_accel_z"), nullptr);
  EXPECT_EQ(layout->recordBytes, 16u);

  std::array<unsigned char, 16> record{};
  record[0] = 0x18;  // -1000 little-endian: 0xfc18
  record[1] = 0xfc;
  record[2] = 0xff;  // -3 in 12 bits, shifted left by 4, big-endian: 0xffd0
  record[3] = 0xd0;
  record[4] = 200;
  record[15] = 0x80;  // the timestamp's sign bit
  EXPECT_EQ(decodeScanValue(*layout->find("in_accel_x"), record.data()), -1000);
  EXPECT_EQ(decodeScanValue(*layout->find("in_accel_y"), record.data()), -3);
  EXPECT_EQ(decodeScanValue(*layout->find("in_temp"), record.data()), 200);
  EXPECT_EQ(decodeScanValue(*layout->find("in_timestamp"), record.data()), INT64_MIN);
}

TEST(IioDevice, RefusesScanElementsItCannotDecode) {
  for (const char* type : {"le:s16/16", "garbage"}) {
    testing::TempDir root;
    const fs::path scan = root.path() / "scan_elements";
    put(scan / "in_accel_x_en", "1");
    put(scan / "in_accel_x_index", "0");
    put(scan / "in_accel_x_type", type);
    std::string error;
    EXPECT_FALSE(readScanLayout(root.path(), error)) << type;
    EXPECT_FALSE(error.empty());
  }
  testing::TempDir empty;
  std::string error;
  EXPECT_FALSE(readScanLayout(empty.path(), error));
}

}  // namespace
}  // namespace hopster
