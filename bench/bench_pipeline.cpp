// Cost of the per-sample pipeline on the main thread: conversion to the world
// frame, jump detection, the chart window and a fresh UUID per chart point,
// with the real clock and the real UUID source.
#include <benchmark/benchmark.h>

#include <vector>

#include "motion_sources/simulated_headphones.h"
#include "platform/announcer.h"
#include "platform/doubles/virtual_scheduler.h"
#include "platform/linux/random_uuid_source.h"
#include "platform/linux/system_clock.h"
#include "recording/motion_pipeline.h"

namespace hopster {
namespace {

std::vector<DeviceMotion> simulatedSamples(std::size_t count) {
  VirtualScheduler scheduler;
  JumpSimulation settings;
  settings.seed = 3;
  settings.sampleRate = 100.0;
  SimulatedHeadphones headphones(scheduler, settings);
  std::vector<DeviceMotion> samples;
  samples.reserve(count);
  for (std::size_t i = 0; i < count; ++i) samples.push_back(headphones.sampleAt(i / 100.0));
  return samples;
}

// The trace the pipeline appends to, kept from one run to the next and
// touched once before any is timed: a fresh reservation would be paid for in
// page faults on first touch, which measure the kernel, not the pipeline, and
// vary from run to run. Cleared when full, keeping its pages.
constexpr std::size_t kTraceCapacity = std::size_t{1} << 16;  // 8 MB of samples

std::vector<MotionDataPoint>& reusedTrace() {
  static std::vector<MotionDataPoint> trace = [] {
    std::vector<MotionDataPoint> touched(kTraceCapacity);
    touched.clear();
    return touched;
  }();
  return trace;
}

void BM_PerSamplePipeline(benchmark::State& state) {
  const auto samples = simulatedSamples(4096);
  SystemClock clock;
  RandomUuidSource uuids;
  SilentAnnouncer announcer;
  RecordingState recording;
  recording.motionData.swap(reusedTrace());
  recording.motionData.clear();
  MotionPipeline pipeline(recording, clock, uuids, announcer);
  std::size_t i = 0;
  for (auto _ : state) {
    pipeline.handleMotionUpdate(samples[i++ & 4095], std::nullopt);
    if (recording.motionData.size() == kTraceCapacity) recording.motionData.clear();
  }
  benchmark::DoNotOptimize(recording.jumpCount);
  state.SetItemsProcessed(state.iterations());
  recording.motionData.swap(reusedTrace());
}
BENCHMARK(BM_PerSamplePipeline);

void BM_Uuid(benchmark::State& state) {
  RandomUuidSource uuids;
  for (auto _ : state) benchmark::DoNotOptimize(uuids.next());
}
BENCHMARK(BM_Uuid);

void BM_SystemClock(benchmark::State& state) {
  SystemClock clock;
  for (auto _ : state) benchmark::DoNotOptimize(clock.now());
}
BENCHMARK(BM_SystemClock);

}  // namespace
}  // namespace hopster
