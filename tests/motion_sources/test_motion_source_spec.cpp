#include <gtest/gtest.h>

#include <string>

#include "motion_sources/motion_source_factory.h"
#include "motion_sources/replay_motion_service.h"
#include "motion_sources/stream_motion_service.h"
#include "platform/virtual_scheduler.h"

namespace hopster {
namespace {

TEST(ParseMotionSource, ReadsEveryFormAndRefusesOtherText) {
  using enum MotionSourceKind;
  for (const auto& [text, expected] : {std::pair{"sim", MotionSourceSpec{simulated, ""}},
                                       {"stdin", {standardInput, ""}},
                                       {"replay:run.csv", {replay, "run.csv"}},
                                       {"replay:/a/b:c.json", {replay, "/a/b:c.json"}},
                                       {"fifo:/tmp/motion", {namedPipe, "/tmp/motion"}}}) {
    std::string error;
    EXPECT_EQ(parseMotionSource(text, error), expected) << text << ": " << error;
  }
  for (const char* text :
       {"", "SIM", " sim", "sim:", "stdin:/x", "replay", "replay:", "fifo:", "file:x"}) {
    std::string error;
    EXPECT_FALSE(parseMotionSource(text, error).has_value()) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

TEST(MakeMotionSource, BuildsTheNamedSource) {
  VirtualScheduler scheduler;
  MemoryLog log;
  const auto build = [&](MotionSourceKind kind, const char* path) {
    return makeMotionSource({kind, path}, scheduler, log, JumpSimulation{});
  };
  const auto simulated = build(MotionSourceKind::simulated, "");
  EXPECT_NE(dynamic_cast<SimulatedHeadphones*>(simulated.get()), nullptr);
  EXPECT_TRUE(simulated->isDeviceMotionAvailable());
  EXPECT_TRUE(log.lines().empty());

  const auto replay = build(MotionSourceKind::replay, "/nonexistent/run.csv");
  const auto fifo = build(MotionSourceKind::namedPipe, "/nonexistent/motion");
  const auto input = build(MotionSourceKind::standardInput, "");
  EXPECT_NE(dynamic_cast<ReplayMotionService*>(replay.get()), nullptr);
  EXPECT_NE(dynamic_cast<StreamMotionService*>(fifo.get()), nullptr);
  EXPECT_NE(dynamic_cast<StreamMotionService*>(input.get()), nullptr);
  EXPECT_FALSE(replay->isDeviceMotionAvailable());
  EXPECT_FALSE(fifo->isDeviceMotionAvailable());
  ASSERT_GE(log.lines().size(), 2u);
  EXPECT_NE(log.lines()[0].find("/nonexistent/run.csv"), std::string::npos);
  EXPECT_NE(log.lines()[1].find("/nonexistent/motion"), std::string::npos);
}

}  // namespace
}  // namespace hopster
