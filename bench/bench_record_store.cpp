// Loading every record of a history of 200 recordings of about 1 MB each,
// against only reading the same files into memory, in the same run; and the
// peak memory the load adds, against the files' total size.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "motion/motion_data_point.h"
#include "motion_sources/simulated_headphones.h"
#include "platform/doubles/virtual_scheduler.h"
#include "platform/linux/memory_log.h"
#include "records/motion_csv.h"
#include "records/record_store.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 200;

// A folder of record files made from simulated recordings, written once.
class History {
 public:
  History() {
    folder_ = fs::temp_directory_path() / ("hopster-bench-" + std::to_string(getpid()));
    fs::create_directories(folder_);
    VirtualScheduler clock;
    JumpSimulation settings;
    settings.seed = 11;
    settings.sampleRate = 25.0;
    SimulatedHeadphones headphones(clock, settings);
    std::vector<MotionDataPoint> samples;
    // About 1 MB of CSV: roughly 300 bytes a sample.
    for (int i = 0; i < 3400; ++i) {
      clock.advanceBy(0.04);
      samples.push_back(makeMotionDataPoint(headphones.sampleAt(i * 0.04), clock));
    }
    const std::string csv = makeMotionCSV(samples);
    MemoryLog log;
    RecordStore store(folder_, log);
    for (int i = 0; i < kFiles; ++i) {
      store.saveUserRecordData(UserRecordData{"ID-" + std::to_string(i), 1764942759.0 + i,
                                              1764942895.0 + i, 136.0, 270, csv, std::nullopt},
                               std::to_string(1764942900 + i) + ".5");
    }
    for (const auto& entry : fs::directory_iterator(folder_)) totalBytes_ += entry.file_size();
  }
  ~History() { fs::remove_all(folder_); }

  [[nodiscard]] const fs::path& folder() const { return folder_; }
  [[nodiscard]] double totalBytes() const { return static_cast<double>(totalBytes_); }

 private:
  fs::path folder_;
  std::uintmax_t totalBytes_ = 0;
};

History& history() {
  static History instance;
  return instance;
}

// Peak and current resident memory of this process, in bytes.
double statusBytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stod(line.substr(std::strlen(field))) * 1024.0;
  }
  return 0.0;
}

void resetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

void BM_LoadAllRecords(benchmark::State& state) {
  History& h = history();
  MemoryLog log;
  RecordStore store(h.folder(), log);
  double peakAdded = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    log.clear();
    resetPeakMemory();
    const double before = statusBytes("VmRSS:");
    state.ResumeTiming();
    auto records = store.loadAllUserRecordData();
    state.PauseTiming();
    peakAdded = std::max(peakAdded, statusBytes("VmHWM:") - before);
    if (records.size() != kFiles) state.SkipWithError("not every record loaded");
    records.clear();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * h.totalBytes()));
  state.counters["files_MB"] = h.totalBytes() / 1e6;
  state.counters["peak_added_MB"] = peakAdded / 1e6;
  state.counters["peak_vs_files"] = peakAdded / h.totalBytes();
}
BENCHMARK(BM_LoadAllRecords)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor: list the same folder and read every file into memory.
void BM_ReadFilesOnly(benchmark::State& state) {
  History& h = history();
  for (auto _ : state) {
    // Plain read(2) into uninitialised buffers: the cheapest way to have the bytes.
    std::vector<std::unique_ptr<char[]>> contents;
    for (const auto& entry : fs::directory_iterator(h.folder())) {
      const auto size = static_cast<std::size_t>(entry.file_size());
      auto bytes = std::make_unique_for_overwrite<char[]>(size);
      const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
      std::size_t done = 0;
      while (done < size) {
        const ssize_t got = ::read(fd, bytes.get() + done, size - done);
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
      }
      ::close(fd);
      if (done != size) state.SkipWithError("short read");
      contents.push_back(std::move(bytes));
    }
    benchmark::DoNotOptimize(contents.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * h.totalBytes()));
}
BENCHMARK(BM_ReadFilesOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace hopster
