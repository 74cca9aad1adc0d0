#pragma once

#include <array>
#include <cstddef>

#include "platform/uuid_source.h"

namespace hopster {

// Random UUIDs from the kernel's random generator, formatted upper-case by
// libuuid. The random bytes are fetched 4 KiB at a time: one system call per
// UUID (as libuuid's own generator makes) costs microseconds, and the chart
// needs one per sample.
class RandomUuidSource final : public UuidSource {
 public:
  [[nodiscard]] UuidText next() override;

 private:
  static constexpr std::size_t kBufferSize = 4096;
  void refill();

  std::array<unsigned char, kBufferSize> buffer_{};
  std::size_t used_ = kBufferSize;
};

}  // namespace hopster
