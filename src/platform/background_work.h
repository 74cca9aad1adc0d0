#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "platform/scheduler.h"

namespace hopster {

// Work that would hold up the main thread (encoding and writing a large
// file, waiting for the disk) is handed over here. Jobs run one at a time, in
// the order they were handed over, off the main thread; each job's `done`
// then runs on the main thread. Handing over and waiting happen on the main
// thread only.
class BackgroundWork {
 public:
  virtual ~BackgroundWork() = default;

  // Runs `work` off the main thread after every job handed over before it,
  // then `done` on the main thread.
  virtual void submit(std::function<void()> work, std::function<void()> done) = 0;

  // Blocks until the `work` of every job handed over so far has finished.
  // Their `done` still arrive later through the main loop (or never, when
  // that loop has ended), so a caller that finishes a job itself after
  // waiting must make the late `done` do nothing.
  virtual void waitForIdle() = 0;
};

// `work` off the main thread, then `done` with its result on the main thread.
template <typename R>
void runInBackground(BackgroundWork& background, std::function<R()> work,
                     std::function<void(R)> done) {
  auto result = std::make_shared<std::optional<R>>();
  background.submit([result, work = std::move(work)] { result->emplace(work()); },
                    [result, done = std::move(done)] { done(std::move(**result)); });
}

// One worker thread, started with the first job; `done` goes back to the main
// thread through the scheduler's post. The destructor lets the jobs already
// handed over finish their work first, so nothing handed over is lost; the
// scheduler must outlive this object.
class WorkerThread final : public BackgroundWork {
 public:
  explicit WorkerThread(Scheduler& mainThread) : mainThread_(mainThread) {}
  ~WorkerThread() override;
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  void submit(std::function<void()> work, std::function<void()> done) override;
  void waitForIdle() override;

 private:
  struct Job {
    std::function<void()> work;
    std::function<void()> done;
  };
  void loop();

  Scheduler& mainThread_;
  std::mutex mutex_;
  std::condition_variable wake_;  // a job arrived, or the worker is to end
  std::condition_variable idle_;  // a job's work finished
  std::deque<Job> jobs_;
  bool running_ = false;  // a job's work is under way
  bool stopping_ = false;
  std::thread thread_;
};

// Runs each job at once on the calling thread, work then done: the behaviour
// of a program that has no worker, for callers that need no responsiveness.
class InlineBackgroundWork final : public BackgroundWork {
 public:
  void submit(std::function<void()> work, std::function<void()> done) override {
    work();
    done();
  }
  void waitForIdle() override {}
};

// A stand-in for tests that decides when the work runs and when `done` is
// delivered, all on the calling thread. While not held, jobs run and complete
// at once, like InlineBackgroundWork; while held they wait for runWork() and
// deliver(), so the state between handing over and completion can be seen.
class ManualBackgroundWork final : public BackgroundWork {
 public:
  void submit(std::function<void()> work, std::function<void()> done) override;
  // Runs the work of every waiting job; their `done` wait for deliver(), as a
  // real worker's wait for the main loop.
  void waitForIdle() override { runWork(); }

  // Holds new jobs back (true) or lets them complete at once again (false;
  // jobs already held stay held until runWork() and deliver()).
  void hold(bool held) { held_ = held; }
  // Runs the work of the waiting jobs, in order. Returns how many ran.
  std::size_t runWork();
  // Runs the `done` of the jobs whose work has run, in order. Returns how many.
  std::size_t deliver();
  // runWork() then deliver().
  void completeAll() {
    runWork();
    deliver();
  }
  [[nodiscard]] std::size_t waitingWork() const { return work_.size(); }
  [[nodiscard]] std::size_t waitingDone() const { return done_.size(); }
  [[nodiscard]] std::size_t submitted() const { return submitted_; }

 private:
  bool held_ = false;
  std::size_t submitted_ = 0;
  std::deque<std::pair<std::function<void()>, std::function<void()>>> work_;
  std::deque<std::function<void()>> done_;
};

}  // namespace hopster
