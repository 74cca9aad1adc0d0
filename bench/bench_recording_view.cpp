// Opening a 60-minute recording at 100 samples a second (360,000 samples, a
// record file of about 115 MB) on the recording screen, with the real view
// model on a Qt loop:
//  - from the tap (open()) to the trace and numbers ready, and the main
//    thread's longest stretch without turning its loop meanwhile (a 1 ms
//    heartbeat timer measures the gaps);
//  - resident memory at its peak while loading and while open, against the
//    record file's size;
//  - a frame's trace points across 1,280 pixel columns, whole and zoomed.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/linux/memory_log.h"
#include "records/motion_csv.h"
#include "records/record_store.h"
#include "screens/recording_view_model.h"
#include "screens/trace_chart.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;

constexpr int kRate = 100;
constexpr int kSeconds = 3600;

double statusBytes(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) return std::stod(line.substr(std::string(key).size())) * 1024.0;
  }
  return 0.0;
}

// A skipper at two jumps a second, every column of a sample filled with
// numbers of full precision as a phone fills it, so the file is as large as
// a real one.
UserRecordData sixtyMinutes() {
  std::vector<MotionDataPoint> samples;
  samples.reserve(kRate * kSeconds);
  const double start = 1796478720.0;
  for (int i = 0; i < kRate * kSeconds; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double phase = std::fmod(t, 0.5);
    const double z = phase < 0.2 ? 2.4 * std::sin(3.14159265358979 * phase / 0.2) : -1.0;
    const double wobble = 0.013 * std::sin(t * 1.7);
    const double drift = 0.001 * std::cos(t * 0.31);
    samples.push_back({start + t, wobble, 0.02 + wobble, z, 0.11 * wobble, 0.07 + drift,
                       -0.03 - drift, 0.0123 + drift, -0.0456 + wobble, 1.2345 + drift,
                       0.0011 * wobble, -0.0022 + drift, -0.9998 + drift, wobble, 0.5 * wobble, z});
  }
  return {"BENCH", start, start + kSeconds, kSeconds, 7200, makeMotionCSV(samples), std::nullopt};
}

QCoreApplication& application() {
  static int argc = 1;
  static char name[] = "bench_recording_view";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

void BM_OpenSixtyMinuteRecording(benchmark::State& state) {
  application();
  const fs::path folder =
      fs::temp_directory_path() / ("hopster-view-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  MemoryLog log;
  RecordStore store(folder, log);
  if (store.saveUserRecordData(sixtyMinutes(), "long")) {
    state.SkipWithError("could not write the record");
    return;
  }
  const double fileBytes = static_cast<double>(fs::file_size(folder / "long.json"));
  RecordingViewModel model(store);
  double longestBlock = 0.0, openCall = 0.0, before = 0.0, peak = 0.0, open = 0.0;
  for (auto _ : state) {
    model.close();
    before = statusBytes("VmRSS:");
    std::ofstream("/proc/self/clear_refs") << "5";  // restarts the peak count
    QEventLoop loop;
    QElapsedTimer sinceTick;
    QTimer heartbeat;
    heartbeat.setInterval(1);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
      longestBlock = std::max(longestBlock, static_cast<double>(sinceTick.nsecsElapsed()) / 1e6);
      sinceTick.restart();
    });
    QObject::connect(&model, &RecordingViewModel::loaded, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    heartbeat.start();
    sinceTick.start();
    model.open("long.json");
    openCall = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    loop.exec();
    state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
    peak = statusBytes("VmHWM:");
    open = statusBytes("VmRSS:");
    heartbeat.stop();
  }
  state.counters["file_MB"] = fileBytes / 1e6;
  state.counters["open_call_ms"] = openCall;
  state.counters["longest_main_block_ms"] = longestBlock;
  state.counters["peak_growth_MB"] = (peak - before) / 1e6;
  state.counters["while_open_growth_MB"] = (open - before) / 1e6;
  state.counters["jumps"] = static_cast<double>(model.overview()->analysis.jumpTimes.size());
  fs::remove_all(folder);
}
BENCHMARK(BM_OpenSixtyMinuteRecording)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void BM_TraceFrame(benchmark::State& state) {
  std::vector<double> times;
  std::vector<float> values;
  for (int i = 0; i < kRate * kSeconds; ++i) {
    times.push_back(static_cast<double>(i) / kRate);
    values.push_back(static_cast<float>(std::sin(i * 0.0628) * 2.0));
  }
  const TraceOverview trace(times, values);
  const double span = static_cast<double>(state.range(0));
  const QRectF plot(30.0, 10.0, 1280.0, 300.0);
  std::vector<QPointF> points;
  double from = 0.0;
  for (auto _ : state) {
    chart::tracePoints(trace, {from, from + span}, plot, points);
    benchmark::DoNotOptimize(points.data());
    from = std::fmod(from + 7.3, kSeconds - span + 1.0);  // a pan each frame
  }
  state.counters["points"] = static_cast<double>(points.size());
}
BENCHMARK(BM_TraceFrame)->Arg(kSeconds)->Arg(600)->Arg(60)->Arg(5)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace hopster
