#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>

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

}  // namespace hopster
