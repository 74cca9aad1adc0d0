#include <gtest/gtest.h>

#include "app/command_line.h"

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

  struct Bad {
    std::vector<std::string> args;
    const char* reason;
  };
  for (const auto& bad : std::vector<Bad>{{{"--seconds"}, "needs a value"},
                                          {{"--seconds", "-1"}, "positive number"},
                                          {{"--rate", "abc"}, "positive number"},
                                          {{"--cadence", "inf"}, "positive number"},
                                          {{"--seed", "1.5"}, "whole number"},
                                          {{"--motion", "bluetooth"}, "bluetooth"},
                                          {{"--motion", "stdin", "--fast"}, "live stream"},
                                          {{"--fast"}, "needs --seconds"},
                                          {{"--colour"}, "unknown option"}}) {
    error.clear();
    EXPECT_FALSE(parseCommandLine(bad.args, error));
    EXPECT_NE(error.find(bad.reason), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace hopster
