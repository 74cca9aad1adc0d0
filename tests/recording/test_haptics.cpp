#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/doubles/recording_haptic_device.h"
#include "platform/linux/memory_log.h"
#include "recording/jump_haptics.h"
#include "recording/trophy_card_haptics.h"

namespace hopster {
namespace {

using Lines = std::vector<std::string>;
using Parameters = std::vector<HapticEventParameter>;
constexpr auto kIntensity = HapticParameterId::intensity;
constexpr auto kSharpness = HapticParameterId::sharpness;

enum class Screen { jump, card };
enum class Action { prepare, tapUnprepared, tapPrepared };
using enum Screen;
using enum Action;
using enum HapticStep;

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

TEST(Haptics, AFailingCallLogsOneLineSkipsTheTapAndKeepsTheEngineAsDescribed) {
  struct Row {
    Screen screen;
    Action action;
    HapticStep failing;
    Lines lines;
    bool engineKept;  // a later tap plays on the same engine
  };
  const Row rows[] = {
      {jump, prepare, makeEngine, {"Haptic engine failed to start: x"}, false},
      {jump, prepare, startEngine, {"Haptic engine failed to start: x"}, true},
      {jump, tapUnprepared, makeEngine, {"Failed to create haptic engine: x"}, false},
      {jump, tapUnprepared, startEngine, {"Failed to create haptic engine: x"}, true},
      {jump, tapPrepared, makePattern, {"Failed to play haptic: x"}, true},
      {jump, tapPrepared, makePlayer, {"Failed to play haptic: x"}, true},
      {jump, tapPrepared, startPlayer, {"Failed to play haptic: x"}, true},
      {card, prepare, makeEngine, {"Preparing haptics", "Haptic engine creation error: x"}, false},
      {card, prepare, startEngine, {"Preparing haptics", "Haptic engine creation error: x"}, true},
      // The card plays through the same tap as the jump screen: one failing
      // step shows that it logs the failure its own way.
      {card, tapPrepared, makePattern, {"Failed to play haptic pattern: x"}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.lines.back() + " failing step " + std::to_string(int(row.failing)));
    Haptics haptics;
    if (row.action == tapPrepared) haptics.prepare(row.screen);
    haptics.log.clear();

    haptics.device.fail(row.failing, "x");
    row.action == prepare ? haptics.prepare(row.screen) : haptics.tap(row.screen);
    EXPECT_EQ(haptics.log.lines(), row.lines);
    EXPECT_TRUE(haptics.device.playersStarted().empty());

    haptics.device.succeed(row.failing);
    const auto enginesBefore = haptics.device.enginesMade().size();
    haptics.tap(row.screen);
    const bool playedOnKeptEngine = haptics.device.playersStarted().size() == 1 &&
                                    haptics.device.enginesMade().size() == enginesBefore;
    EXPECT_EQ(playedOnKeptEngine, row.engineKept);
  }
}

TEST(Haptics, TapsThatCannotPlayAreSkipped) {
  Haptics haptics;
  haptics.card.playTrophyHaptic();  // the card never makes an engine itself
  EXPECT_EQ(haptics.log.lines(), Lines{"Haptic engine not initialized"});
  EXPECT_TRUE(haptics.device.enginesMade().empty());

  haptics.log.clear();
  haptics.device.setSupportsHaptics(false);
  haptics.jump.prepareHaptics();
  haptics.jump.playHaptic(1.0F, 0.5F);
  haptics.card.prepareTrophyHaptics();
  haptics.card.playTrophyHaptic();
  EXPECT_EQ(haptics.log.lines(), (Lines{"Preparing haptics", "Haptic engine started",
                                        "Haptics not supported on this device"}));
  // Preparing does not ask about support: the engines are still made and started.
  EXPECT_EQ(haptics.device.enginesStarted().size(), 2U);
  EXPECT_TRUE(haptics.device.playersStarted().empty());
}

TEST(Haptics, TrophyTapIsSharpnessThenIntensityOnTheNewestEngine) {
  Haptics haptics;
  haptics.card.prepareTrophyHaptics();
  haptics.card.prepareTrophyHaptics();
  haptics.log.clear();
  haptics.card.playTrophyHaptic();
  EXPECT_EQ(haptics.log.lines(), Lines{"Haptic played successfully"});
  ASSERT_EQ(haptics.device.playersStarted().size(), 1U);
  const auto& tap = haptics.device.playersStarted()[0];
  EXPECT_EQ(tap.engine, haptics.device.enginesMade().back());
  EXPECT_EQ(tap.pattern.eventParameters, (Parameters{{kSharpness, 1.0F}, {kIntensity, 1.5F}}));
}

}  // namespace
}  // namespace hopster
