#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "controller_fixture.h"
#include "platform/doubles/fake_sleep_inhibitor.h"
#include "recording/recording_sleep_guard.h"

namespace hopster {
namespace {

// The controller on doubles, kept awake by a guard whose jobs run at once
// unless the test holds them.
struct Awake {
  testing::ControllerFixture f;
  FakeSleepInhibitor inhibitor;
  ManualBackgroundWork work;
  MemoryLog log;
  std::optional<RecordingSleepGuard> guard{std::in_place, *f.controller, inhibitor, work, log};
};

TEST(RecordingSleepGuard, HoldsOffSleepFromTheRecordingsStartUntilWhateverStopsIt) {
  const struct {
    const char* name;
    std::function<void(Awake&)> stop;
  } stops[] = {
      {"Stop", [](Awake& a) { a.f.controller->toggleRecording(); }},
      // A signal, a closed window; the headless run's end of a replay or stream.
      {"quit", [](Awake& a) { a.f.controller->stopForQuit(); }},
      {"guard gone", [](Awake& a) { a.guard.reset(); }},
  };
  for (const auto& c : stops) {
    Awake a;
    a.f.controller->toggleRecording();
    a.f.at(3.5);
    EXPECT_EQ(a.inhibitor.requests(), 0) << c.name << ": none during the countdown";
    a.f.at(4.0);
    a.f.headphones->jump(3);  // each sample tells the observers
    EXPECT_EQ(a.inhibitor.held(), 1) << c.name;
    c.stop(a);
    a.f.at(10.0);
    EXPECT_EQ(a.inhibitor.held(), 0) << c.name;
    EXPECT_EQ(a.inhibitor.requests(), 1) << c.name << ": one hold a recording";
    EXPECT_EQ(a.inhibitor.lastRequest(), "Hopster: Counting jumps") << c.name;
  }
}

TEST(RecordingSleepGuard, AStopBeforeTheHoldArrivesStillLetsGoOfIt) {
  Awake a;
  a.work.hold(true);  // the system has not answered yet
  a.f.startRecording();
  a.f.controller->toggleRecording();
  a.f.startRecording();
  a.work.completeAll();
  EXPECT_EQ(a.inhibitor.requests(), 2);
  EXPECT_EQ(a.inhibitor.held(), 1) << "the second recording runs";
  a.f.controller->toggleRecording();
  a.work.completeAll();
  EXPECT_EQ(a.inhibitor.held(), 0);
}

TEST(RecordingSleepGuard, ARefusalIsLoggedOnceAndTheRecordingGoesOn) {
  Awake a;
  a.inhibitor.refusal = Failure{FailureKind::other, "Access denied"};
  for (const double stop : {10.0, 20.0}) {
    a.f.startRecording();
    a.f.headphones->jump(2);
    EXPECT_EQ(a.f.controller->jumpCount(), 2);
    a.f.controller->toggleRecording();
    a.f.at(stop);
  }
  EXPECT_EQ(a.inhibitor.requests(), 2);
  EXPECT_EQ(a.log.lines(),
            std::vector<std::string>{"The system may suspend while recording: Access denied"});
}

}  // namespace
}  // namespace hopster
