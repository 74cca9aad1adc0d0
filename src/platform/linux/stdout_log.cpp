#include "platform/linux/stdout_log.h"

#include <cstdio>

namespace hopster {

void StdoutLog::line(std::string_view message) {
  std::fwrite(message.data(), 1, message.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace hopster
