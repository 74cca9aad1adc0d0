#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace hopster {

// Cuts bytes that arrive in chunks (reads from a pipe or a file) into lines,
// keeping the start of a line whose end has not arrived yet. A line longer
// than `longestLine` bytes is dropped as soon as it is known to be too long,
// so a stream without line feeds is never buffered without bound.
class LineSplitter {
 public:
  explicit LineSplitter(std::size_t longestLine) : longestLine_(longestLine) {}

  // Hands each line that `bytes` completes to `onLine(std::string_view)`,
  // without its line feed. Returns how many lines were dropped for their
  // length (each counted once, when it grows past the limit).
  template <typename OnLine>
  std::size_t feed(std::string_view bytes, OnLine&& onLine) {
    std::size_t dropped = 0;
    while (!bytes.empty()) {
      const auto end = bytes.find('\n');
      const std::string_view piece = bytes.substr(0, end);
      if (!discarding_) {
        if (pending_.size() + piece.size() > longestLine_) {
          pending_.clear();
          discarding_ = true;
          ++dropped;
        } else if (end == std::string_view::npos) {
          pending_.append(piece);
        } else if (pending_.empty()) {
          onLine(piece);
        } else {
          pending_.append(piece);
          onLine(std::string_view(pending_));
        }
      }
      if (end == std::string_view::npos) break;
      pending_.clear();
      discarding_ = false;
      bytes.remove_prefix(end + 1);
    }
    return dropped;
  }

  // The end of the input: hands over a last line that lacks its line feed,
  // then starts afresh.
  template <typename OnLine>
  void finish(OnLine&& onLine) {
    if (!discarding_ && !pending_.empty()) onLine(std::string_view(pending_));
    pending_.clear();
    discarding_ = false;
  }

 private:
  std::size_t longestLine_;
  std::string pending_;      // the start of a line whose end has not arrived
  bool discarding_ = false;  // inside a line already dropped for its length
};

}  // namespace hopster
