// A year of history: 365 recordings of 10 minutes at 25 samples a second,
// saved through the real store, then shown in the history list. Measures in
// one run, against its targets:
//   (a) the list ready with the summary index in place,
//   (b) the list ready with no index (built from nothing), against reading
//       every byte of the files once,
//   (c) the memory the filled list adds,
//   (d) the longest stretch the main thread is blocked while the list loads,
//       seen as the lateness of a 1 ms timer on the main thread.
// A plain program rather than benchmark fixtures: the steps build on each
// other and share one scratch folder, which is removed at the end.
#include <fcntl.h>
#include <malloc.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/stop_save_measure.h"
#include "motion/motion_data_point.h"
#include "motion_sources/simulated_headphones.h"
#include "platform/doubles/virtual_scheduler.h"
#include "platform/linux/memory_log.h"
#include "records/motion_csv.h"
#include "records/record_store.h"
#include "screens/history_model.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;
using Stopwatch = std::chrono::steady_clock;

constexpr int kRecords = 365;
constexpr double kRecordSeconds = 600.0;
constexpr double kSampleRate = 25.0;
constexpr int kRuns = 3;  // each timing is the median of this many

double msSince(Stopwatch::time_point start) {
  return std::chrono::duration<double, std::milli>(Stopwatch::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double residentMB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0.0;
}

// Bytes malloc has handed out and not had back.
double heapInUseMB() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

// The scratch folder: records and the cache beside them.
struct Scratch {
  fs::path root;
  fs::path records;
  fs::path cache;
  std::uintmax_t totalBytes = 0;

  Scratch() {
    char pattern[] = "/tmp/hopster-history-scale-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    root = pattern;
    records = root / "Documents";
    cache = root / "cache";
    fs::create_directories(records);
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
};

// A year of recordings, one a day, each ten minutes of simulated jumping.
void writeHistory(Scratch& scratch, const RecordStore& store) {
  VirtualScheduler clock(1733400000.0);
  JumpSimulation settings;
  settings.seed = 365;
  settings.sampleRate = kSampleRate;
  SimulatedHeadphones headphones(clock, settings);
  std::vector<MotionDataPoint> samples;
  const int count = static_cast<int>(kRecordSeconds * kSampleRate);
  samples.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    clock.advanceBy(1.0 / kSampleRate);
    samples.push_back(makeMotionDataPoint(headphones.sampleAt(i / kSampleRate), clock));
  }
  const std::string csv = makeMotionCSV(samples);
  for (int day = 0; day < kRecords; ++day) {
    const double start = 1733400000.0 + day * 86400.0 + (day * 7919 % 36000);
    const double spent = kRecordSeconds + (day % 10) * 0.137;
    char id[40];
    std::snprintf(id, sizeof id, "6F9619FF-8B86-4011-B42D-%012X", day);
    store.saveUserRecordData(
        UserRecordData{id, start, start + spent, spent, 1150 + (day * 37) % 300, csv, std::nullopt},
        std::to_string(static_cast<long long>(start + spent)) + ".5");
  }
  for (const auto& entry : fs::directory_iterator(scratch.records)) {
    scratch.totalBytes += entry.file_size();
  }
}

// Reads every byte of every file once, the cheapest way: the floor for (b).
double readEveryByteMs(const fs::path& folder) {
  std::vector<char> buffer(1 << 20);
  std::uintmax_t bytes = 0;
  const auto start = Stopwatch::now();
  for (const auto& entry : fs::directory_iterator(folder)) {
    const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    ssize_t got = 0;
    while ((got = ::read(fd, buffer.data(), buffer.size())) > 0)
      bytes += static_cast<std::size_t>(got);
    ::close(fd);
  }
  const double ms = msSince(start);
  if (bytes == 0) std::printf("(nothing read)\n");
  return ms;
}

struct ShowResult {
  double readyMs = 0.0;        // from the request to all rows in the model
  double maxLatenessMs = 0.0;  // the main thread's longest stall meanwhile
  int rows = 0;
};

// Shows the history the way the tab does: asks the model to reload and runs
// the main thread's event loop until the rows are in, with a 1 ms timer on
// the main thread noting how late it fires.
ShowResult showHistory(HistoryModel& model) {
  ShowResult result;
  QEventLoop loop;
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  ticker.setInterval(1);
  QElapsedTimer sinceTick;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const double late = static_cast<double>(sinceTick.nsecsElapsed()) / 1e6 - 1.0;
    result.maxLatenessMs = std::max(result.maxLatenessMs, late);
    sinceTick.restart();
  });
  const auto start = Stopwatch::now();
  QObject::connect(&model, &HistoryModel::userRecordsLoaded, &loop, [&] {
    result.readyMs = msSince(start);
    loop.quit();
  });
  sinceTick.start();
  ticker.start();
  model.loadUserRecords();
  loop.exec();
  ticker.stop();
  result.rows = model.rowCount();
  return result;
}

// The same 1 ms timer with nothing loading, for `ms` milliseconds: how late
// this machine runs it anyway (other processes, the scheduler), so (d) can be
// told apart from noise.
double idleLatenessMs(int ms) {
  QEventLoop loop;
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  ticker.setInterval(1);
  QElapsedTimer sinceTick;
  double worst = 0.0;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    worst = std::max(worst, static_cast<double>(sinceTick.nsecsElapsed()) / 1e6 - 1.0);
    sinceTick.restart();
  });
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  sinceTick.start();
  ticker.start();
  loop.exec();
  return worst;
}

struct Row {
  std::string what;
  double value;
  std::string unit;
  std::string target;
  bool met;
};

void printTable(const std::vector<Row>& rows) {
  std::printf("\n%-58s %12s  %-10s %s\n", "measure", "value", "target", "met");
  for (const auto& row : rows) {
    std::printf("%-58s %9.2f %-3s %-10s %s\n", row.what.c_str(), row.value, row.unit.c_str(),
                row.target.c_str(), row.target.empty() ? "" : (row.met ? "yes" : "NO"));
  }
}

// Stop-and-save: a 60-minute 100 Hz recording stopped and saved through the
// real controller, its record store in a fresh folder beside the history.
void measureStopAndSave(const Scratch& scratch, std::vector<Row>& rows) {
  const fs::path folder = scratch.root / "stop-save";
  fs::create_directories(folder);
  std::printf("recording 60 minutes at 100 Hz and stopping it in %s ...\n", folder.c_str());
  std::fflush(stdout);
  const StopSaveMeasurement m = measureStopSave(folder, 360'000);
  if (!m.saved) std::printf("(e) the record was not saved\n");
  rows.push_back({"(e) longest main-thread block, stop and save of 60 min at 100 Hz",
                  m.longestMainThreadBlockMs, "ms", "<= 16 ms",
                  m.saved && m.longestMainThreadBlockMs <= 16.0});
  rows.push_back(
      {"    the same timer before the stop (machine noise)", m.longestIdleBlockMs, "ms", "", true});
  rows.push_back({"(f) stop to saved (" + std::to_string(m.recordBytes / 1000000) + " MB record)",
                  m.stopToSavedMs, "ms", "", m.saved});
  rows.push_back({"    write(2) + fdatasync of the same bytes", m.plainWriteMs, "ms", "", true});
  const double ratio = m.plainWriteMs > 0.0 ? m.stopToSavedMs / m.plainWriteMs : 0.0;
  rows.push_back({"    stop to saved / plain write", ratio, "x", "<= 2x", m.saved && ratio <= 2.0});

  // The same stop for a user whose trophies are all unlocked already: the
  // difference is what storing the newly awarded trophies costs the main thread.
  const fs::path again = scratch.root / "stop-save-unlocked";
  fs::create_directories(again);
  const StopSaveMeasurement u = measureStopSave(again, 360'000, true);
  rows.push_back({"    longest main-thread block, every trophy unlocked before",
                  u.longestMainThreadBlockMs, "ms", "", u.saved});
  rows.push_back(
      {"    stop to saved, every trophy unlocked before", u.stopToSavedMs, "ms", "", u.saved});
}

int run(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  Scratch scratch;
  MemoryLog log;
  const RecordStore store(scratch.records, log, scratch.cache);

  std::printf("writing %d records of %.0f s at %.0f Hz into %s ...\n", kRecords, kRecordSeconds,
              kSampleRate, scratch.records.c_str());
  std::fflush(stdout);
  const auto writeStart = Stopwatch::now();
  writeHistory(scratch, store);
  std::printf("wrote %.1f MB in %.1f s (%.2f MB per record)\n", scratch.totalBytes / 1e6,
              msSince(writeStart) / 1000.0, scratch.totalBytes / 1e6 / kRecords);
  // Past the file clock's tick, so the index trusts every file.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));

  std::vector<Row> rows;
  double worstStall = 0.0;

  // (b) No index: every file is read and summarised, against a plain read.
  std::vector<double> coldMs, readMs;
  for (int i = 0; i < kRuns; ++i) {
    readMs.push_back(readEveryByteMs(scratch.records));
    fs::remove(store.summaryIndexFile());
    HistoryModel model(store);
    const ShowResult shown = showHistory(model);
    if (shown.rows != kRecords) std::printf("(b) showed %d rows, not %d\n", shown.rows, kRecords);
    coldMs.push_back(shown.readyMs);
    worstStall = std::max(worstStall, shown.maxLatenessMs);
  }
  // The same work on this thread at normal priority: the list's own cost,
  // without the worker's lower priority on a busy machine.
  std::vector<double> directMs;
  for (int i = 0; i < kRuns; ++i) {
    fs::remove(store.summaryIndexFile());
    MemoryLog quiet;
    const auto start = Stopwatch::now();
    const auto summaries = store.loadAllUserRecordSummaries(quiet, {});
    directMs.push_back(msSince(start));
    readMs.push_back(readEveryByteMs(scratch.records));
  }
  const double direct = median(directMs);
  const double cold = median(coldMs);
  const double plainRead = median(readMs);

  // (a) and (c): the index in place; memory before and after the list fills.
  malloc_trim(0);
  const double rssBefore = residentMB();
  const double heapBefore = heapInUseMB();
  std::vector<double> warmMs;
  double rssAdded = 0.0;
  double heapAdded = 0.0;
  {
    HistoryModel model(store);
    for (int i = 0; i < kRuns; ++i) {
      const ShowResult shown = showHistory(model);
      if (shown.rows != kRecords) std::printf("(a) showed %d rows, not %d\n", shown.rows, kRecords);
      warmMs.push_back(shown.readyMs);
      worstStall = std::max(worstStall, shown.maxLatenessMs);
    }
    rssAdded = residentMB() - rssBefore;
    heapAdded = heapInUseMB() - heapBefore;
  }

  // (c) once more for the list built from nothing, the worst case.
  fs::remove(store.summaryIndexFile());
  malloc_trim(0);
  const double rssBeforeCold = residentMB();
  double rssAddedCold = 0.0;
  {
    HistoryModel model(store);
    showHistory(model);
    rssAddedCold = residentMB() - rssBeforeCold;
  }

  const double warm = median(warmMs);
  rows.push_back({"(a) history ready, index in place", warm, "ms", "<= 50 ms", warm <= 50.0});
  rows.push_back({"(b) history ready, no index", cold, "ms", "", true});
  rows.push_back(
      {"    read every byte once (" + std::to_string(scratch.totalBytes / 1000000) + " MB)",
       plainRead, "ms", "", true});
  rows.push_back(
      {"    no index / plain read", cold / plainRead, "x", "<= 1.5x", cold / plainRead <= 1.5});
  rows.push_back({"    summaries built on the calling thread, no index", direct, "ms", "", true});
  rows.push_back({"    calling thread / plain read", direct / plainRead, "x", "<= 1.5x",
                  direct / plainRead <= 1.5});
  rows.push_back({"(c) memory the list adds (RSS), index in place", rssAdded, "MB", "<= 30 MB",
                  rssAdded <= 30.0});
  rows.push_back({"    memory the list adds (RSS), no index", rssAddedCold, "MB", "<= 30 MB",
                  rssAddedCold <= 30.0});
  rows.push_back({"    heap the list holds (malloc)", heapAdded, "MB", "", true});
  rows.push_back({"(d) longest main-thread stall while loading", worstStall, "ms", "<= 16 ms",
                  worstStall <= 16.0});
  rows.push_back({"    the same timer with nothing loading (machine noise)", idleLatenessMs(2000),
                  "ms", "", true});
  measureStopAndSave(scratch, rows);
  printTable(rows);
  return 0;
}

}  // namespace
}  // namespace hopster

int main(int argc, char** argv) { return hopster::run(argc, argv); }
