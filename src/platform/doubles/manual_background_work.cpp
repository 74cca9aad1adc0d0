#include "platform/doubles/manual_background_work.h"

namespace hopster {

void ManualBackgroundWork::submit(std::function<void()> work, std::function<void()> done) {
  ++submitted_;
  if (!held_ && work_.empty() && done_.empty()) {
    work();
    done();
    return;
  }
  work_.emplace_back(std::move(work), std::move(done));
}

std::size_t ManualBackgroundWork::runWork() {
  std::size_t ran = 0;
  while (!work_.empty()) {
    auto job = std::move(work_.front());
    work_.pop_front();
    job.first();
    done_.push_back(std::move(job.second));
    ++ran;
  }
  return ran;
}

std::size_t ManualBackgroundWork::deliver() {
  std::size_t delivered = 0;
  while (!done_.empty()) {
    auto done = std::move(done_.front());
    done_.pop_front();
    done();
    ++delivered;
  }
  return delivered;
}

}  // namespace hopster
