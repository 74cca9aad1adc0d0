#pragma once

#include "platform/uuid_source.h"

namespace hopster {

// Deterministic UUIDs: 00000000-0000-4000-8000-000000000001, ...002, ... For
// tests, and for recounting a recording's jumps, whose chart points are never
// kept.
class SequentialUuidSource final : public UuidSource {
 public:
  [[nodiscard]] UuidText next() override;

 private:
  unsigned long long counter_ = 0;
};

}  // namespace hopster
