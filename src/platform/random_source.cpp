#include "platform/random_source.h"

#include <cmath>
#include <cstdint>
#include <numbers>

namespace hopster {

double RandomSource::nextUnit() {
  // 53 random bits give every double in [0, 1) on the 2^-53 grid.
  return static_cast<double>(nextBits() >> 11) * 0x1.0p-53;
}

std::size_t RandomSource::nextIndex(std::size_t count) {
  // Rejection sampling keeps every index equally likely.
  const std::uint64_t n = count;
  const std::uint64_t limit = UINT64_MAX - UINT64_MAX % n;
  std::uint64_t bits = nextBits();
  while (bits >= limit) bits = nextBits();
  return static_cast<std::size_t>(bits % n);
}

double RandomSource::nextGaussian(double mean, double deviation) {
  const double u1 = 1.0 - nextUnit();  // in (0, 1]: log stays finite
  const double u2 = nextUnit();
  const double z = std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
  return mean + deviation * z;
}

}  // namespace hopster
