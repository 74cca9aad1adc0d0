#include "platform/linux/worker_thread.h"

#include <utility>

namespace hopster {

WorkerThread::~WorkerThread() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void WorkerThread::submit(std::function<void()> work, std::function<void()> done) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(Job{std::move(work), std::move(done)});
    if (!thread_.joinable()) thread_ = std::thread([this] { loop(); });
  }
  wake_.notify_one();
}

void WorkerThread::waitForIdle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return jobs_.empty() && !running_; });
}

void WorkerThread::loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    // Jobs handed over before the end are still done.
    wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty()) return;
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    running_ = true;
    lock.unlock();
    job.work();
    job.work = nullptr;  // whatever it held is let go here, off the main thread
    mainThread_.post(std::move(job.done));
    lock.lock();
    running_ = false;
    idle_.notify_all();
  }
}

}  // namespace hopster
