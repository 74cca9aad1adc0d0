#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <tuple>

#include "app/command_line.h"
#include "commands/data_commands.h"
#include "motion_sources/push_endpoint.h"
#include "platform/linux/memory_log.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

// What `args` parse to; a refusal fails the test.
CommandLine parsed(const std::vector<std::string>& args) {
  const auto line = parseCommandLine(args);
  EXPECT_TRUE(line) << ::testing::PrintToString(args) << ": " << line.error().message;
  return line ? *line : CommandLine{};
}

TEST(CommandLine, ParsesOptionsAndRejectsMistakesWithAReason) {
  auto line = parsed({"--headless", "--fast", "--seconds", "60", "--rate", "100", "--seed", "7"});
  EXPECT_TRUE(line.headless && line.fast);
  EXPECT_EQ(line.seconds, 60.0);
  EXPECT_EQ(line.simulation.sampleRate, 100.0);
  EXPECT_EQ(line.simulation.seed, 7u);
  EXPECT_EQ(line.motion.kind, MotionSourceKind::simulated);

  line = parsed({"--motion", "replay:/tmp/a:b.json", "--fast"});
  EXPECT_EQ(line.motion.kind, MotionSourceKind::replay);
  EXPECT_EQ(line.motion.path, "/tmp/a:b.json");
  EXPECT_FALSE(line.seconds);

  // The largest values pass; a replay takes its own rate.
  line = parsed({"--rate", "1000", "--cadence", "10", "--seconds", "1000"});
  EXPECT_EQ(line.simulation.sampleRate, 1000.0);
  EXPECT_EQ(line.simulation.cadence, 10.0);
  line = parsed({"--motion", "replay:a.csv", "--seconds", "604800"});
  EXPECT_EQ(line.seconds, 604800.0);

  // The phone source: all interfaces on 8000, or a chosen address and port.
  for (const auto& [text, address, port] : {std::tuple{"phone", "", 8000},
                                            {"phone:9000", "", 9000},
                                            {"phone:127.0.0.1:0", "127.0.0.1", 0},
                                            {"phone:[::1]:8080", "::1", 8080}}) {
    line = parsed({"--motion", text});
    EXPECT_EQ(line.motion.kind, MotionSourceKind::phone);
    EXPECT_EQ(line.motion.address, address);
    EXPECT_EQ(line.motion.port, port);
  }

  // The device's own sensors: iio[:DEVICE][@HZ], DEVICE a name or an id
  // (itself holding a colon), HZ after the last '@'.
  for (const auto& [text, device, rate] : {std::tuple{"iio", "", 50.0},
                                           {"iio@100", "", 100.0},
                                           {"iio:mpu6050", "mpu6050", 50.0},
                                           {"iio:iio:device0@100", "iio:device0", 100.0},
                                           {"iio:st_lsm6dsx@1", "st_lsm6dsx", 1.0},
                                           {"iio:accel@3d@1000", "accel@3d", 1000.0}}) {
    line = parsed({"--motion", text});
    EXPECT_EQ(line.motion.kind, MotionSourceKind::iio);
    EXPECT_EQ(line.motion.device, device) << text;
    EXPECT_EQ(line.motion.rate, rate) << text;
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
    const auto refused = parseCommandLine(bad.args);
    ASSERT_FALSE(refused) << ::testing::PrintToString(bad.args);
    EXPECT_NE(refused.error().message.find(bad.reason), std::string::npos)
        << refused.error().message;
  }
}

TEST(CommandLine, SwitchesOfTheirOwnAndTheDataCommandsAreKnownAndDocumented) {
  auto line = parsed({"--cancel-reminders"});
  EXPECT_TRUE(line.cancelReminders);
  EXPECT_FALSE(line.deliverDueReminders || line.headless || line.version);
  EXPECT_FALSE(parsed({}).cancelReminders);
  EXPECT_FALSE(parseCommandLine({"--cancel-reminders=yes"}));
  line = parsed({"--version"});
  EXPECT_TRUE(line.version && !line.help && !line.headless && !line.cancelReminders);
  for (const char* option : {"\n  --cancel-reminders\n", "\n  --version "}) {
    EXPECT_NE(usageText().find(option), std::string::npos) << option;
  }
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
    const auto token = loadOrCreatePushToken(file, log);
    ASSERT_TRUE(token) << c.name << ": " << token.error().message;
    EXPECT_EQ(*token == valid, c.keepsToken) << c.name;
    struct stat info {};
    ASSERT_EQ(::stat(real.c_str(), &info), 0) << c.name;
    EXPECT_EQ(info.st_mode & 0777, 0600u) << c.name;
    EXPECT_EQ(std::filesystem::is_symlink(file), c.behindLink) << c.name;
    EXPECT_EQ(log.lines().size(), c.logs ? 1u : 0u) << c.name;
    // The same token at the next start, with nothing more to say.
    log.clear();
    EXPECT_EQ(*loadOrCreatePushToken(file, log), *token) << c.name;
    EXPECT_TRUE(log.lines().empty()) << c.name;
  }
}

}  // namespace
}  // namespace hopster
