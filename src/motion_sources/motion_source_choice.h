#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace hopster {

// Where motion samples come from.
enum class MotionSourceKind {
  simulated,      // "sim": synthetic jumping
  replay,         // "replay:FILE": a recorded motion CSV or saved record file
  standardInput,  // "stdin": live stream lines on standard input
  namedPipe,      // "fifo:PATH": live stream lines from a named pipe (or file) opened by name
};

// A motion source as chosen on the command line.
struct MotionSourceChoice {
  MotionSourceKind kind = MotionSourceKind::simulated;
  std::string path;  // the FILE or PATH of replay and fifo; empty otherwise

  friend bool operator==(const MotionSourceChoice&, const MotionSourceChoice&) = default;
};

// The accepted forms, for usage texts.
inline constexpr std::string_view kMotionSourceForms = "sim, replay:FILE, stdin or fifo:PATH";

// Reads a motion source value: "sim", "replay:FILE", "stdin" or "fifo:PATH".
// Everything after the first colon is the path, colons included. On a
// mistake, returns nothing and puts a one-line explanation into `error`.
[[nodiscard]] std::optional<MotionSourceChoice> parseMotionSource(std::string_view text,
                                                                  std::string& error);

}  // namespace hopster
