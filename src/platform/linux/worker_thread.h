#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/background_work.h"
#include "platform/scheduler.h"

namespace hopster {

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

}  // namespace hopster
