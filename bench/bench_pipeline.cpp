// Cost of the per-sample pipeline on the main thread: conversion to the world
// frame, jump detection, the chart window and a fresh UUID per chart point,
// with the real clock and the real UUID source.
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/announcer.h"
#include "platform/clock.h"
#include "platform/simulated_headphones.h"
#include "platform/uuid_source.h"
#include "platform/virtual_scheduler.h"
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

void BM_PerSamplePipeline(benchmark::State& state) {
  const auto samples = simulatedSamples(4096);
  SystemClock clock;
  RandomUuidSource uuids;
  SilentAnnouncer announcer;
  RecordingState recording;
  recording.motionData.reserve(1 << 20);
  MotionPipeline pipeline(recording, clock, uuids, announcer);
  std::size_t i = 0;
  for (auto _ : state) {
    pipeline.handleMotionUpdate(samples[i++ & 4095], std::nullopt);
    // Keep the trace from growing without bound over millions of iterations.
    if (recording.motionData.size() == (1u << 20)) recording.motionData.clear();
  }
  benchmark::DoNotOptimize(recording.jumpCount);
  state.SetItemsProcessed(state.iterations());
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
