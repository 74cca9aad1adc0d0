#pragma once

// What the motion source tests share: sysfs trees of IIO devices, a fixture
// for the sources that read on a thread of their own, a folder of files, and
// vectors compared and turned as the counter turns them.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <thread>

#include "motion/motion_data_point.h"
#include "platform/doubles/virtual_scheduler.h"
#include "platform/headphone_motion_service.h"
#include "platform/linux/memory_log.h"
#include "support/temp_dir.h"

namespace hopster {

namespace fs = std::filesystem;

// The token of the phone's push path.
inline constexpr char kToken[] = "0123456789abcdef0123456789abcdef";

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr double kInf = std::numeric_limits<double>::infinity();

inline double distance(const Vector3& a, const Vector3& b) {
  return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z);
}

// `v` of the sample `m` in the world frame, as the counter turns it.
inline Vector3 inWorld(const DeviceMotion& m, const Vector3& v) {
  return computeGlobalAcceleration(v, m.attitude.rotationMatrix);
}

// An IIO device as its sysfs folder describes it.

inline void put(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text << "\n";
}

// The three raw readings of `type` ("accel" or "anglvel") in `folder`.
inline void putRaw(const fs::path& folder, const std::string& type, std::array<int, 3> raw) {
  for (std::size_t i = 0; i < 3; ++i) {
    put(folder / ("in_" + type + "_" + "xyz"[i] + "_raw"), std::to_string(raw[i]));
  }
}

// A device folder with an accelerometer reading `raw`.
inline fs::path writeAccelerometer(const fs::path& root, const std::string& id,
                                   const std::string& name, std::array<int, 3> raw = {0, 0, 1000}) {
  const fs::path folder = root / id;
  put(folder / "name", name);
  putRaw(folder, "accel", raw);
  put(folder / "in_accel_scale", "0.01");
  return folder;
}

inline void writeGyroscope(const fs::path& folder, std::array<int, 3> raw = {10, 10, 10}) {
  putRaw(folder, "anglvel", raw);
  put(folder / "in_anglvel_scale", "0.001");
}

// A channel of the device in `folder` as its scan elements list it.
inline void putScanElement(const fs::path& folder, const std::string& name, int enabled, int index,
                           const std::string& type) {
  const fs::path scan = folder / "scan_elements";
  put(scan / (name + "_en"), std::to_string(enabled));
  put(scan / (name + "_index"), std::to_string(index));
  put(scan / (name + "_type"), type);
}

// For the sources that read on a thread of their own and post each sample
// to the main thread, whose work the virtual-time scheduler runs.
class ThreadedSource : public ::testing::Test {
 protected:
  MotionHandler collect() {
    return [this](const auto& sample, const auto&) {
      EXPECT_EQ(std::this_thread::get_id(), mainThread_);
      samples_.push_back(*sample);
    };
  }
  // Runs posted work (unless `run` is false) until `done` holds; false when
  // two seconds pass first.
  bool pumpUntil(const std::function<bool()>& done, bool run = true) {
    for (const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);;) {
      if (run) scheduler_.runPending();
      if (done()) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::yield();
    }
  }

  VirtualScheduler scheduler_;
  MemoryLog log_;
  std::vector<DeviceMotion> samples_;
  std::thread::id mainThread_ = std::this_thread::get_id();
};

// A folder of the test's own, and files written into it.
class TempFiles : public ::testing::Test {
 protected:
  fs::path file(const std::string& name) const { return dir_.path() / name; }
  fs::path write(const std::string& name, const std::string& text) {
    std::ofstream(file(name), std::ios::binary) << text;
    return file(name);
  }
  testing::TempDir dir_;
};

}  // namespace hopster
