// A 60-minute recording at 100 samples a second through the real controller,
// in virtual time: how much memory the recording adds against its samples'
// own size, how long Stop takes to save it, and whether it loads back.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>

#include "motion_sources/simulated_headphones.h"
#include "platform/doubles/memory_key_value_storage.h"
#include "platform/doubles/virtual_scheduler.h"
#include "platform/linux/fixed_audio_session.h"
#include "platform/linux/headless_application.h"
#include "platform/linux/memory_log.h"
#include "platform/linux/no_haptics_device.h"
#include "platform/linux/random_uuid_source.h"
#include "recording/jump_screen_triggers.h"
#include "recording/recording_controller.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;

double residentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) * 1024.0;
  }
  return 0.0;
}

void BM_SixtyMinuteRecording(benchmark::State& state) {
  const fs::path folder = fs::temp_directory_path() / ("hopster-long-" + std::to_string(getpid()));
  fs::create_directories(folder);
  for (auto _ : state) {
    VirtualScheduler scheduler;
    MemoryLog log;
    KeyValueStore settings(std::make_unique<MemoryKeyValueStorage>(), log);
    TrophyManager trophies(settings);
    RecordStore records(folder, log);
    FixedAudioSession audio = FixedAudioSession::bluetoothHeadset();
    NoHapticsDevice haptics;
    HeadlessApplication application;
    RandomUuidSource uuids;
    SilentAnnouncer announcer;
    JumpSimulation simulation;
    simulation.sampleRate = 100.0;
    simulation.seed = 60;
    RecordingController controller(
        trophies, RecordingServices{std::make_unique<SimulatedHeadphones>(scheduler, simulation),
                                    audio, haptics, application, application, settings, records,
                                    scheduler, scheduler, uuids, announcer, log});
    JumpScreenTriggers triggers(controller);
    triggers.screenAppeared();
    controller.toggleRecording();
    scheduler.advanceBy(4.0);

    const double before = residentBytes();
    scheduler.advanceBy(3600.0);
    const double grown = residentBytes() - before;
    const std::size_t samples = controller.motionData().size();
    const std::int64_t jumps = controller.jumpCount();

    const auto stopStarted = std::chrono::steady_clock::now();
    controller.toggleRecording();
    const std::chrono::duration<double> stopTook = std::chrono::steady_clock::now() - stopStarted;

    const auto loaded = records.loadAllUserRecordData();
    if (loaded.size() != 1 || loaded[0].jumps != jumps) state.SkipWithError("not loaded back");
    state.counters["samples"] = static_cast<double>(samples);
    state.counters["jumps"] = static_cast<double>(jumps);
    state.counters["memory_added_MB"] = grown / 1e6;
    state.counters["samples_MB"] = static_cast<double>(samples * sizeof(MotionDataPoint)) / 1e6;
    state.counters["stop_to_saved_s"] = stopTook.count();
    state.counters["file_MB"] =
        static_cast<double>(fs::file_size(fs::directory_iterator(folder)->path())) / 1e6;
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  fs::remove_all(folder);
}
BENCHMARK(BM_SixtyMinuteRecording)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace hopster
