#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/log.h"
#include "platform/recording_haptic_device.h"
#include "recording/jump_haptics.h"
#include "recording/trophy_card_haptics.h"

namespace hopster {
namespace {

using Lines = std::vector<std::string>;
using Parameters = std::vector<HapticEventParameter>;

constexpr auto kIntensity = HapticParameterId::intensity;
constexpr auto kSharpness = HapticParameterId::sharpness;

enum class Screen { jump, trophyCard };
enum class Action { prepare, tapUnprepared, tapPrepared };

// Both screens' haptics on one device, driven through the same two verbs.
struct Haptics {
  RecordingHapticDevice device;
  MemoryLog log;
  JumpHaptics jump{device, log};
  TrophyCardHaptics card{device, log};

  void prepare(Screen screen) {
    screen == Screen::jump ? jump.prepareHaptics() : card.prepareTrophyHaptics();
  }
  void tap(Screen screen) {
    screen == Screen::jump ? jump.playHaptic(0.8F, 0.7F) : card.playTrophyHaptic();
  }
};

struct FailureRow {
  const char* name;
  Screen screen;
  Action action;
  HapticStep failing;
  Lines lines;
  bool engineKept;  // a later tap plays on the same engine
};

const FailureRow kFailures[] = {
    {"JumpPrepareMake",
     Screen::jump,
     Action::prepare,
     HapticStep::makeEngine,
     {"Haptic engine failed to start: boom"},
     false},
    {"JumpPrepareStart",
     Screen::jump,
     Action::prepare,
     HapticStep::startEngine,
     {"Haptic engine failed to start: boom"},
     true},
    {"JumpTapMake",
     Screen::jump,
     Action::tapUnprepared,
     HapticStep::makeEngine,
     {"Failed to create haptic engine: boom"},
     false},
    {"JumpTapStart",
     Screen::jump,
     Action::tapUnprepared,
     HapticStep::startEngine,
     {"Failed to create haptic engine: boom"},
     true},
    {"JumpPattern",
     Screen::jump,
     Action::tapPrepared,
     HapticStep::makePattern,
     {"Failed to play haptic: boom"},
     true},
    {"JumpPlayer",
     Screen::jump,
     Action::tapPrepared,
     HapticStep::makePlayer,
     {"Failed to play haptic: boom"},
     true},
    {"JumpPlayerStart",
     Screen::jump,
     Action::tapPrepared,
     HapticStep::startPlayer,
     {"Failed to play haptic: boom"},
     true},
    {"CardPrepareMake",
     Screen::trophyCard,
     Action::prepare,
     HapticStep::makeEngine,
     {"Preparing haptics", "Haptic engine creation error: boom"},
     false},
    {"CardPrepareStart",
     Screen::trophyCard,
     Action::prepare,
     HapticStep::startEngine,
     {"Preparing haptics", "Haptic engine creation error: boom"},
     true},
    {"CardPattern",
     Screen::trophyCard,
     Action::tapPrepared,
     HapticStep::makePattern,
     {"Failed to play haptic pattern: boom"},
     true},
    {"CardPlayer",
     Screen::trophyCard,
     Action::tapPrepared,
     HapticStep::makePlayer,
     {"Failed to play haptic pattern: boom"},
     true},
    {"CardPlayerStart",
     Screen::trophyCard,
     Action::tapPrepared,
     HapticStep::startPlayer,
     {"Failed to play haptic pattern: boom"},
     true},
};

class HapticFailure : public ::testing::TestWithParam<FailureRow> {};

TEST_P(HapticFailure, LogsOneLineSkipsTheTapAndKeepsTheEngineAsDescribed) {
  const auto& row = GetParam();
  Haptics haptics;
  if (row.action == Action::tapPrepared) haptics.prepare(row.screen);
  haptics.log.clear();

  haptics.device.fail(row.failing, "boom");
  row.action == Action::prepare ? haptics.prepare(row.screen) : haptics.tap(row.screen);
  EXPECT_EQ(haptics.log.lines(), row.lines);
  EXPECT_TRUE(haptics.device.playersStarted().empty());

  haptics.device.succeed(row.failing);
  const auto enginesBefore = haptics.device.enginesMade().size();
  haptics.tap(row.screen);
  const bool playedOnKeptEngine = haptics.device.playersStarted().size() == 1 &&
                                  haptics.device.enginesMade().size() == enginesBefore;
  EXPECT_EQ(playedOnKeptEngine, row.engineKept);
}

INSTANTIATE_TEST_SUITE_P(EveryFailingCall, HapticFailure, ::testing::ValuesIn(kFailures),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(Haptics, WithoutHapticsSupportTheJumpScreenIsSilentAndTheCardSaysSo) {
  Haptics haptics;
  haptics.device.setSupportsHaptics(false);
  haptics.jump.prepareHaptics();
  haptics.jump.playHaptic(1.0F, 0.5F);
  EXPECT_TRUE(haptics.log.lines().empty());
  // Preparing does not ask about support: the engine is still made and started.
  EXPECT_EQ(haptics.device.enginesStarted().size(), 1U);

  haptics.card.prepareTrophyHaptics();
  haptics.card.playTrophyHaptic();
  EXPECT_EQ(haptics.log.lines(), (Lines{"Preparing haptics", "Haptic engine started",
                                        "Haptics not supported on this device"}));
  EXPECT_TRUE(haptics.device.playersStarted().empty());
}

TEST(Haptics, TrophyTapBeforePreparingPlaysNothing) {
  Haptics haptics;
  haptics.card.playTrophyHaptic();
  EXPECT_EQ(haptics.log.lines(), (Lines{"Haptic engine not initialized"}));
  EXPECT_TRUE(haptics.device.enginesMade().empty());
  EXPECT_TRUE(haptics.device.playersStarted().empty());
}

TEST(Haptics, JumpScreenMakesItsEngineOnTheFirstTapThatNeedsOne) {
  Haptics haptics;
  haptics.jump.playHaptic(0.8F, 0.7F);
  haptics.jump.playHaptic(0.8F, 0.7F);
  ASSERT_EQ(haptics.device.enginesMade().size(), 1U);
  EXPECT_EQ(haptics.device.enginesStarted(), haptics.device.enginesMade());
  ASSERT_EQ(haptics.device.playersStarted().size(), 2U);
  EXPECT_EQ(haptics.device.playersStarted()[1].engine, haptics.device.enginesMade()[0]);
  EXPECT_TRUE(haptics.log.lines().empty());
}

TEST(Haptics, StartToStopCyclePlaysFiveTapsAndStopsOnTheEngineMadeAfterTheCountdown) {
  Haptics haptics;
  haptics.jump.prepareHaptics();          // the screen is shown
  haptics.jump.playHaptic(0.8F, 0.7F);    // start
  for (int step = 0; step < 3; ++step) {  // countdown 3, 2, 1
    haptics.jump.playHaptic(0.8F, 0.7F);
  }
  haptics.jump.prepareHaptics();        // the countdown ends
  haptics.jump.playHaptic(1.0F, 0.5F);  // stop

  const auto& engines = haptics.device.enginesMade();
  ASSERT_EQ(engines.size(), 2U);
  const auto& taps = haptics.device.playersStarted();
  ASSERT_EQ(taps.size(), 5U);
  const Parameters countdown{{kIntensity, 0.8F}, {kSharpness, 0.7F}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(taps[i].engine, engines[0]);
    EXPECT_EQ(taps[i].pattern.eventParameters, countdown);
    EXPECT_EQ(taps[i].pattern.relativeTime, 0.0);
  }
  EXPECT_EQ(taps[4].engine, engines[1]);
  EXPECT_EQ(taps[4].pattern.eventParameters, (Parameters{{kIntensity, 1.0F}, {kSharpness, 0.5F}}));
  EXPECT_TRUE(haptics.log.lines().empty());
}

TEST(Haptics, TrophyTapIsSharpnessThenIntensityOnTheNewestEngine) {
  Haptics haptics;
  haptics.card.prepareTrophyHaptics();
  haptics.card.prepareTrophyHaptics();
  haptics.log.clear();
  haptics.card.playTrophyHaptic();

  EXPECT_EQ(haptics.log.lines(), (Lines{"Haptic played successfully"}));
  ASSERT_EQ(haptics.device.playersStarted().size(), 1U);
  const auto& tap = haptics.device.playersStarted()[0];
  EXPECT_EQ(tap.engine, haptics.device.enginesMade().back());
  EXPECT_EQ(tap.pattern.eventParameters, (Parameters{{kSharpness, 1.0F}, {kIntensity, 1.5F}}));
}

}  // namespace
}  // namespace hopster
