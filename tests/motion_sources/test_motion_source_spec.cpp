#include <gtest/gtest.h>

#include <string>

#include "motion_sources/motion_source_factory.h"
#include "motion_sources/replay_motion_service.h"
#include "motion_sources/stream_motion_service.h"
#include "platform/virtual_scheduler.h"

namespace hopster {
namespace {

TEST(ParseMotionSource, ReadsEveryForm) {
  struct Case {
    const char* text;
    MotionSourceSpec spec;
  };
  for (const Case& c : {
           Case{"sim", {MotionSourceKind::simulated, ""}},
           Case{"stdin", {MotionSourceKind::standardInput, ""}},
           Case{"replay:run.csv", {MotionSourceKind::replay, "run.csv"}},
           Case{"replay:/data/1764942759.5.json",
                {MotionSourceKind::replay, "/data/1764942759.5.json"}},
           Case{"replay:C:odd:name", {MotionSourceKind::replay, "C:odd:name"}},
           Case{"fifo:/tmp/motion", {MotionSourceKind::namedPipe, "/tmp/motion"}},
       }) {
    std::string error;
    const auto spec = parseMotionSource(c.text, error);
    ASSERT_TRUE(spec.has_value()) << c.text << ": " << error;
    EXPECT_EQ(*spec, c.spec) << c.text;
  }
}

TEST(ParseMotionSource, RefusesOtherTextWithAnExplanation) {
  for (const char* text :
       {"", "SIM", "sim:", "stdin:/tmp/x", "replay", "replay:", "fifo:", "file:x", " sim"}) {
    std::string error;
    EXPECT_FALSE(parseMotionSource(text, error).has_value()) << text;
    EXPECT_FALSE(error.empty()) << text;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
}

TEST(MakeMotionSource, BuildsTheNamedSource) {
  VirtualScheduler scheduler;
  MemoryLog log;
  JumpSimulation simulation;
  simulation.seed = 3;
  const auto build = [&](const MotionSourceSpec& spec) {
    return makeMotionSource(spec, scheduler, log, simulation);
  };
  EXPECT_NE(dynamic_cast<SimulatedHeadphones*>(build({MotionSourceKind::simulated, ""}).get()),
            nullptr);
  EXPECT_TRUE(log.lines().empty());
  EXPECT_NE(dynamic_cast<StreamMotionService*>(build({MotionSourceKind::standardInput, ""}).get()),
            nullptr);

  const auto replay = build({MotionSourceKind::replay, "/nonexistent/run.csv"});
  EXPECT_NE(dynamic_cast<ReplayMotionService*>(replay.get()), nullptr);
  EXPECT_FALSE(replay->isDeviceMotionAvailable());
  const auto pipe = build({MotionSourceKind::namedPipe, "/nonexistent/motion"});
  EXPECT_NE(dynamic_cast<StreamMotionService*>(pipe.get()), nullptr);
  EXPECT_FALSE(pipe->isDeviceMotionAvailable());
  ASSERT_GE(log.lines().size(), 2u);  // standard input may be closed where tests run
  EXPECT_NE(log.lines().end()[-2].find("/nonexistent/run.csv"), std::string::npos);
  EXPECT_NE(log.lines().end()[-1].find("/nonexistent/motion"), std::string::npos);
}

}  // namespace
}  // namespace hopster
