#pragma once

#include <cstdint>
#include <random>

#include "platform/random_source.h"

namespace hopster {

// A 64-bit Mersenne Twister; seeded from the system's entropy unless a seed is
// given, so tests and simulations can be replayed exactly.
class SeededRandomSource final : public RandomSource {
 public:
  SeededRandomSource();
  explicit SeededRandomSource(std::uint64_t seed) : engine_(seed) {}
  [[nodiscard]] std::uint64_t nextBits() override { return engine_(); }

 private:
  std::mt19937_64 engine_;
};

}  // namespace hopster
