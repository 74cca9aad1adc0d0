// The IIO source, polling or capturing from its buffer, on folder trees of
// the test's own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <fstream>

#include "motion_sources/iio_motion_service.h"
#include "motion_test_support.h"

namespace hopster {
namespace {

std::string contents(const fs::path& path) {
  const Outcome<std::string> text = readSysfsText(path);
  return text ? *text : text.error().message;
}

// A sysfs tree and a device-node folder of the test's own. The accelerometer
// reads 1 g up along the device's z at rest: raw 1000 at 0.00980665 m/s² each.
class Iio : public ThreadedSource {
 protected:
  Iio() {
    writeAccelerometer(sys(), "iio:device0", "accel");
    put(device() / "in_accel_scale", "0.00980665");
    put(device() / "sampling_frequency", "100");
    put(device() / "sampling_frequency_available", "12.5 25 52 104");
    fs::create_directories(dev());
  }
  fs::path sys() const { return dir_.path() / "sys"; }
  fs::path dev() const { return dir_.path() / "dev"; }
  fs::path device(const std::string& id = "iio:device0") const { return sys() / id; }

  IioMotionService make(const std::string& wanted = "", double rate = 50.0) {
    return IioMotionService(sys(), dev(), wanted, rate, scheduler_, log_);
  }

  testing::TempDir dir_;
};

TEST_F(Iio, PollsAtTheNearestListedRateInTheHeadphonesSign) {
  auto service = make("", 50.0);
  ASSERT_TRUE(service.isDeviceMotionAvailable());
  EXPECT_EQ(service.authorizationStatus(), MotionAuthorizationStatus::authorized);
  EXPECT_FALSE(service.hasGyroscope());
  service.startDeviceMotionUpdates(collect());
  EXPECT_FALSE(service.isBuffered());
  EXPECT_EQ(contents(device() / "sampling_frequency"), "52");
  scheduler_.advanceBy(1.0 + 0.5 / 52.0);
  EXPECT_EQ(samples_.size(), 52u);
  const DeviceMotion& last = samples_.back();
  // Lying flat at rest: gravity down the device's -z, nothing else moving.
  EXPECT_NEAR(last.gravity.z, -1.0, 1e-9);
  EXPECT_NEAR(last.userAcceleration.z, 0.0, 1e-9);
  EXPECT_NEAR(inWorld(last, last.gravity).z, -1.0, 1e-9);

  // Let go: free fall reads +1 g up in the world frame.
  putRaw(device(), "accel", {0, 0, 0});
  scheduler_.advanceBy(1.0 / 52.0);
  const DeviceMotion& falling = samples_.back();
  EXPECT_NEAR(inWorld(falling, falling.userAcceleration).z, 1.0, 0.05);

  service.stopDeviceMotionUpdates();
  EXPECT_FALSE(service.isDeviceMotionActive());
  const std::size_t delivered = samples_.size();
  scheduler_.advanceBy(1.0);
  EXPECT_EQ(samples_.size(), delivered);
}

TEST_F(Iio, ReadsTheGyroscopeOfASiblingDevice) {
  put(device("iio:device1") / "name", "gyro");
  writeGyroscope(device("iio:device1"), {100, -200, 0});
  auto service = make();
  ASSERT_TRUE(service.hasGyroscope());
  service.startDeviceMotionUpdates(collect());
  scheduler_.advanceBy(0.1);
  ASSERT_FALSE(samples_.empty());
  EXPECT_LT(distance(samples_.back().rotationRate, {0.1, -0.2, 0.0}), 1e-12);
}

TEST_F(Iio, SkipsGarbageReadingsAndGoesOn) {
  auto service = make();
  service.startDeviceMotionUpdates(collect());
  for (const char* garbage : {"garbage", "", "nan", "1e999", "99999999999999999999999"}) {
    put(device() / "in_accel_y_raw", garbage);
    scheduler_.advanceBy(0.1);
  }
  // A FIFO where a value belongs reads as nothing rather than waiting.
  fs::remove(device() / "in_accel_y_raw");
  ASSERT_EQ(::mkfifo((device() / "in_accel_y_raw").c_str(), 0600), 0);
  scheduler_.advanceBy(0.1);
  EXPECT_TRUE(samples_.empty());
  EXPECT_GT(service.skippedReadings(), 0u);
  fs::remove(device() / "in_accel_y_raw");
  putRaw(device(), "accel", {0, 0, 1000});
  scheduler_.advanceBy(0.1);
  EXPECT_FALSE(samples_.empty());
  EXPECT_TRUE(service.isDeviceMotionActive());
}

TEST_F(Iio, ADeviceThatVanishesEndsTheStreamAndKeepsWhatCame) {
  auto service = make();
  int finished = 0;
  service.setFinishedHandler([&] { ++finished; });
  service.startDeviceMotionUpdates(collect());
  scheduler_.advanceBy(0.5);
  const std::size_t before = samples_.size();
  ASSERT_GT(before, 0u);
  fs::remove_all(device());
  scheduler_.advanceBy(0.5);
  EXPECT_EQ(finished, 1);
  EXPECT_FALSE(service.isDeviceMotionAvailable());
  EXPECT_FALSE(service.isDeviceMotionActive());
  EXPECT_EQ(samples_.size(), before);
  EXPECT_NE(log_.lines().back().find("ended"), std::string::npos);
}

TEST_F(Iio, WithoutAnAccelerometerIsUnavailableInOneLine) {
  fs::remove_all(device());
  writeGyroscope(device("iio:device1"));
  auto service = make();
  EXPECT_FALSE(service.isDeviceMotionAvailable());
  service.startDeviceMotionUpdates(collect());
  EXPECT_FALSE(service.isDeviceMotionActive());
  scheduler_.advanceBy(1.0);
  EXPECT_TRUE(samples_.empty());
  ASSERT_EQ(log_.lines().size(), 1u);
  EXPECT_EQ(log_.lines()[0], "No IIO accelerometer under " + sys().string() + ".");
}

TEST_F(Iio, AFileThatCannotBeReadDeniesAccessNamingIt) {
  fs::remove(device() / "in_accel_x_raw");
  fs::create_symlink(dir_.path() / "nowhere", device() / "in_accel_x_raw");
  auto service = make();
  EXPECT_EQ(service.authorizationStatus(), MotionAuthorizationStatus::denied);
  EXPECT_FALSE(service.isDeviceMotionAvailable());
  ASSERT_EQ(log_.lines().size(), 1u);
  EXPECT_NE(log_.lines()[0].find((device() / "in_accel_x_raw").string()), std::string::npos);
}

// Buffered capture: scan elements as the kernel lists them, and a plain
// file of packed records standing in for the device node.
class BufferedIio : public Iio {
 protected:
  BufferedIio() {
    for (int i = 0; i < 3; ++i)
      putScanElement(device(), std::string("in_accel_") + "xyz"[i], 0, i, "le:s16/16>>0");
    putScanElement(device(), "in_timestamp", 1, 3, "le:s64/64>>0");
    put(device() / "buffer" / "enable", "0");
  }
  // Records of 16 bytes: x, y, z as s16 (little-endian, as is this
  // machine), 2 bytes of padding, an s64 time.
  void writeNode(const std::vector<std::array<std::int16_t, 3>>& records) {
    static_assert(std::endian::native == std::endian::little);
    std::ofstream node(dev() / "iio:device0", std::ios::binary);
    for (const auto& r : records) {
      std::array<char, 16> bytes{};
      std::memcpy(bytes.data(), r.data(), sizeof r);
      node.write(bytes.data(), bytes.size());
    }
    node.write("\x01\x02\x03", 3);  // a torn last record, never delivered
  }
};

TEST_F(BufferedIio, DecodesRecordsFromTheNodeAndEndsWithIt) {
  std::vector<std::array<std::int16_t, 3>> records(40, {0, 0, 1000});
  records.back() = {-500, 0, 500};
  writeNode(records);
  auto service = make();
  bool finished = false;
  service.setFinishedHandler([&] { finished = true; });
  service.startDeviceMotionUpdates(collect());
  ASSERT_TRUE(service.isBuffered());
  EXPECT_EQ(contents(device() / "scan_elements" / "in_accel_x_en"), "1");
  EXPECT_EQ(contents(device() / "buffer" / "enable"), "1");
  ASSERT_TRUE(pumpUntil([&] { return finished; }));
  ASSERT_EQ(samples_.size(), records.size());
  EXPECT_NEAR(samples_.front().gravity.z, -1.0, 1e-9);
  // The last record leans half a g along -x: the user acceleration shows it.
  EXPECT_GT(samples_.back().userAcceleration.x, 0.4);
  EXPECT_EQ(contents(device() / "buffer" / "enable"), "0");
  EXPECT_FALSE(service.isDeviceMotionAvailable());
}

TEST_F(BufferedIio, PollsWhenTheNodeCannotBeOpened) {
  auto service = make();
  service.startDeviceMotionUpdates(collect());
  EXPECT_FALSE(service.isBuffered());
  scheduler_.advanceBy(0.5);
  EXPECT_FALSE(samples_.empty());
  EXPECT_NE(log_.lines().back().find("polling"), std::string::npos);
  EXPECT_NE(log_.lines().back().find((dev() / "iio:device0").string()), std::string::npos);
}

TEST_F(BufferedIio, StopsItsReaderWhenStoppedOrDestroyed) {
  ASSERT_EQ(::mkfifo((dev() / "iio:device0").c_str(), 0600), 0);
  // A writer keeps the FIFO open, so the reader waits rather than ending;
  // a stop, and then the destructor, must end the wait.
  auto service = make();
  service.startDeviceMotionUpdates(collect());
  ASSERT_TRUE(service.isBuffered());
  std::ofstream node(dev() / "iio:device0", std::ios::binary);
  service.stopDeviceMotionUpdates();
  EXPECT_EQ(contents(device() / "buffer" / "enable"), "0");
  service.startDeviceMotionUpdates(collect());
  EXPECT_TRUE(service.isBuffered());
}

}  // namespace
}  // namespace hopster
