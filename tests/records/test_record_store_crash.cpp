#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <set>
#include <string>

#include "records/record_store.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

// Every fifth save replaces the same file, the others make new ones.
bool isShared(int id) { return id % 5 == 0; }

// Saves records in a loop until killed, reporting each save that completed.
[[noreturn]] void saveForever(const std::filesystem::path& folder, int firstId, int report) {
  MemoryLog log;
  RecordStore store(folder, log);
  const std::string csv(64 * 1024, '7');
  for (int id = firstId;; ++id) {
    log.clear();
    store.saveUserRecordData({std::to_string(id), 1.0, 2.0, 1.0, id, csv, std::nullopt},
                             isShared(id) ? "shared" : std::to_string(id));
    if (!log.lines().empty() && log.lines()[0].starts_with("UserRecordData saved") &&
        write(report, &id, sizeof id) != sizeof id) {
      _exit(1);
    }
  }
}

TEST(RecordStoreCrash, AKilledSaverNeverLeavesATornFileOrLosesASavedRecord) {
  testing::TempDir dir;
  std::mt19937 random(20261206);
  std::set<int> reported;
  for (int round = 0; round < 40; ++round) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(pipeFds[0]);
      saveForever(dir.path(), round * 1000000, pipeFds[1]);
    }
    close(pipeFds[1]);
    // Wait for the first completed save, so every round saves something
    // however slow the machine, then kill at a random moment after it.
    int id = 0;
    ASSERT_EQ(read(pipeFds[0], &id, sizeof id), static_cast<ssize_t>(sizeof id));
    usleep(std::uniform_int_distribution<useconds_t>(0, 20000)(random));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    reported.insert(id);
    while (read(pipeFds[0], &id, sizeof id) == sizeof id) reported.insert(id);
    close(pipeFds[0]);
  }

  MemoryLog log;
  const auto records = RecordStore(dir.path(), log).loadAllUserRecordData();
  ASSERT_EQ(log.lines().size(), 1u) << "no file failed to load: " << log.lines()[0];
  std::set<int> loaded;
  int shared = -1;
  for (const auto& record : records) {
    const int id = std::stoi(record.id);
    EXPECT_EQ(record.jumps, id);
    loaded.insert(id);
    if (isShared(id)) shared = id;
  }
  // The shared file holds the last reported save to it, or one that completed
  // just before the kill could be reported.
  for (int id : reported) {
    EXPECT_TRUE(isShared(id) ? shared >= id : loaded.count(id) == 1) << "record " << id << " lost";
  }
}

}  // namespace
}  // namespace hopster
