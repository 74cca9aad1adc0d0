#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace hopster {

// The C library's text for an errno value ("No space left on device").
[[nodiscard]] std::string errorText(int error);

// `text` without the blanks (by default spaces, tabs and line ends) that
// lead or trail it.
[[nodiscard]] std::string_view trimmed(std::string_view text, std::string_view blanks = " \t\r\n");

// At most `limit` characters of `text`, anything unprintable as '?': words
// from outside (a client's, a file's) never reach the log unchecked.
[[nodiscard]] std::string printable(std::string_view text, std::size_t limit = 120);

// Owns one file descriptor and closes it when it goes; -1 owns nothing.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  [[nodiscard]] int get() const { return fd_; }
  [[nodiscard]] bool valid() const { return fd_ >= 0; }
  explicit operator bool() const { return valid(); }

  // Hands the descriptor on: it is no longer closed here.
  [[nodiscard]] int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes what is owned (if anything) and owns `fd` instead.
  void reset(int fd = -1);
  // Closes now; 0, or the errno close gave (a write-back failure on some
  // file systems shows only here).
  int close();

 private:
  int fd_ = -1;
};

}  // namespace hopster
