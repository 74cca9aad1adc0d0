#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "records/motion_csv.h"
#include "records/number_form.h"

namespace hopster {
namespace {

constexpr std::size_t kSampleCount = 100'000;

// Samples like a real recording: time stamps in 2025 at about 100 Hz with
// fractional seconds, and sensor values with full double noise.
std::vector<MotionDataPoint> realisticSamples() {
  std::mt19937_64 random(1);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::vector<MotionDataPoint> samples;
  samples.reserve(kSampleCount);
  double time = 1764942759.123456;
  for (std::size_t i = 0; i < kSampleCount; ++i) {
    time += 0.01 + 0.0001 * unit(random);
    samples.push_back(MotionDataPoint{
        time,
        3.0 * unit(random),
        3.0 * unit(random),
        3.0 * unit(random),
        10.0 * unit(random),
        10.0 * unit(random),
        10.0 * unit(random),
        1.5 * unit(random),
        3.1 * unit(random),
        3.1 * unit(random),
        unit(random),
        unit(random),
        unit(random),
        3.0 * unit(random),
        3.0 * unit(random),
        3.0 * unit(random),
    });
  }
  return samples;
}

const std::vector<MotionDataPoint>& samples() {
  static const std::vector<MotionDataPoint> kSamples = realisticSamples();
  return kSamples;
}

// The same table written the obvious way: printf's 17 significant digits,
// which also read back exactly but are neither shortest nor fast.
std::string snprintfCSV(const std::vector<MotionDataPoint>& list) {
  std::string text = kMotionCSVHeader;
  text += '\n';
  text.reserve(text.size() + list.size() * 16 * 25);
  char buffer[32];
  for (const MotionDataPoint& s : list) {
    for (double value :
         {s.timeStamp, s.accelerationX, s.accelerationY, s.accelerationZ, s.rotationRateX,
          s.rotationRateY, s.rotationRateZ, s.pitch, s.roll, s.yaw, s.gravityX, s.gravityY,
          s.gravityZ, s.globalAccelerationX, s.globalAccelerationY, s.globalAccelerationZ}) {
      const int length = std::snprintf(buffer, sizeof buffer, "%.17g", value);
      text.append(buffer, static_cast<std::size_t>(length));
      text += ',';
    }
    text.back() = '\n';
  }
  return text;
}

void BM_MakeMotionCSV(benchmark::State& state) {
  const auto& list = samples();
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::string text = makeMotionCSV(list);
    bytes += text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(list.size()));
}
BENCHMARK(BM_MakeMotionCSV)->Unit(benchmark::kMillisecond);

void BM_SnprintfBaselineCSV(benchmark::State& state) {
  const auto& list = samples();
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::string text = snprintfCSV(list);
    bytes += text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(list.size()));
}
BENCHMARK(BM_SnprintfBaselineCSV)->Unit(benchmark::kMillisecond);

void BM_WriteNumber(benchmark::State& state) {
  const auto& list = samples();
  char buffer[kMaxNumberLength];
  std::size_t index = 0;
  for (auto _ : state) {
    const MotionDataPoint& s = list[index];
    index = index + 1 == list.size() ? 0 : index + 1;
    benchmark::DoNotOptimize(writeNumber(s.timeStamp, buffer));
    benchmark::DoNotOptimize(writeNumber(s.accelerationZ, buffer));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_WriteNumber);

}  // namespace
}  // namespace hopster
