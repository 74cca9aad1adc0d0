#pragma once

#include "platform/uuid_source.h"

namespace hopster {

// One point of the live chart of vertical acceleration. Points are told apart
// by `id`, fresh for every point even when two samples are equal.
struct AccelerationData {
  UuidText id;
  double time = 0.0;           // wall clock when the point was made, s since 1970
  double zAcceleration = 0.0;  // world-frame vertical acceleration, g
};

}  // namespace hopster
