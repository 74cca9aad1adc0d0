#include "commands/progress_bar.h"

#include <ostream>
#include <string>

namespace hopster {

void ProgressBar::show(std::size_t done) {
  if (!shown_) return;
  constexpr std::size_t kWidth = 30;
  const std::size_t filled = total_ == 0 ? kWidth : done * kWidth / total_;
  err_ << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, '.') << "] " << done
       << "/" << total_ << std::flush;
  drawn_ = true;
}

void ProgressBar::clear() {
  if (drawn_) err_ << "\r\033[K" << std::flush;
  drawn_ = false;
}

}  // namespace hopster
