#pragma once

#include <cstdio>
#include <cstdlib>

namespace hopster {

// Stops the program, naming the property, when something every input must
// keep is broken: libFuzzer then saves the input as a crash, and the corpus
// test fails on it.
inline void requireInvariant(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "fuzz invariant broken: %s\n", property);
  std::abort();
}

}  // namespace hopster
