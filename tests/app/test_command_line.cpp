#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "app/command_line.h"
#include "app/data_commands.h"
#include "motion_sources/push_endpoint.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

TEST(CommandLine, ParsesOptionsAndRejectsMistakesWithAReason) {
  std::string error;
  auto line = parseCommandLine(
      {"--headless", "--fast", "--seconds", "60", "--rate", "100", "--seed", "7"}, error);
  ASSERT_TRUE(line) << error;
  EXPECT_TRUE(line->headless && line->fast);
  EXPECT_EQ(line->seconds, 60.0);
  EXPECT_EQ(line->simulation.sampleRate, 100.0);
  EXPECT_EQ(line->simulation.seed, 7u);
  EXPECT_EQ(line->motion.kind, MotionSourceKind::simulated);

  line = parseCommandLine({"--motion", "replay:/tmp/a:b.json", "--fast"}, error);
  ASSERT_TRUE(line) << error;
  EXPECT_EQ(line->motion.kind, MotionSourceKind::replay);
  EXPECT_EQ(line->motion.path, "/tmp/a:b.json");
  EXPECT_FALSE(line->seconds);

  // The largest values pass; a replay takes its own rate.
  line = parseCommandLine({"--rate", "1000", "--cadence", "10", "--seconds", "1000"}, error);
  ASSERT_TRUE(line) << error;
  EXPECT_EQ(line->simulation.sampleRate, 1000.0);
  EXPECT_EQ(line->simulation.cadence, 10.0);
  line = parseCommandLine({"--motion", "replay:a.csv", "--seconds", "604800"}, error);
  ASSERT_TRUE(line) << error;
  EXPECT_EQ(line->seconds, 604800.0);

  // The phone source: all interfaces on 8000, or a chosen address and port.
  struct Phone {
    const char* text;
    const char* address;
    std::uint16_t port;
  };
  for (const auto& phone :
       {Phone{"phone", "", 8000}, Phone{"phone:9000", "", 9000},
        Phone{"phone:127.0.0.1:0", "127.0.0.1", 0}, Phone{"phone:[::1]:8080", "::1", 8080}}) {
    line = parseCommandLine({"--motion", phone.text}, error);
    ASSERT_TRUE(line) << phone.text << ": " << error;
    EXPECT_EQ(line->motion.kind, MotionSourceKind::phone);
    EXPECT_EQ(line->motion.address, phone.address);
    EXPECT_EQ(line->motion.port, phone.port);
  }

  // The device's own sensors: iio[:DEVICE][@HZ], DEVICE a name or an id
  // (itself holding a colon), HZ after the last '@'.
  struct Iio {
    const char* text;
    const char* device;
    double rate;
  };
  for (const auto& iio :
       {Iio{"iio", "", 50}, Iio{"iio@100", "", 100}, Iio{"iio:mpu6050", "mpu6050", 50},
        Iio{"iio:iio:device0@100", "iio:device0", 100}, Iio{"iio:st_lsm6dsx@1", "st_lsm6dsx", 1},
        Iio{"iio:accel@3d@1000", "accel@3d", 1000}}) {
    line = parseCommandLine({"--motion", iio.text}, error);
    ASSERT_TRUE(line) << iio.text << ": " << error;
    EXPECT_EQ(line->motion.kind, MotionSourceKind::iio);
    EXPECT_EQ(line->motion.device, iio.device) << iio.text;
    EXPECT_EQ(line->motion.rate, iio.rate) << iio.text;
  }

  struct Bad {
    std::vector<std::string> args;
    const char* reason;
  };
  for (const auto& bad : std::vector<Bad>{
           {{"--seconds"}, "needs a value"},
           {{"--seconds", "-1"}, "positive number"},
           {{"--rate", "abc"}, "positive number"},
           {{"--cadence", "inf"}, "positive number"},
           {{"--rate", "1e9"}, "--rate takes at most 1000 "},
           {{"--rate", "1000.5"}, "at most 1000 samples"},
           {{"--cadence", "10.01"}, "--cadence takes at most 10 "},
           {{"--seconds", "604801"}, "at most 604800 seconds"},
           {{"--seconds", "1000.001", "--rate", "1000"}, "makes 1000001 simulated samples"},
           {{"--seconds", "604800"}, "604800 at --rate 25 makes 15120000"},
           {{"--seed", "1.5"}, "whole number"},
           {{"--motion", "bluetooth"}, "bluetooth"},
           {{"--motion", "stdin", "--fast"}, "live stream"},
           {{"--motion", "phone", "--fast"}, "live stream"},
           {{"--motion", "phone:65536"}, "from 0 to 65535"},
           {{"--motion", "phone:example.org:80"}, "not an IPv4 or IPv6 address"},
           {{"--motion", "phone:[::1]8080"}, "needs a port"},
           {{"--motion", "iio", "--fast"}, "live stream"},
           {{"--motion", "iio:", "--seconds", "5"}, "expected iio, iio@HZ"},
           {{"--motion", "iio:../x"}, "expected iio, iio@HZ"},
           {{"--motion", "iiox"}, "unknown motion source"},
           {{"--motion", "iio@0"}, "from 1 to 1000"},
           {{"--motion", "iio@1001"}, "from 1 to 1000"},
           {{"--motion", "iio:mpu@fast"}, "from 1 to 1000"},
           {{"--motion", "iio@"}, "from 1 to 1000"},
           {{"--motion", "iio@50.5"}, "from 1 to 1000"},
           {{"--fast"}, "needs --seconds"},
           {{"--colour"}, "unknown option"}}) {
    error.clear();
    EXPECT_FALSE(parseCommandLine(bad.args, error));
    EXPECT_NE(error.find(bad.reason), std::string::npos) << error;
  }
}

TEST(CommandLine, CancelRemindersIsASwitchOfItsOwnAndDocumented) {
  std::string error;
  const auto line = parseCommandLine({"--cancel-reminders"}, error);
  ASSERT_TRUE(line) << error;
  EXPECT_TRUE(line->cancelReminders);
  EXPECT_FALSE(line->deliverDueReminders || line->headless);
  EXPECT_FALSE(parseCommandLine({}, error)->cancelReminders);
  EXPECT_FALSE(parseCommandLine({"--cancel-reminders=yes"}, error));
  EXPECT_NE(usageText().find("\n  --cancel-reminders\n"), std::string::npos);
}

TEST(CommandLine, VersionAndTheDataCommandsAreKnownAndDocumented) {
  std::string error;
  const auto line = parseCommandLine({"--version"}, error);
  ASSERT_TRUE(line) << error;
  EXPECT_TRUE(line->version && !line->help && !line->headless);
  EXPECT_NE(usageText().find("\n  --version "), std::string::npos);
  for (const char* command : {"history", "export", "recount", "stats", "trophies"}) {
    EXPECT_TRUE(isDataCommand(command)) << command;
    EXPECT_NE(usageText().find(std::string("\n  ") + command + " "), std::string::npos) << command;
  }
  for (const char* other : {"--history", "History", "histories", "", "--headless"}) {
    EXPECT_FALSE(isDataCommand(other)) << other;
  }
}

// The push token is the phone bridge's only secret: whatever the file was
// before, it ends owner-only, and a link to it stays a link.
TEST(PushToken, IsKeptReadableByItsOwnerOnly) {
  const std::string valid = "0123456789abcdef0123456789abcdef";
  struct Case {
    const char* name;
    const char* content;  // nullptr: no file
    bool behindLink;
    bool keepsToken;
    bool logs;  // one line for a kept file that was readable by others
  };
  const Case cases[] = {
      {"no file", nullptr, false, false, false},
      {"a valid token readable by all", "0123456789abcdef0123456789abcdef\n", false, true, true},
      {"an empty file readable by all", "", false, false, false},
      {"a damaged file readable by all", "not a token", false, false, false},
      {"a link to an empty file readable by all", "", true, false, false},
  };
  for (const Case& c : cases) {
    testing::TempDir dir;
    const std::filesystem::path real = dir.path() / "real-token";
    const std::filesystem::path file = dir.path() / (c.behindLink ? "push-token" : "real-token");
    if (c.content) {
      std::ofstream(real) << c.content;
      ::chmod(real.c_str(), 0644);
    }
    if (c.behindLink) std::filesystem::create_symlink("real-token", file);
    MemoryLog log;
    std::string error;
    const auto token = loadOrCreatePushToken(file, log, error);
    ASSERT_TRUE(token) << c.name << ": " << error;
    EXPECT_EQ(*token == valid, c.keepsToken) << c.name;
    struct stat info {};
    ASSERT_EQ(::stat(real.c_str(), &info), 0) << c.name;
    EXPECT_EQ(info.st_mode & 0777, 0600u) << c.name;
    EXPECT_EQ(std::filesystem::is_symlink(file), c.behindLink) << c.name;
    EXPECT_EQ(log.lines().size(), c.logs ? 1u : 0u) << c.name;
    // The same token at the next start, with nothing more to say.
    log.clear();
    EXPECT_EQ(loadOrCreatePushToken(file, log, error), token) << c.name;
    EXPECT_TRUE(log.lines().empty()) << c.name;
  }
}

}  // namespace
}  // namespace hopster
