#include <benchmark/benchmark.h>

#include <cmath>
#include <optional>
#include <vector>

#include "motion_sources/attitude_filter.h"

namespace hopster {
namespace {

// A second of jumping readings at 100 a second: contact pushes and flights,
// with a wobble on every axis and a swinging rotation rate.
std::vector<Vector3> readings(std::size_t count) {
  std::vector<Vector3> out;
  for (std::size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) * 0.01;
    const double vertical =
        std::fmod(t, 0.5) < 0.2 ? 3.4 * std::sin(std::fmod(t, 0.5) * 15.7) : 0.0;
    out.push_back({0.1 * std::sin(7 * t), vertical + 0.05 * std::cos(3 * t), 0.2 * std::sin(t)});
  }
  return out;
}

void filterSamples(benchmark::State& state) {
  const bool gyroscope = state.range(0) != 0;
  const std::vector<Vector3> input = readings(100);
  AttitudeFilter filter;
  std::size_t i = 0;
  for (auto _ : state) {
    const Vector3& force = input[i++ % input.size()];
    const std::optional<Vector3> rate =
        gyroscope ? std::optional(Vector3{0.3 * force.x, -0.2, 0.1 * force.z}) : std::nullopt;
    benchmark::DoNotOptimize(filter.update(force, rate, 0.01));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(filterSamples)->ArgName("gyroscope")->Arg(0)->Arg(1);

}  // namespace
}  // namespace hopster
