// The phone bridge end to end: the real program listens for HTTP pushes on
// loopback, a test plays the phone app posting a person jumping, and the
// saved record must hold what was sent and count what a two-level detector
// counts on the same motion.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <sstream>
#include <thread>
#include <utility>

#include <nlohmann/json.hpp>

#include "platform/linux/memory_log.h"
#include "records/record_store.h"
#include "support/child_program.h"
#include "support/http_client.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;
using testing::HttpTarget;
constexpr double kG = 9.80665;
constexpr double kRate = 50.0;         // readings a second
constexpr double kBatchSeconds = 0.2;  // the app's batch period
constexpr double kTag = 1000.0;        // rotation rate x of the jumping readings: 1000 + index

struct Quaternion {
  double w, x, y, z;
};

// The device's attitude: tilted 25 degrees about x, then turned 40 about z.
const Quaternion kAttitude = [] {
  const double a = 25.0 * M_PI / 360.0, b = 40.0 * M_PI / 360.0;
  const Quaternion tilt{std::cos(a), std::sin(a), 0, 0}, turn{std::cos(b), 0, 0, std::sin(b)};
  return Quaternion{turn.w * tilt.w - turn.z * tilt.z, turn.w * tilt.x - turn.z * tilt.y,
                    turn.w * tilt.y + turn.z * tilt.x, turn.w * tilt.z + turn.z * tilt.w};
}();

// World-frame vector into the device frame: turned by the attitude's inverse,
// v + 2w(u x v) + 2u x (u x v) with u the inverse's vector part.
std::array<double, 3> toDevice(const std::array<double, 3>& v) {
  const auto cross = [](const std::array<double, 3>& a, const std::array<double, 3>& b) {
    return std::array<double, 3>{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                                 a[0] * b[1] - a[1] * b[0]};
  };
  const std::array<double, 3> u{-kAttitude.x, -kAttitude.y, -kAttitude.z};
  const auto t = cross(u, v), ut = cross(u, t);
  std::array<double, 3> device{};
  for (int i = 0; i < 3; ++i) device[i] = v[i] + 2 * (kAttitude.w * t[i] + ut[i]);
  return device;
}

// A person skipping at two jumps a second: ground contact as a half-sine of
// +2.4 g for 0.15 s, then free flight at -1 g (vertical user acceleration).
double verticalAcceleration(double t) {
  const double phase = std::fmod(t, 0.5);
  return phase < 0.15 ? 2.4 * std::sin(M_PI * phase / 0.15) : -1.0;
}

enum class Sender { headphones, iosPhone, androidPhone };

using Json = nlohmann::ordered_json;

// Sets `prefix` followed by each of the three letters of `axes` to `v` times `scale`.
void setAxes(Json& reading, const std::string& prefix, const char* axes,
             const std::array<double, 3>& v, double scale = 1.0) {
  for (int i = 0; i < 3; ++i) reading[prefix + axes[i]] = v[i] * scale;
}

Json xyz(const char* name, std::int64_t timeNs, const std::array<double, 3>& v, double scale) {
  Json reading = {{"name", name}, {"time", timeNs}};
  setAxes(reading, "", "xyz", v, scale);
  return reading;
}

// The readings of one instant, as the phone app posts them.
Json readings(Sender sender, std::int64_t timeNs, double vertical, double tag) {
  const auto user = toDevice({0.0, 0.0, vertical});  // g
  const auto gravity = toDevice({0.0, 0.0, -1.0});   // g, pointing down
  const Quaternion q = kAttitude;
  const Json angles = {{"pitch", 0.1}, {"roll", 0.2}, {"yaw", 0.3}};
  if (sender == Sender::headphones) {
    // Fields under "values", as some versions of the app send them.
    Json values = {{"quaternionW", q.w}};
    setAxes(values, "quaternion", "XYZ", {q.x, q.y, q.z});
    setAxes(values, "acceleration", "XYZ", user);
    setAxes(values, "gravity", "XYZ", gravity, kG);
    setAxes(values, "rotationRate", "XYZ", {tag, 0.0, 0.0});
    values.update(angles);
    return Json::array({{{"name", "Headphone"}, {"time", timeNs}, {"values", values}}});
  }
  Json orientation = {{"name", "orientation"}, {"time", timeNs}, {"qw", q.w}};
  setAxes(orientation, "q", "xyz", {q.x, q.y, q.z});
  orientation.update(angles);
  const Json gyroscope = xyz("gyroscope", timeNs, {tag, 0.0, 0.0}, 1.0);
  if (sender == Sender::iosPhone) {
    return Json::array({xyz("gravity", timeNs, gravity, kG), orientation, gyroscope,
                        xyz("accelerometer", timeNs, user, kG)});
  }
  // Android's axes carry the opposite sign, and it adds gravity included.
  std::array<double, 3> total{};
  for (int i = 0; i < 3; ++i) total[i] = -(user[i] + gravity[i]);
  return Json::array({xyz("gravity", timeNs, gravity, -kG), orientation, gyroscope,
                      xyz("totalacceleration", timeNs, total, kG),
                      xyz("accelerometer", timeNs, user, -kG)});
}

std::int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Posts batches in real time: standing readings until `jumping` is set, then
// `count` jumping readings, each tagged with its index, then a last jump of
// two untagged readings (free flight, then landing) that tells the test, once
// the program counts it, that every reading before it has been played out.
struct Phone {
  Sender sender;
  HttpTarget target;
  std::atomic<bool> jumping{false};
  std::int64_t firstJumpNs = 0, lastJumpNs = 0;
  std::vector<double> jumpVerticals{};  // every vertical sent while jumping, the last jump's too
  int failedPosts = 0;

  void run(int count) {
    const auto step = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(1.0 / kRate));
    const int batchSize = static_cast<int>(kRate * kBatchSeconds);
    auto next = std::chrono::steady_clock::now();
    Json batch = Json::array();
    std::int64_t message = 0;
    for (int sent = 0, instant = 1; sent < count + 2; ++instant) {
      const std::int64_t t = nowNs();
      double vertical = 0.0, tag = 0.0;
      if (jumping) {
        if (sent == 0) firstJumpNs = t;
        if (sent < count) {
          lastJumpNs = t;
          vertical = verticalAcceleration((t - firstJumpNs) * 1e-9);
          tag = kTag + sent;
        } else {
          vertical = sent == count ? -1.0 : 2.4;
        }
        jumpVerticals.push_back(vertical);
        ++sent;
      }
      for (Json& reading : readings(sender, t, vertical, tag)) batch.push_back(std::move(reading));
      if (instant % batchSize == 0 || sent == count + 2) {
        const Json body = {{"messageId", message++},
                           {"sessionId", "session-1"},
                           {"deviceId", "phone-1"},
                           {"payload", std::exchange(batch, Json::array())}};
        if (testing::httpRequest(target, "POST", body.dump()) != 200) ++failedPosts;
      }
      std::this_thread::sleep_until(next += step);
    }
  }
};

// The two-level rule, counted independently on the motion that was sent.
std::int64_t countJumps(const std::vector<double>& verticals) {
  std::int64_t jumps = 0;
  bool armed = true;
  for (const double z : verticals) {
    jumps += armed && z > 0.7;  // a rise counts once, then disarms
    armed = z < 0.0 || (armed && z <= 0.7);
  }
  return jumps;
}

// The jumping readings in a record's CSV text, in file order: their index
// (from the rotation rate's tag) and their time.
std::vector<std::pair<int, double>> taggedRows(const std::string& text) {
  std::vector<std::pair<int, double>> tagged;
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);  // header
  while (std::getline(lines, line)) {
    std::vector<double> v;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, ',');) v.push_back(std::stod(field));
    if (v.size() == 16 && v[4] >= kTag) tagged.emplace_back(std::lround(v[4] - kTag), v[0]);
  }
  return tagged;
}

// Another client on the network, sending everything a server must survive
// while the phone streams: garbage, a wrong token, a body too large, a
// client that sends one byte a second, and a hundred connections at once.
// Bounded: it stops when `stop` is set, and the slow client after a few bytes.
void misbehave(HttpTarget target, const std::atomic<bool>& stop, std::vector<int>& statuses) {
  constexpr const char* kOther = "127.0.0.2";
  HttpTarget wrong = target;
  wrong.path = "/push/00000000000000000000000000000000";
  statuses.push_back(testing::httpRequest(target, "POST", "{\"payload\": [garbage", 5, kOther));
  statuses.push_back(testing::httpRequest(wrong, "POST", "{}", 5, kOther));
  statuses.push_back(testing::httpRequest(target, "GET", "", 5, kOther));
  statuses.push_back(testing::httpRequest(target, "POST", std::string(2 << 20, ' '), 5, kOther));
  std::vector<int> crowd;
  for (int i = 0; i < 100; ++i) crowd.push_back(testing::httpConnect(target, kOther));
  const int slow = testing::httpConnect(target, kOther);
  const std::string request = "POST " + target.path + " HTTP/1.1\r\nContent-Length: 100\r\n\r\n";
  for (std::size_t i = 0; i < 5 && !stop; ++i) {
    if (slow >= 0 && ::send(slow, &request[i], 1, MSG_NOSIGNAL) < 0) break;
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  crowd.push_back(slow);
  for (const int fd : crowd) {
    if (fd >= 0) ::close(fd);
  }
}

// One recording from one phone, checked whole.
void recordFromThePhone(const char* name, Sender sender, bool underAttack) {
  SCOPED_TRACE(name);
  testing::TempDir home;
  // Port 0: any free port; the printed URL names it.
  testing::ChildProgram hopster(HOPSTER_BINARY, home.path(),
                                {"--headless", "--motion", "phone:127.0.0.1:0"});
  const auto line = hopster.waitFor("^Send motion to: ");
  ASSERT_TRUE(line) << hopster.output();
  const auto target = HttpTarget::parse(line->substr(std::string("Send motion to: ").size()));
  ASSERT_TRUE(target) << *line;

  Phone phone{sender, *target};
  constexpr int kJumpingReadings = 150;  // three seconds
  std::thread poster([&] { phone.run(kJumpingReadings); });
  const bool started = hopster.waitFor("^Recording\\.", 30.0).has_value();
  phone.jumping = true;
  std::atomic<bool> stop{false};
  std::vector<int> statuses;
  std::thread attacker;
  if (underAttack) attacker = std::thread([&] { misbehave(*target, stop, statuses); });
  poster.join();
  stop = true;
  if (attacker.joinable()) attacker.join();
  if (underAttack) {
    // Garbage 400, wrong token and wrong method 404; too large is refused
    // (413, or the connection closed before the whole body was sent).
    ASSERT_EQ(statuses.size(), 4u);
    EXPECT_EQ(std::vector<int>(statuses.begin(), statuses.begin() + 3),
              (std::vector<int>{400, 404, 404}));
    EXPECT_TRUE(statuses[3] == 413 || statuses[3] == -1) << statuses[3];
  }
  ASSERT_TRUE(started) << hopster.output();
  // The last jump counted means every reading before it was played out.
  const std::int64_t expected = countJumps(phone.jumpVerticals);
  EXPECT_TRUE(hopster.waitFor("^Jumps: " + std::to_string(expected) + "$", 30.0))
      << hopster.output();
  EXPECT_EQ(hopster.stop(SIGTERM), 0) << hopster.output();
  EXPECT_EQ(phone.failedPosts, 0);

  MemoryLog log;
  const auto records =
      RecordStore(home.path() / "data/hopster/Documents", log).loadAllUserRecordData();
  ASSERT_EQ(records.size(), 1u) << hopster.output();
  EXPECT_EQ(records[0].jumps, expected);
  EXPECT_GE(records[0].jumps, 6);

  const auto tagged = taggedRows(records[0].csvText);
  ASSERT_GE(tagged.size(), kJumpingReadings * 99 / 100);
  EXPECT_TRUE(std::is_sorted(tagged.begin(), tagged.end())) << "delivered in time order";
  const double sent = (phone.lastJumpNs - phone.firstJumpNs) * 1e-9;
  EXPECT_NEAR(tagged.back().second - tagged.front().second, sent, 0.1 * sent)
      << "paced by its own time stamps";
}

// Each sender, and the headphones again with another client misbehaving,
// each to a program of its own: all at once, as they stream in real time.
TEST(PhoneBridge, ARecordingFromThePhoneHoldsWhatWasSentAndCountsItsJumps) {
  std::vector<std::thread> runs;
  runs.emplace_back(recordFromThePhone, "headphones", Sender::headphones, false);
  runs.emplace_back(recordFromThePhone, "iOS phone", Sender::iosPhone, false);
  runs.emplace_back(recordFromThePhone, "Android phone", Sender::androidPhone, false);
  runs.emplace_back(recordFromThePhone, "headphones under attack", Sender::headphones, true);
  for (std::thread& run : runs) run.join();
}

}  // namespace
}  // namespace hopster
