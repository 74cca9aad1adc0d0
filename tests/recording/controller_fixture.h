#pragma once

#include <memory>

#include "platform/audio_session.h"
#include "platform/memory_key_value_storage.h"
#include "platform/recording_haptic_device.h"
#include "platform/virtual_scheduler.h"
#include "recording/jump_screen_triggers.h"
#include "recording/recording_controller.h"
#include "support/fake_application.h"
#include "support/fake_motion_service.h"
#include "support/temp_dir.h"

namespace hopster::testing {

constexpr double kEpoch = 1764942759.0;

// A recording controller on test doubles, driven like the jump screen drives
// it, in virtual time starting at kEpoch.
struct ControllerFixture {
  explicit ControllerFixture(std::unique_ptr<HeadphoneMotionService> motion = nullptr,
                             std::shared_ptr<MemoryKeyValueStorage::State> settingsState = nullptr)
      : settingsStore(
            std::make_unique<MemoryKeyValueStorage>(
                settingsState ? settingsState : std::make_shared<MemoryKeyValueStorage::State>()),
            log) {
    if (!motion) {
      auto fake = std::make_unique<FakeMotionService>();
      headphones = fake.get();
      motion = std::move(fake);
    }
    controller = std::make_unique<RecordingController>(
        trophies,
        RecordingServices{std::move(motion), audio, haptics, application, review, settingsStore,
                          records, scheduler, scheduler, uuids, announcer, log});
    triggers = std::make_unique<JumpScreenTriggers>(*controller);
    triggers->screenAppeared();
  }

  // Start, then the whole countdown: the recording runs afterwards.
  void startRecording() {
    controller->toggleRecording();
    scheduler.advanceBy(4.0);
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
  FileManagerSingleton records{documents.path(), log};
  SequentialUuidSource uuids;
  RecordingAnnouncer announcer;
  FakeMotionService* headphones = nullptr;  // when the fixture made the fake
  std::unique_ptr<RecordingController> controller;
  std::unique_ptr<JumpScreenTriggers> triggers;
};

}  // namespace hopster::testing
