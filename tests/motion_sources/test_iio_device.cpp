// An IIO device as its sysfs folder describes it: the accelerometer and
// gyroscope found, their readings converted, and the scan elements of
// buffered capture laid out and decoded.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <tuple>

#include "motion_sources/iio_device.h"
#include "motion_test_support.h"

namespace hopster {
namespace {

TEST(IioDevice, AppliesOffsetScaleAndMountMatrix) {
  // A file beside an accelerometer reading (100, -200, 300) at a scale of
  // 0.01, and the reading it makes.
  const std::tuple<std::string, std::string, Vector3> cases[] = {
      {"", "", {1.0, -2.0, 3.0}},
      {"in_accel_offset", "10", {1.1, -1.9, 3.1}},
      {"in_accel_x_scale", "0.02", {2.0, -2.0, 3.0}},  // beats the shared scale
      {"in_accel_z_offset", "-300", {1.0, -2.0, 0.0}},
      // The chip's axes into the device's, by its own matrix or the device's.
      {"in_accel_mount_matrix", "0, 1, 0; -1, 0, 0; 0, 0, -1", {-2.0, -1.0, -3.0}},
      {"mount_matrix", "1, 0, 0; 0, -1, 0; 0, 0, 1", {1.0, 2.0, 3.0}},
      {"in_accel_mount_matrix", "1, 0; 0", {1.0, -2.0, 3.0}},  // one that does not parse is none
  };
  for (const auto& [file, text, expected] : cases) {
    testing::TempDir root;
    const fs::path folder =
        writeAccelerometer(root.path(), "iio:device0", "chip", {100, -200, 300});
    if (!file.empty()) put(folder / file, text);
    const IioLookup lookup = findIioSensors(root.path(), "");
    ASSERT_EQ(lookup.outcome, IioLookup::Outcome::found) << file << ": " << lookup.problem;
    const auto& accel = *lookup.accelerometer.accel;
    std::array<double, 3> raw{};
    for (std::size_t i = 0; i < 3; ++i) raw[i] = *readSysfsNumber(accel.raw[i]);
    EXPECT_LT(distance(accel.convert(raw), expected), 1e-9) << file;
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

  using enum IioLookup::Outcome;
  // The name or id asked for, and the devices found for it.
  const std::tuple<const char*, IioLookup::Outcome, const char*, const char*> cases[] = {
      {"", found, "iio:device2", "iio:device10"},
      {"accel-chip", found, "iio:device2", "iio:device10"},
      {"combo", found, "iio:device11", "iio:device11"},
      {"iio:device11", found, "iio:device11", "iio:device11"},
      {"gyro-chip", unavailable, "", ""},
      {"light", unavailable, "", ""},
      {"nothing-such", unavailable, "", ""}};
  for (const auto& [wanted, outcome, accelerometer, gyroscope] : cases) {
    const IioLookup lookup = findIioSensors(root.path(), wanted);
    EXPECT_EQ(lookup.outcome, outcome) << wanted;
    if (outcome != found) {
      EXPECT_NE(lookup.problem.find("No IIO accelerometer"), std::string::npos) << wanted;
      continue;
    }
    EXPECT_EQ(lookup.accelerometer.id, accelerometer) << wanted;
    ASSERT_TRUE(lookup.gyroscope) << wanted;
    EXPECT_EQ(lookup.gyroscope->id, gyroscope) << wanted;
  }
  EXPECT_EQ(findIioSensors(root.path() / "absent", "").outcome, unavailable);
}

// Root reads through any mode, so a file that cannot be read is a folder or
// a link to nowhere where the value belongs. One of the gyroscope's leaves
// the accelerometer, counting without the gyroscope.
TEST(IioDevice, AnUnreadableFileIsNamedAsAnAccessProblem) {
  using enum IioLookup::Outcome;
  // The file, whether a folder (or else a link to nowhere) takes its place,
  // and the outcome.
  const std::tuple<const char*, bool, IioLookup::Outcome> cases[] = {
      {"in_accel_y_raw", true, accessDenied},
      {"in_accel_z_raw", false, accessDenied},
      {"in_accel_scale", true, accessDenied},
      {"in_accel_mount_matrix", false, accessDenied},
      {"in_anglvel_scale", true, found}};
  for (const auto& [file, asFolder, outcome] : cases) {
    testing::TempDir root;
    const fs::path folder = writeAccelerometer(root.path(), "iio:device0", "chip");
    writeGyroscope(folder);
    fs::remove(folder / file);
    if (asFolder) {
      fs::create_directory(folder / file);
    } else {
      fs::create_symlink(root.path() / "nowhere", folder / file);
    }
    const IioLookup lookup = findIioSensors(root.path(), "");
    EXPECT_EQ(lookup.outcome, outcome) << file;
    EXPECT_FALSE(lookup.gyroscope) << file;
    EXPECT_NE(lookup.problem.find((folder / file).string()), std::string::npos) << lookup.problem;
    EXPECT_NE(lookup.problem.find("udev rule"), std::string::npos) << lookup.problem;
  }
}

TEST(IioDevice, ReadsNumbersAndRefusesWhatIsNone) {
  testing::TempDir root;
  const fs::path file = root.path() / "value";
  const auto read = [&file](const std::string& text) {
    std::ofstream(file, std::ios::trunc) << text;
    return readSysfsNumber(file);
  };
  EXPECT_EQ(*read("42"), 42.0);
  EXPECT_EQ(*read("-0.000598205\n"), -0.000598205);
  EXPECT_EQ(*read("  7 "), 7.0);
  // No number is malformed, a reading to skip; other failures may mean the device went away.
  for (const char* text : {"garbage", "", "1e999", "nan", "12abc"})
    EXPECT_EQ(read(text).error().kind, FailureKind::malformed) << text;
  EXPECT_FALSE(read(std::string(5000, '1')));
  EXPECT_EQ(readSysfsNumber(root.path() / "absent").error().kind, FailureKind::notFound);
}

TEST(IioDevice, RefusesMountMatricesNotOfThreeRows) {
  for (const char* bad :
       {"", "1, 0, 0; 0, 1, 0", "1, 0, 0; 0, 1, 0; 0, 0, 1; 1", "1, 0, 0, 0; 1, 0; 0, 0, 1",
        "a, 0, 0; 0, 1, 0; 0, 0, 1", "1; 0, 0; 0, 1, 0, 0, 0, 1"}) {
    EXPECT_FALSE(parseMountMatrix(bad)) << bad;
  }
}

TEST(IioDevice, ParsesScanTypes) {
  // Big-endian, signed, bits, storage bytes, shift.
  using Fields = std::tuple<bool, bool, unsigned, unsigned, unsigned>;
  const std::pair<const char*, Fields> parsed[] = {{"le:s16/16>>0", {false, true, 16, 2, 0}},
                                                   {"be:u12/16>>4", {true, false, 12, 2, 4}},
                                                   {"le:s64/64>>0\n", {false, true, 64, 8, 0}},
                                                   {"le:s24/32>>8", {false, true, 24, 4, 8}}};
  for (const auto& [text, expected] : parsed) {
    const auto c = parseScanType(text);
    ASSERT_TRUE(c) << text;
    EXPECT_EQ(Fields(c->bigEndian, c->isSigned, c->bits, c->storageBytes, c->shift), expected)
        << text;
  }
  for (const char* text : {"xx:s16/16>>0", "le:s17/16>>0", "le:s16/24>>0", "le:s16/16>>16",
                           "le:s12/16>>8", "le:s16/16", "", "le:q16/16>>0", "le:s0/16>>0"}) {
    EXPECT_FALSE(parseScanType(text)) << text;
  }
}

TEST(IioDevice, LaysOutEnabledChannelsAlignedAndDecodesThem) {
  testing::TempDir root;
  putScanElement(root.path(), "in_accel_x", 1, 0, "le:s16/16>>0");
  putScanElement(root.path(), "in_accel_y", 1, 1, "be:s12/16>>4");
  putScanElement(root.path(), "in_accel_z", 0, 2, "le:s16/16>>0");
  putScanElement(root.path(), "in_temp", 1, 3, "le:u8/8>>0");
  putScanElement(root.path(), "in_timestamp", 1, 4, "le:s64/64>>0");
  const Outcome<ScanLayout> layout = readScanLayout(root.path());
  ASSERT_TRUE(layout) << layout.error().message;
  ASSERT_EQ(layout->channels.size(), 4u);
  EXPECT_EQ(layout->find("in_accel_x")->offset, 0u);
  EXPECT_EQ(layout->find("in_accel_y")->offset, 2u);
  EXPECT_EQ(layout->find("in_temp")->offset, 4u);
  EXPECT_EQ(layout->find("in_timestamp")->offset, 8u);
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

// An enabled channel of a type that does not parse, or none enabled at all.
TEST(IioDevice, RefusesScanElementsItCannotDecode) {
  testing::TempDir root, empty;
  putScanElement(root.path(), "in_accel_x", 1, 0, "le:s16/16");
  EXPECT_FALSE(readScanLayout(root.path()).error().message.empty());
  EXPECT_FALSE(readScanLayout(empty.path()));
}

}  // namespace
}  // namespace hopster
