#pragma once

#include <memory>

#include "platform/doubles/manual_background_work.h"
#include "platform/doubles/memory_key_value_storage.h"
#include "platform/doubles/recording_haptic_device.h"
#include "platform/doubles/virtual_scheduler.h"
#include "platform/linux/fixed_audio_session.h"
#include "platform/linux/memory_log.h"
#include "platform/linux/sequential_uuid_source.h"
#include "recording/jump_screen_triggers.h"
#include "recording/recording_controller.h"
#include "support/fake_application.h"
#include "support/fake_motion_service.h"
#include "support/temp_dir.h"

namespace hopster::testing {

constexpr double kEpoch = 1764942759.0;

// A recording controller on test doubles, driven like the jump screen drives
// it, in virtual time starting at kEpoch, with its background work on the
// test's thread. Fixtures given the same settings
// state share their stored settings, as across a restart.
struct ControllerFixture {
  explicit ControllerFixture(std::shared_ptr<MemoryKeyValueStorage::State> settingsState =
                                 std::make_shared<MemoryKeyValueStorage::State>())
      : settingsStore(std::make_unique<MemoryKeyValueStorage>(std::move(settingsState)), log) {
    auto fake = std::make_unique<FakeMotionService>();
    headphones = fake.get();
    controller = std::make_unique<RecordingController>(
        trophies,
        RecordingServices{std::move(fake), audio, haptics, application, review, settingsStore,
                          records, scheduler, scheduler, uuids, announcer, log, &background});
    triggers = std::make_unique<JumpScreenTriggers>(*controller);
    triggers->screenAppeared();
  }

  // Start, then the whole countdown: the recording runs afterwards.
  void startRecording() {
    controller->toggleRecording();
    scheduler.advanceBy(4.0);
  }

  // Moves virtual time on to `t` seconds after kEpoch.
  void at(double t) { scheduler.advanceBy(kEpoch + t - scheduler.now()); }

  // A recording of `jumps` clean jumps, stopped at once.
  void record(int jumps) {
    startRecording();
    headphones->jump(jumps);
    controller->toggleRecording();
  }

  VirtualScheduler scheduler{kEpoch};
  MemoryLog log;
  FixedAudioSession audio = FixedAudioSession::bluetoothHeadset();
  RecordingHapticDevice haptics;
  FakeApplication application;
  FakeStoreReview review{scheduler};
  KeyValueStore settingsStore;
  TrophyManager trophies{settingsStore};
  TempDir documents;
  RecordStore records{documents.path(), log};
  SequentialUuidSource uuids;
  RecordingAnnouncer announcer;
  // Completes every job at once unless a test holds it.
  ManualBackgroundWork background;
  FakeMotionService* headphones = nullptr;
  std::unique_ptr<RecordingController> controller;
  std::unique_ptr<JumpScreenTriggers> triggers;
};

}  // namespace hopster::testing
