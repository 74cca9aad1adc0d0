#pragma once

#include <sys/resource.h>

#include <csignal>

namespace hopster::testing {

// A full disk for this process, without filling any real one: while it
// lives, no file of the process grows past `bytes`. A write that reaches the
// limit is cut short there and the next one fails with EFBIG, as a write to a
// full disk is cut short and then fails with ENOSPC. Only the soft limit is
// lowered, so `lift` (the disk has room again) and the destructor may raise
// it back.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);  // EFBIG instead of a kill
    set(bytes);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  void set(rlim_t bytes) {
    const rlimit limit{bytes, saved_.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  void lift() { ::setrlimit(RLIMIT_FSIZE, &saved_); }

 private:
  rlimit saved_{};
  void (*previousHandler_)(int) = SIG_DFL;
};

}  // namespace hopster::testing
