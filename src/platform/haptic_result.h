#pragma once

#include <string>

#include "platform/result.h"

namespace hopster {

// A failed haptic call, with the platform's human-readable description.
struct HapticError {
  std::string description;
};

// Either what a haptic call made or the error that stopped it.
template <class T>
using HapticResult = Result<T, HapticError>;

}  // namespace hopster
