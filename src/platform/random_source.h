#pragma once

#include <cstddef>
#include <cstdint>

namespace hopster {

// Source of random numbers: draws for reminder texts, noise for the simulated
// headphones.
class RandomSource {
 public:
  virtual ~RandomSource() = default;
  [[nodiscard]] virtual std::uint64_t nextBits() = 0;

  // A uniform double in [0, 1).
  [[nodiscard]] double nextUnit();
  // A uniform index in [0, count); count must be at least 1.
  [[nodiscard]] std::size_t nextIndex(std::size_t count);
  // A normally distributed value (Box-Muller).
  [[nodiscard]] double nextGaussian(double mean, double deviation);
};

}  // namespace hopster
