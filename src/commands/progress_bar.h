#pragma once

#include <cstddef>
#include <iosfwd>

namespace hopster {

// A one-line progress bar on standard error, redrawn in place.
class ProgressBar {
 public:
  ProgressBar(std::ostream& err, std::size_t total, bool shown)
      : err_(err), total_(total), shown_(shown) {}
  ~ProgressBar() { clear(); }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;
  // Draws the bar at `done` of the total, when it is shown at all.
  void show(std::size_t done);
  // Takes the bar off the line.
  void clear();

 private:
  std::ostream& err_;
  std::size_t total_;
  bool shown_;
  bool drawn_ = false;
};

}  // namespace hopster
