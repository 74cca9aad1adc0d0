#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "controller_fixture.h"

namespace hopster {
namespace {

using testing::ControllerFixture;
using ::testing::ElementsAre;
using testing::kEpoch;

// The taps played so far, as (intensity, sharpness).
std::vector<std::pair<float, float>> taps(const RecordingHapticDevice& device) {
  std::vector<std::pair<float, float>> played;
  for (const auto& player : device.playersStarted()) {
    played.emplace_back(player.pattern.value(HapticParameterId::intensity, -1),
                        player.pattern.value(HapticParameterId::sharpness, -1));
  }
  return played;
}

std::size_t filesIn(const std::filesystem::path& folder) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

TEST(RecordingController, StartsFromItsInitialStateAndChecksOnAppearance) {
  ControllerFixture f;
  const auto& c = *f.controller;
  EXPECT_EQ(c.jumpCount(), 0);
  EXPECT_EQ(c.totalJumps(), 0);
  EXPECT_EQ(c.countdown(), 3);
  EXPECT_FALSE(c.isStarting() || c.isRecording() || c.showTrophyAlert());
  EXPECT_TRUE(c.isAllowedToCount());
  EXPECT_EQ(c.startTime(), 0.0);
  // Appearing keeps the display on, prepares haptics and finds the headphones.
  EXPECT_TRUE(f.application.idleTimerDisabled);
  EXPECT_EQ(f.haptics.enginesMade().size(), 1u);
  EXPECT_TRUE(c.isHeadphonesConnected());
}

TEST(RecordingController, CountsDownThreeTwoOneAndBeginsFourSecondsAfterStart) {
  ControllerFixture f;
  auto& c = *f.controller;
  c.toggleRecording();
  EXPECT_TRUE(c.isStarting());
  EXPECT_EQ(taps(f.haptics).size(), 1u) << "start tap at once";

  struct Step {
    double at;
    std::vector<std::string> announced;
    std::int64_t countdown;
    std::size_t taps;
  };
  for (const Step& step : {Step{0.999, {}, 3, 1}, Step{1.0, {"3"}, 2, 2},
                           Step{2.0, {"3", "2"}, 1, 3}, Step{3.0, {"3", "2", "1"}, 0, 4}}) {
    f.scheduler.advanceBy(kEpoch + step.at - f.scheduler.now());
    EXPECT_EQ(f.announcer.announcements(), step.announced) << step.at;
    EXPECT_EQ(c.countdown(), step.countdown) << step.at;
    EXPECT_EQ(taps(f.haptics).size(), step.taps) << step.at;
    EXPECT_TRUE(c.isStarting() && !c.isRecording()) << step.at;
  }
  EXPECT_EQ(f.announcer.layoutChanges(), 3);
  f.scheduler.advanceBy(1.0);
  EXPECT_TRUE(c.isRecording());
  EXPECT_FALSE(c.isStarting());
  EXPECT_EQ(c.startTime(), kEpoch + 4.0);
  EXPECT_EQ(f.headphones->starts, 1);
  // The Stop button replaced the countdown: a fresh engine for the stop tap.
  EXPECT_EQ(f.haptics.enginesMade().size(), 2u);

  f.scheduler.advanceBy(2.5);
  EXPECT_EQ(formatElapsedTime(c.timeElapsed()), "00:02");
  c.toggleRecording();
  EXPECT_THAT(taps(f.haptics),
              ElementsAre(std::pair{0.8F, 0.7F}, std::pair{0.8F, 0.7F}, std::pair{0.8F, 0.7F},
                          std::pair{0.8F, 0.7F}, std::pair{1.0F, 0.5F}));
  EXPECT_EQ(f.haptics.playersStarted().back().engine, f.haptics.enginesMade().back());
}

TEST(RecordingController, StartRefusesWithoutHeadphonesOrMotionAccess) {
  struct Case {
    const char* name;
    std::optional<std::vector<AudioPort>> inputs;
    MotionAuthorizationStatus status;
    bool headphoneAlert, motionAlert;
  };
  const auto port = [](std::string_view type) { return AudioPort{std::string(type), "x"}; };
  const std::vector<Case> cases = {
      {"no input list", std::nullopt, MotionAuthorizationStatus::authorized, true, false},
      {"built-in and wired only", std::vector{port(kPortBuiltInMic), port(kPortHeadsetMic)},
       MotionAuthorizationStatus::authorized, true, false},
      {"A2DP after a wired headset", std::vector{port(kPortHeadsetMic), port(kPortBluetoothA2DP)},
       MotionAuthorizationStatus::notDetermined, false, true},
      {"restricted", std::vector{port(kPortBluetoothHFP)}, MotionAuthorizationStatus::restricted,
       false, true},
      {"denied", std::vector{port(kPortBluetoothHFP)}, MotionAuthorizationStatus::denied, false,
       true},
  };
  for (const Case& c : cases) {
    ControllerFixture f;
    f.audio.setInputs(c.inputs);
    f.headphones->status = c.status;
    f.haptics = RecordingHapticDevice();
    f.controller->toggleRecording();
    f.scheduler.advanceBy(5.0);
    EXPECT_EQ(f.controller->showHeadphoneAlert(), c.headphoneAlert) << c.name;
    EXPECT_EQ(f.controller->showAlertMotionAccess(), c.motionAlert) << c.name;
    EXPECT_FALSE(f.controller->isStarting() || f.controller->isRecording()) << c.name;
    EXPECT_TRUE(f.haptics.playersStarted().empty()) << c.name << ": no haptic";
    if (c.headphoneAlert) {
      EXPECT_EQ(f.headphones->authorizationQueries, 0) << c.name;
    } else {
      EXPECT_EQ(f.log.lines().back(), "no access") << c.name;
    }
  }
}

TEST(RecordingController, AFailedAudioSetUpKeepsTheLastAnswer) {
  ControllerFixture f;
  f.audio.setCategoryError("route busy");
  f.audio.setInputs(std::nullopt);
  f.controller->checkHeadphonesConnection();
  EXPECT_EQ(f.log.lines().back(), "Failed to set audio session category: route busy");
  EXPECT_TRUE(f.controller->isHeadphonesConnected()) << "the earlier check found headphones";
}

TEST(RecordingController, ACancelledCountdownResetsAtTheNextTickAndNeverRecords) {
  ControllerFixture f;
  auto& c = *f.controller;
  c.toggleRecording();
  f.scheduler.advanceBy(1.5);
  c.cancelCountdown();
  EXPECT_FALSE(c.isStarting());
  EXPECT_EQ(c.countdown(), 2) << "reset only at the next tick";
  f.scheduler.advanceBy(0.5);
  EXPECT_EQ(c.countdown(), 3);
  f.scheduler.advanceBy(10.0);
  EXPECT_FALSE(c.isRecording());
  EXPECT_EQ(f.headphones->starts, 0);
  EXPECT_EQ(f.announcer.announcements(), std::vector<std::string>{"3"});
}

TEST(RecordingController, ANewStartStopsTheStaleCountdownTimer) {
  ControllerFixture f;
  auto& c = *f.controller;
  c.toggleRecording();
  f.scheduler.advanceBy(1.2);  // "3" announced
  c.cancelCountdown();
  f.scheduler.advanceBy(0.3);
  c.toggleRecording();  // the old timer would tick again at 2.0
  f.scheduler.advanceBy(0.6);
  EXPECT_EQ(c.countdown(), 3) << "no tick from the old timer";
  f.scheduler.advanceBy(0.4);
  EXPECT_EQ(c.countdown(), 2);
  f.scheduler.advanceBy(3.0);
  EXPECT_TRUE(c.isRecording());
  EXPECT_EQ(c.startTime(), kEpoch + 1.5 + 4.0);
}

TEST(RecordingController, StopWithoutJumpsSavesNothing) {
  ControllerFixture f;
  auto& c = *f.controller;
  f.startRecording();
  f.headphones->deliver(0.3);
  f.scheduler.advanceBy(3.0);
  c.toggleRecording();
  EXPECT_EQ(filesIn(f.documents.path()), 0u);
  EXPECT_EQ(c.totalJumps(), 0);
  EXPECT_TRUE(c.accelerationData().empty());
  EXPECT_EQ(formatElapsedTime(c.timeElapsed()), "00:00");
  EXPECT_FALSE(f.headphones->isDeviceMotionActive());
  f.scheduler.advanceBy(10.0);
  EXPECT_TRUE(f.review.requests.empty());
  EXPECT_FALSE(c.showTrophyAlert());
}

TEST(RecordingController, StopSavesTheRecordGrowsTheTotalAndAsksForAReviewAfterTen) {
  for (const int jumps : {10, 11}) {
    ControllerFixture f;
    auto& c = *f.controller;
    f.startRecording();
    f.headphones->jump(jumps);
    f.scheduler.advanceBy(7.0);
    const double stopAt = f.scheduler.now();
    c.toggleRecording();

    EXPECT_EQ(c.jumpCount(), 0);
    EXPECT_EQ(c.totalJumps(), jumps);
    EXPECT_EQ(f.settingsStore.integer("totalJumps"), jumps);
    const auto saved = f.records.loadAllUserRecordData();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].jumps, jumps);
    EXPECT_EQ(saved[0].dateStart, kEpoch + 4.0);
    EXPECT_EQ(saved[0].dateEnd, stopAt);
    EXPECT_EQ(saved[0].timeSpent, saved[0].dateEnd - saved[0].dateStart);
    EXPECT_FALSE(saved[0].unlockedTrophy) << "the record never carries the trophy";
    EXPECT_EQ(std::count(saved[0].csvText.begin(), saved[0].csvText.end(), '\n'), 2 * jumps + 1);
    EXPECT_TRUE(std::filesystem::exists(f.documents.path() / "1764942770.0.json"));

    // "First 10 Times" is unlocked and shown, then hidden 4 s later.
    EXPECT_TRUE(c.showTrophyAlert());
    ASSERT_TRUE(c.unlockedTrophy());
    EXPECT_EQ(c.unlockedTrophy()->id, "trophy-first-10");
    f.scheduler.advanceBy(3.999);
    EXPECT_TRUE(c.showTrophyAlert());
    EXPECT_EQ(f.review.requests,
              jumps > 10 ? std::vector<double>{stopAt + 3.0} : std::vector<double>{});
    f.scheduler.advanceBy(0.001);
    EXPECT_FALSE(c.showTrophyAlert());
  }
}

TEST(RecordingController, ShowsTheLastOfSeveralTrophiesAndTheTotalSurvivesARestart) {
  auto settings = std::make_shared<MemoryKeyValueStorage::State>();
  {
    ControllerFixture f(nullptr, settings);
    f.startRecording();
    f.headphones->jump(800);
    f.scheduler.advanceBy(290.0);
    f.controller->toggleRecording();
    ASSERT_TRUE(f.controller->unlockedTrophy());
    EXPECT_EQ(f.controller->unlockedTrophy()->title, "Cheetah Jumper!");
    std::vector<std::string> unlocked;
    for (const auto& t : f.trophies.trophies()) {
      if (t.isUnlocked) unlocked.push_back(t.id);
    }
    EXPECT_THAT(unlocked, ElementsAre("trophy-first-10", "10-min-jumps", "750-under-5min",
                                      "60-1min", "100-1min", "160-1min"));
  }
  ControllerFixture restarted(nullptr, settings);
  EXPECT_EQ(restarted.controller->totalJumps(), 800);
  restarted.startRecording();
  restarted.headphones->jump(200);
  restarted.controller->toggleRecording();
  EXPECT_EQ(restarted.controller->totalJumps(), 1000);
  EXPECT_EQ(restarted.controller->unlockedTrophy()->id, "trophy-1000-times");
}

TEST(RecordingController, RecordsWithoutSamplesWhenMotionIsUnavailable) {
  ControllerFixture f;
  f.headphones->available = false;
  f.startRecording();
  EXPECT_EQ(f.log.lines().back(), "Device motion is not available");
  EXPECT_TRUE(f.controller->isRecording());
  EXPECT_FALSE(f.headphones->deliver(1.5));
  f.scheduler.advanceBy(65.0);
  EXPECT_EQ(formatElapsedTime(f.controller->timeElapsed()), "01:05");
  f.controller->toggleRecording();
  EXPECT_EQ(filesIn(f.documents.path()), 0u);
}

TEST(RecordingController, ADisarmedDetectorCarriesIntoTheNextRecording) {
  ControllerFixture f;
  f.startRecording();
  f.headphones->deliver(1.5);  // counted, and no fall below zero follows
  f.controller->toggleRecording();
  f.startRecording();
  f.headphones->deliver(1.5);
  EXPECT_EQ(f.controller->jumpCount(), 0);
  f.headphones->deliver(-0.2);
  f.headphones->deliver(1.5);
  EXPECT_EQ(f.controller->jumpCount(), 1);
}

TEST(RecordingController, HeldTotalsNeverOverflow) {
  auto settings = std::make_shared<MemoryKeyValueStorage::State>();
  settings->document = R"({"totalJumps": 9223372036854775806})";
  ControllerFixture f(nullptr, settings);
  f.startRecording();
  f.headphones->jump(5);
  f.controller->toggleRecording();
  EXPECT_EQ(f.controller->totalJumps(), std::numeric_limits<std::int64_t>::max());
}

TEST(RecordingController, ReviewGoesToTheFirstActiveSceneOnlyIfItIsAWindow) {
  struct Case {
    std::vector<ConnectedScene> scenes;
    std::size_t requests;
  };
  for (const Case& c : std::vector<Case>{
           {{}, 0}, {{{1, true}, {0, true}}, 1}, {{{0, false}, {0, true}}, 0}, {{{2, true}}, 0}}) {
    ControllerFixture f;
    f.application.scenes = c.scenes;
    f.startRecording();
    f.headphones->jump(11);
    f.controller->toggleRecording();
    f.scheduler.advanceBy(3.0);
    EXPECT_EQ(f.review.requests.size(), c.requests);
  }
}

TEST(RecordingController, OpensTheSettingsPageAndLogsTheOutcome) {
  ControllerFixture f;
  f.controller->openSettings();
  ASSERT_EQ(f.application.openedAddresses.size(), 1u);
  f.application.pendingCompletion(false);
  EXPECT_EQ(f.log.lines().back(), "Settings opened: false");

  f.application.openable = false;
  f.controller->openSettings();
  f.application.address.reset();
  f.controller->openSettings();
  EXPECT_EQ(f.application.openedAddresses.size(), 1u);
}

TEST(FormatElapsedTime, WritesMinutesAndSeconds) {
  const std::vector<std::pair<double, std::string>> cases = {
      {0, "00:00"},      {65, "01:05"}, {3599, "59:59"},        {6000, "100:00"},
      {59.999, "00:59"}, {-5, "00:-5"}, {std::nan(""), "00:00"}};
  for (const auto& [seconds, text] : cases) EXPECT_EQ(formatElapsedTime(seconds), text) << seconds;
}

}  // namespace
}  // namespace hopster
