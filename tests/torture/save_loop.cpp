// Saves recordings in a loop the way a stop does (journal, record file,
// total), printing "saved <stem> <jumps>" once each is complete, until it is
// killed. The torture campaign kills it at random moments and checks that
// the next start of hopster neither loses nor doubles anything.
#include <unistd.h>

#include <cstdio>
#include <random>

#include "platform/linux/file_key_value_storage.h"
#include "platform/linux/stdout_log.h"
#include "platform/linux/system_clock.h"
#include "recording/recording_commit.h"
#include "records/motion_csv.h"
#include "records/number_form.h"

int main(int argc, char** argv) {
  using namespace hopster;
  if (argc != 4) {
    std::fprintf(stderr, "usage: save_loop DOCUMENTS SETTINGS_FILE SEED\n");
    return 2;
  }
  const std::filesystem::path documents = argv[1], settingsFile = argv[2];
  std::mt19937_64 random(std::stoull(argv[3]));
  StdoutLog log;
  KeyValueStore settings(std::make_unique<FileKeyValueStorage>(settingsFile), log);
  RecordStore records(documents, log);
  std::filesystem::create_directories(documents);
  SystemClock clock;
  for (std::uint64_t round = 0;; ++round) {
    const double start = clock.now();
    auto created = RecordingJournal::create(documents, JournalHeader{start, true});
    if (!created) {
      std::fprintf(stderr, "%s\n", created.error().message.c_str());
      return 1;
    }
    const auto journal = std::move(created).value();
    // 1 to 30 jumps at 100 samples a second, half a second each.
    const int jumps = std::uniform_int_distribution<int>(1, 30)(random);
    std::vector<MotionDataPoint> samples;
    for (int i = 0; i < jumps * 50; ++i) {
      MotionDataPoint p;
      p.timeStamp = start + i * 0.01;
      p.globalAccelerationZ = (i % 50) < 10 ? 1.5 : -1.0;
      p.accelerationZ = p.globalAccelerationZ;
      samples.push_back(p);
      journal->append(p);
    }
    if (auto failure = journal->flush()) return 1;
    const double end = start + jumps * 0.5;
    const std::string stem =
        formatNumber(end) + "-" + std::to_string(::getpid()) + "-" + std::to_string(round);
    const std::string id = "ID-" + stem;
    if (journal->finish(JournalEnding{end, id, stem})) return 1;
    const UserRecordData record{id,          start, end, end - start, jumps, makeMotionCSV(samples),
                                std::nullopt};
    if (records.saveUserRecordData(record, stem)) return 1;
    const CommitResult commit =
        commitRecordedJumps(settings, settingsFile.parent_path(), journal.get(), jumps);
    if (!commit.total || commit.error) return 1;
    std::printf("saved %s %d\n", stem.c_str(), jumps);
    std::fflush(stdout);
  }
}
