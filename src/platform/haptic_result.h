#pragma once

#include <string>
#include <utility>
#include <variant>

namespace hopster {

// A failed haptic call, with the platform's human-readable description.
struct HapticError {
  std::string description;
};

// Either what a haptic call made or the error that stopped it.
template <class T>
class HapticResult {
 public:
  // Implicit on purpose, so devices can `return value;` or `return error;`.
  HapticResult(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT
  HapticResult(HapticError error)                                              // NOLINT
      : state_(std::in_place_index<1>, std::move(error)) {}

  [[nodiscard]] bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  // The value; only when `ok()`.
  [[nodiscard]] const T& value() const& { return std::get<0>(state_); }
  [[nodiscard]] T&& value() && { return std::get<0>(std::move(state_)); }
  [[nodiscard]] const T& operator*() const& { return value(); }
  [[nodiscard]] const T* operator->() const { return &value(); }

  // The error; only when not `ok()`.
  [[nodiscard]] const HapticError& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, HapticError> state_;
};

}  // namespace hopster
