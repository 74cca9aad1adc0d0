#include "app/quit_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>

namespace hopster {
namespace {

constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};

std::atomic<int> first{0};
std::array<int, 2> wakePipe{-1, -1};
std::array<struct sigaction, kSignals.size()> previous{};

extern "C" void onQuitSignal(int number) {
  const int saved = errno;  // a handler must leave errno as it found it
  int none = 0;
  first.compare_exchange_strong(none, number);
  const char byte = 1;
  if (wakePipe[1] >= 0 && ::write(wakePipe[1], &byte, 1) < 0) {
    // A full pipe already wakes its reader.
  }
  errno = saved;
}

}  // namespace

QuitSignals::QuitSignals() {
  first = 0;
  if (::pipe2(wakePipe.data(), O_CLOEXEC | O_NONBLOCK) != 0) wakePipe = {-1, -1};
  struct sigaction action {};
  action.sa_handler = onQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < kSignals.size(); ++i) {
    ::sigaction(kSignals[i], &action, &previous[i]);
  }
}

QuitSignals::~QuitSignals() {
  for (std::size_t i = 0; i < kSignals.size(); ++i) {
    ::sigaction(kSignals[i], &previous[i], nullptr);
  }
  for (int& fd : wakePipe) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

bool QuitSignals::received() const { return first != 0; }

int QuitSignals::signal() const { return first; }

int QuitSignals::descriptor() const { return wakePipe[0]; }

}  // namespace hopster
