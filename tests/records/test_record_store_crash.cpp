#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <set>
#include <string>

#include "records/file_manager_singleton.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

constexpr int kSharedNameEvery = 5;

// Saves records in a loop until killed, reporting each save that completed.
[[noreturn]] void saveForever(const std::filesystem::path& folder, int firstId, int report) {
  MemoryLog log;
  FileManagerSingleton store(folder, log);
  const std::string csv(64 * 1024, '7');
  for (int id = firstId;; ++id) {
    UserRecordData record{std::to_string(id), 1.0, 2.0, 1.0, id, csv, std::nullopt};
    // Every fifth save replaces the same file, the others make new ones.
    const std::string stem = id % kSharedNameEvery == 0 ? "shared" : std::to_string(id);
    log.clear();
    store.saveUserRecordData(record, stem);
    if (!log.lines().empty() && log.lines()[0].starts_with("UserRecordData saved")) {
      if (write(report, &id, sizeof id) != sizeof id) _exit(1);
    }
  }
}

TEST(RecordStoreCrash, AKilledSaverNeverLeavesATornFileOrLosesASavedRecord) {
  testing::TempDir dir;
  std::mt19937 random(20261206);
  std::set<int> reported;
  int lastShared = -1;
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
    do {
      reported.insert(id);
      if (id % kSharedNameEvery == 0) lastShared = std::max(lastShared, id);
    } while (read(pipeFds[0], &id, sizeof id) == sizeof id);
    close(pipeFds[0]);
  }
  ASSERT_GE(reported.size(), 40u);

  MemoryLog log;
  FileManagerSingleton store(dir.path(), log);
  const auto records = store.loadAllUserRecordData();
  ASSERT_EQ(log.lines().size(), 1u) << "no file failed to load: " << log.lines()[0];
  std::set<int> loaded;
  int shared = -1;
  for (const auto& record : records) {
    const int id = std::stoi(record.id);
    EXPECT_EQ(record.jumps, id);
    EXPECT_EQ(record.csvText.size(), 64u * 1024u);
    loaded.insert(id);
    if (id % kSharedNameEvery == 0) shared = id;
  }
  for (int id : reported) {
    if (id % kSharedNameEvery != 0) {
      EXPECT_TRUE(loaded.count(id)) << "record " << id << " lost";
    }
  }
  // The shared file holds the last reported save, or one that completed just
  // before the kill could be reported.
  EXPECT_GE(shared, lastShared);
}

}  // namespace
}  // namespace hopster
