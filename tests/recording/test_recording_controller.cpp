#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "controller_fixture.h"
#include "platform/failure.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;
using testing::ControllerFixture;
using testing::kEpoch;

TEST(RecordingController, AppearsThenCountsDownAndRecordsFourSecondsAfterStart) {
  ControllerFixture f;
  auto& c = *f.controller;
  // Appearing keeps the display on, prepares haptics and finds the headphones.
  EXPECT_TRUE(f.application.idleTimerDisabled && c.isHeadphonesConnected());
  EXPECT_EQ(f.haptics.enginesMade().size(), 1u);
  c.toggleRecording();  // a tap at once, then one with each announcement
  for (int tick = 0; tick <= 3; ++tick) {
    for (const double t : {tick + 0.0, tick + 0.999}) {
      f.at(t);
      EXPECT_EQ(f.announcer.announcements().size(), static_cast<std::size_t>(tick)) << t;
      EXPECT_EQ(c.countdown(), 3 - tick) << t;
      EXPECT_EQ(f.haptics.playersStarted().size(), tick + 1u) << t;
      EXPECT_TRUE(c.isStarting() && !c.isRecording()) << t;
    }
  }
  EXPECT_EQ(f.announcer.announcements(), (std::vector<std::string>{"3", "2", "1"}));
  EXPECT_EQ(f.announcer.layoutChanges(), 3);
  f.at(4.0);
  EXPECT_TRUE(c.isRecording() && !c.isStarting());
  EXPECT_EQ(c.startTime(), kEpoch + 4.0);
  EXPECT_EQ(f.headphones->starts, 1);
  EXPECT_EQ(f.haptics.enginesMade().size(), 2u) << "the Stop button appears with a fresh engine";

  f.at(6.5);
  EXPECT_EQ(c.timeElapsed(), 2.0);
  c.toggleRecording();
  // And a tap at the stop: start and countdown taps on the first engine, the
  // stop tap on the Stop button's, each with its strengths in this order.
  using enum HapticParameterId;
  const std::vector<HapticEventParameter> start{{intensity, 0.8F}, {sharpness, 0.7F}},
      stop{{intensity, 1.0F}, {sharpness, 0.5F}};
  const auto& taps = f.haptics.playersStarted();
  ASSERT_EQ(taps.size(), 5u);
  ASSERT_EQ(f.haptics.enginesMade().size(), 2u);
  for (std::size_t i = 0; i < taps.size(); ++i) {
    EXPECT_EQ(taps[i].engine, f.haptics.enginesMade()[i < 4 ? 0 : 1]) << i;
    EXPECT_EQ(taps[i].pattern.eventParameters, i < 4 ? start : stop) << i;
  }
  EXPECT_TRUE(f.log.lines().empty()) << "taps that play log nothing";
}

TEST(RecordingController, StartRefusesWithoutHeadphonesOrMotionAccess) {
  using enum MotionAuthorizationStatus;
  const auto port = [](std::string_view type) { return AudioPort{std::string(type), "x"}; };
  const AudioPort wired = port(kPortHeadsetMic), hfp = port(kPortBluetoothHFP);
  // Missing headphones are found before access is asked for; a refusal of
  // access is logged.
  using Case = std::tuple<const char*, std::optional<std::vector<AudioPort>>,
                          MotionAuthorizationStatus, bool>;
  for (const auto& [name, inputs, status, noHeadphones] : std::vector<Case>{
           {"no input list", std::nullopt, authorized, true},
           {"built-in and wired", std::vector{port(kPortBuiltInMic), wired}, authorized, true},
           {"undecided", std::vector{wired, port(kPortBluetoothA2DP)}, notDetermined, false},
           {"denied", std::vector{hfp}, denied, false}}) {
    SCOPED_TRACE(name);
    ControllerFixture f;
    f.audio.setInputs(inputs);
    f.headphones->status = status;
    f.controller->toggleRecording();
    f.scheduler.advanceBy(5.0);
    EXPECT_EQ(f.controller->showHeadphoneAlert(), noHeadphones);
    EXPECT_EQ(f.controller->showAlertMotionAccess(), !noHeadphones);
    EXPECT_FALSE(f.controller->isStarting() || f.controller->isRecording());
    EXPECT_TRUE(f.haptics.playersStarted().empty());
    EXPECT_EQ(f.headphones->authorizationQueries > 0, !noHeadphones);
    EXPECT_EQ(std::ranges::count(f.log.lines(), "no access"), noHeadphones ? 0 : 1);
  }
}

TEST(RecordingController, ACancelledCountdownResetsAtTheNextTickAndANewStartStopsItsTimer) {
  ControllerFixture f;
  auto& c = *f.controller;
  c.toggleRecording();
  f.at(1.5);
  c.cancelCountdown();
  EXPECT_FALSE(c.isStarting());
  EXPECT_EQ(c.countdown(), 2) << "reset only at the next tick";
  f.at(2.0);
  EXPECT_EQ(c.countdown(), 3);
  f.at(12.0);
  EXPECT_FALSE(c.isRecording() || f.headphones->starts > 0);
  EXPECT_EQ(f.announcer.announcements(), std::vector<std::string>{"3"});

  // Started, cancelled after "3" and started again before the next tick.
  c.toggleRecording();
  f.at(13.2);
  c.cancelCountdown();
  f.at(13.5);
  c.toggleRecording();  // the old timer would tick again at 14.0
  f.at(14.1);
  EXPECT_EQ(c.countdown(), 3);
  f.at(14.5);
  EXPECT_EQ(c.countdown(), 2);
  f.at(17.5);
  EXPECT_EQ(c.startTime(), kEpoch + 17.5);
}

TEST(RecordingController, StopSavesTheRecordGrowsTheTotalAndAsksForAReviewAfterTen) {
  for (const int jumps : {10, 11}) {
    SCOPED_TRACE(jumps);
    ControllerFixture f;
    auto& c = *f.controller;
    f.startRecording();
    f.headphones->jump(jumps);
    f.headphones->deliver(0.3);
    f.scheduler.advanceBy(7.0);
    const double stopAt = f.scheduler.now();
    c.toggleRecording();

    EXPECT_FALSE(f.headphones->isDeviceMotionActive());
    EXPECT_TRUE(c.accelerationData().empty() && c.jumpCount() == 0 && c.timeElapsed() == 0.0);
    EXPECT_EQ(c.totalJumps(), jumps);
    EXPECT_EQ(f.settingsStore.integer("totalJumps"), jumps);
    EXPECT_TRUE(fs::exists(f.documents.path() / "1764942770.0.json")) << "named by the stop time";
    const auto saved = f.records.loadAllUserRecordData();
    ASSERT_EQ(saved.size(), 1u);
    const double start = kEpoch + 4.0;
    EXPECT_EQ(std::tuple(saved[0].jumps, saved[0].dateStart, saved[0].dateEnd, saved[0].timeSpent),
              std::tuple(jumps, start, stopAt, stopAt - start));
    EXPECT_FALSE(saved[0].unlockedTrophy) << "the record never carries the trophy";
    EXPECT_EQ(std::ranges::count(saved[0].csvText, '\n'), 2 * jumps + 2);

    // "First 10 Times" is shown, then hidden 4 s later.
    ASSERT_TRUE(c.showTrophyAlert() && c.unlockedTrophy());
    EXPECT_EQ(c.unlockedTrophy()->id, "trophy-first-10");
    f.scheduler.advanceBy(3.999);
    EXPECT_TRUE(c.showTrophyAlert());
    EXPECT_EQ(f.review.requests,
              jumps > 10 ? std::vector<double>{stopAt + 3.0} : std::vector<double>{});
    f.scheduler.advanceBy(0.001);
    EXPECT_FALSE(c.showTrophyAlert());
  }
}

TEST(RecordingController, ShowsTheLastOfSeveralTrophiesAndKeepsAndHoldsTheStoredTotal) {
  auto settings = std::make_shared<MemoryKeyValueStorage::State>();
  {
    ControllerFixture f(settings);
    f.startRecording();
    f.headphones->jump(800);
    f.scheduler.advanceBy(290.0);
    f.controller->toggleRecording();
    EXPECT_GT(std::ranges::count_if(f.trophies.trophies(), &Trophy::isUnlocked), 1);
    ASSERT_TRUE(f.controller->unlockedTrophy());
    EXPECT_EQ(f.controller->unlockedTrophy()->id, "160-1min");
  }
  ControllerFixture restarted(settings);
  EXPECT_EQ(restarted.controller->totalJumps(), 800);
  restarted.record(200);
  EXPECT_EQ(restarted.controller->totalJumps(), 1000);
  EXPECT_EQ(restarted.controller->unlockedTrophy()->id, "trophy-1000-times");

  // A stored total of any size is held at the largest rather than overflowing.
  settings->document = R"({"totalJumps": 9223372036854775806})";
  ControllerFixture saturated(settings);
  saturated.record(5);
  EXPECT_EQ(saturated.controller->totalJumps(), std::numeric_limits<std::int64_t>::max());
}

TEST(RecordingController, RecordsWithoutSamplesWhenMotionIsUnavailableAndStopsWithoutJumps) {
  ControllerFixture f;
  auto& c = *f.controller;
  f.headphones->available = false;
  f.startRecording();
  EXPECT_EQ(f.log.lines().back(), "Device motion is not available");
  EXPECT_TRUE(c.isRecording());
  EXPECT_FALSE(f.headphones->deliver(1.5));
  f.scheduler.advanceBy(65.0);
  EXPECT_EQ(formatElapsedTime(c.timeElapsed()), "01:05");
  c.toggleRecording();
  // Without jumps nothing is saved, added or awarded.
  EXPECT_TRUE(fs::is_empty(f.documents.path()));
  f.scheduler.advanceBy(10.0);
  EXPECT_TRUE(c.totalJumps() == 0 && !c.showTrophyAlert() && f.review.requests.empty());
  EXPECT_EQ(c.timeElapsed(), 0.0) << "the clock stopped";
}

TEST(RecordingController, ADisarmedDetectorCarriesIntoTheNextRecording) {
  ControllerFixture f;
  f.startRecording();
  f.headphones->deliver(1.5);  // counted, and no fall below zero follows
  f.controller->toggleRecording();
  f.startRecording();
  f.headphones->deliver(1.5);
  EXPECT_EQ(f.controller->jumpCount(), 0);
  EXPECT_EQ(f.controller->motionData().size(), 1u) << "but the trace starts afresh";
  f.controller->toggleRecording();  // samples, but no jumps: nothing is saved
  EXPECT_EQ(f.records.loadAllUserRecordData().size(), 1u);
  EXPECT_EQ(f.controller->totalJumps(), 1);
}

TEST(RecordingController, ReviewGoesToTheFirstActiveSceneOnlyIfItIsAWindow) {
  using Scenes = std::vector<ConnectedScene>;  // {activation state, is a window}
  for (const auto& [scenes, requests] : std::vector<std::pair<Scenes, std::size_t>>{
           {{}, 0}, {{{1, true}, {0, true}}, 1}, {{{0, false}, {0, true}}, 0}, {{{2, true}}, 0}}) {
    ControllerFixture f;
    f.application.scenes = scenes;
    f.record(11);
    f.scheduler.advanceBy(3.0);
    EXPECT_EQ(f.review.requests.size(), requests);
  }
}

TEST(RecordingController, LogsWhatTheSystemAnswers) {
  ControllerFixture f;
  f.controller->openSettings();
  ASSERT_EQ(f.application.openedAddresses.size(), 1u);
  f.application.pendingCompletion(false);
  EXPECT_EQ(f.log.lines().back(), "Settings opened: false");
  f.application.openable = false;
  f.controller->openSettings();
  f.application.address.reset();
  f.controller->openSettings();
  EXPECT_EQ(f.application.openedAddresses.size(), 1u) << "nothing to open";

  // A failed audio set-up keeps the last answer about the headphones.
  f.audio.setCategoryError(Failure{FailureKind::other, "route busy"});
  f.audio.setInputs(std::nullopt);
  f.controller->checkHeadphonesConnection();
  EXPECT_EQ(f.log.lines().back(), "Failed to set audio session category: route busy");
  EXPECT_TRUE(f.controller->isHeadphonesConnected());
}

TEST(FormatElapsedTime, WritesWholeMinutesAndSeconds) {
  EXPECT_EQ(formatElapsedTime(0), "00:00");
  EXPECT_EQ(formatElapsedTime(59.999), "00:59");
  EXPECT_EQ(formatElapsedTime(65), "01:05");
  EXPECT_EQ(formatElapsedTime(6000), "100:00");
  EXPECT_EQ(formatElapsedTime(std::nan("")), "00:00");
}

}  // namespace
}  // namespace hopster
