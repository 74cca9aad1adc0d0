// The real program, as separate processes: quitting by signal saves the
// recording, kill -9 loses at most a few seconds of it, a full disk is a
// failure and concurrent runs keep the total exact.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <regex>
#include <thread>

#include "platform/file_key_value_storage.h"
#include "records/file_manager_singleton.h"
#include "records/recording_journal.h"
#include "support/temp_dir.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using Clock = std::chrono::steady_clock;

// A running hopster with its standard output read line by line.
class Program {
 public:
  Program(const fs::path& home, const std::vector<std::string>& args, bool window = false,
          rlim_t fileSizeLimit = RLIM_INFINITY) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::dup2(out[1], STDERR_FILENO);
      const int none = ::open("/dev/null", O_RDONLY);
      ::dup2(none, STDIN_FILENO);
      ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
      ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
      ::setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
      ::setenv("HOME", home.c_str(), 1);
      if (window) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      if (fileSizeLimit != RLIM_INFINITY) {
        // A full disk: writes past the limit fail with EFBIG instead of killing.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      std::vector<char*> argv{const_cast<char*>(HOPSTER_BINARY)};
      for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      ::execv(HOPSTER_BINARY, argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    fd_ = out[0];
  }
  ~Program() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(fd_);
  }

  // Reads output until a line matches `pattern`; returns that line, or
  // nothing after `seconds`.
  std::optional<std::string> waitFor(const std::string& pattern, double seconds = 30.0) {
    const std::regex wanted(pattern);
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
      while (lines_ < output_.size()) {
        const auto end = output_.find('\n', lines_);
        if (end == std::string::npos) break;
        std::string line = output_.substr(lines_, end - lines_);
        lines_ = end + 1;
        if (std::regex_search(line, wanted)) return line;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0 || !readSome(static_cast<int>(left))) return std::nullopt;
    }
  }

  // Sends `signal` and waits for the exit status (-1 after a timeout).
  int stop(int signal, double seconds = 30.0) {
    ::kill(pid_, signal);
    return wait(seconds);
  }
  int wait(double seconds = 60.0) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < deadline) {
      readSome(50);
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        while (readSome(0)) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
    }
    return -1;
  }
  [[nodiscard]] const std::string& output() const { return output_; }

 private:
  bool readSome(int timeoutMs) {
    pollfd wait{fd_, POLLIN, 0};
    if (::poll(&wait, 1, timeoutMs) <= 0) return false;
    char buffer[4096];
    const ssize_t got = ::read(fd_, buffer, sizeof buffer);
    if (got <= 0) return false;
    output_.append(buffer, static_cast<std::size_t>(got));
    return true;
  }

  pid_t pid_ = -1;
  int fd_ = -1;
  std::string output_;
  std::size_t lines_ = 0;
};

struct Home {
  testing::TempDir dir;
  MemoryLog log;
  std::vector<UserRecordData> records() {
    return FileManagerSingleton(dir.path() / "data/hopster/Documents", log).loadAllUserRecordData();
  }
  std::int64_t total() {
    KeyValueStore settings(
        std::make_unique<FileKeyValueStorage>(dir.path() / "config/hopster/settings.json"), log);
    return settings.integer("totalJumps");
  }
  std::int64_t savedJumps() {
    std::int64_t sum = 0;
    for (const auto& record : records()) sum += record.jumps;
    return sum;
  }
};

std::int64_t countIn(const std::string& line) {
  return std::stoll(line.substr(line.find_last_of(' ') + 1));
}

TEST(Quitting, SigtermOrSighupDuringAHeadlessRecordingSavesIt) {
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(strsignal(signal));
    Home home;
    Program hopster(home.dir.path(), {"--headless", "--seconds", "60", "--rate", "50"});
    const auto counted = hopster.waitFor("^Jumps: 3$");
    ASSERT_TRUE(counted) << hopster.output();
    EXPECT_EQ(hopster.stop(signal), 0) << hopster.output();
    EXPECT_THAT(hopster.output(), HasSubstr("Record saved: file://"));
    ASSERT_THAT(home.records(), SizeIs(1));
    EXPECT_GE(home.records()[0].jumps, 3);
    EXPECT_EQ(home.total(), home.records()[0].jumps);
  }
}

TEST(Quitting, ASignalToTheWindowSavesItsRecording) {
  Home home;
  fs::create_directories(home.dir.path() / "config/hopster");
  std::ofstream(home.dir.path() / "config/hopster/settings.json")
      << R"({"hasSeenOnboarding": true})";
  Program hopster(home.dir.path(), {"--start", "--rate", "50"}, /*window=*/true);
  // Tap, three seconds of countdown, a second of standing, then jumps.
  std::this_thread::sleep_for(std::chrono::milliseconds(7500));
  EXPECT_EQ(hopster.stop(SIGTERM), 0) << hopster.output();
  EXPECT_THAT(hopster.output(), HasSubstr("UserRecordData saved successfully"));
  ASSERT_THAT(home.records(), SizeIs(1));
  EXPECT_GE(home.records()[0].jumps, 2);
  EXPECT_EQ(home.total(), home.records()[0].jumps);
}

TEST(Crashes, KillDuringARecordingLosesAtMostTheLastFewSecondsAndIsRecoveredOnce) {
  Home home;
  std::int64_t countedBeforeKill = 0;
  {
    Program hopster(home.dir.path(), {"--headless", "--seconds", "60", "--rate", "50"});
    const auto counted = hopster.waitFor("^Jumps: 12$");
    ASSERT_TRUE(counted) << hopster.output();
    countedBeforeKill = countIn(*counted);
    EXPECT_EQ(hopster.stop(SIGKILL), 128 + SIGKILL);
  }
  EXPECT_THAT(home.records(), IsEmpty());

  Program next(home.dir.path(), {"--headless", "--fast", "--seconds", "1"});
  EXPECT_EQ(next.wait(), 0) << next.output();
  EXPECT_THAT(next.output(), HasSubstr("Recovered a recording of "));
  ASSERT_THAT(home.records(), SizeIs(1));
  const std::int64_t recovered = home.records()[0].jumps;
  // The journal reaches the disk every two seconds: at two jumps a second
  // at most about five jumps are lost.
  EXPECT_LE(recovered, countedBeforeKill);
  EXPECT_GE(recovered, countedBeforeKill - 5);
  EXPECT_EQ(home.total(), recovered);
}

TEST(FullDisk, AFailedSaveIsAFailureAndTheRecordingIsSavedAtTheNextStart) {
  Home home;
  // Room for the journal of ten seconds at 25 Hz and the settings, not for
  // the record's text.
  Program full(home.dir.path(), {"--headless", "--fast", "--seconds", "10", "--seed", "3"}, false,
               40 * 1024);
  EXPECT_EQ(full.wait(), 3) << full.output();
  EXPECT_THAT(full.output(), HasSubstr("Record NOT saved: "));
  EXPECT_THAT(full.output(), HasSubstr("will be saved at the next start"));
  EXPECT_THAT(full.output(), HasSubstr("Total jumps: 0"));
  EXPECT_THAT(full.output(), HasSubstr("Trophies unlocked: none"));
  EXPECT_THAT(home.records(), IsEmpty());
  EXPECT_EQ(home.total(), 0);

  Program next(home.dir.path(), {"--headless", "--fast", "--seconds", "1"});
  EXPECT_EQ(next.wait(), 0) << next.output();
  ASSERT_THAT(home.records(), SizeIs(1));
  EXPECT_GE(home.records()[0].jumps, 15);
  EXPECT_EQ(home.total(), home.records()[0].jumps);
}

TEST(Concurrency, RunsAtTheSameTimeKeepTheTotalExact) {
  Home home;
  std::vector<std::unique_ptr<Program>> runs;
  for (int i = 0; i < 4; ++i) {
    runs.push_back(std::make_unique<Program>(
        home.dir.path(),
        std::vector<std::string>{"--headless", "--fast", "--seconds", std::to_string(20 + i),
                                 "--seed", std::to_string(i + 1)}));
  }
  for (auto& run : runs) EXPECT_EQ(run->wait(), 0) << run->output();
  ASSERT_THAT(home.records(), SizeIs(4));
  EXPECT_EQ(home.total(), home.savedJumps());
}

}  // namespace
}  // namespace hopster
