#pragma once

namespace hopster {

// Catches SIGINT, SIGTERM and SIGHUP while it lives, so the program can stop
// and save a running recording before it quits instead of dying with it.
// The previous handlers come back when it goes. One at a time per process.
class QuitSignals {
 public:
  QuitSignals();
  ~QuitSignals();
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

  // Whether one of the signals has arrived.
  [[nodiscard]] bool received() const;
  // The signal that arrived first, or 0.
  [[nodiscard]] int signal() const;
  // A descriptor that becomes readable when a signal arrives, for an event
  // loop to watch (non-blocking; the caller never reads it).
  [[nodiscard]] int descriptor() const;
};

}  // namespace hopster
