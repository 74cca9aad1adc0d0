#include "platform/linux/posix_io.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace hopster {

std::string errorText(int error) { return std::generic_category().message(error); }

std::string_view trimmed(std::string_view text, std::string_view blanks) {
  const auto first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string printable(std::string_view text, std::size_t limit) {
  std::string out(text.substr(0, limit));
  for (char& c : out) {
    if (c < 0x20 || c > 0x7e) c = '?';
  }
  return out;
}

void UniqueFd::reset(int fd) {
  if (fd_ >= 0 && fd_ != fd) ::close(fd_);
  fd_ = fd;
}

int UniqueFd::close() {
  if (fd_ < 0) return 0;
  const int result = ::close(release());
  return result == 0 ? 0 : errno;
}

}  // namespace hopster
