#pragma once

#include <utility>
#include <variant>

#include "trophies/decoding_error.h"

namespace hopster {

// Either a decoded value or the error that stopped its decoding; no partly
// decoded value is ever handed out.
template <class T>
class DecodeResult {
 public:
  // Implicit on purpose, so decoders can `return value;` or `return error;`.
  DecodeResult(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT
  DecodeResult(DecodingError error)                                            // NOLINT
      : state_(std::in_place_index<1>, std::move(error)) {}

  [[nodiscard]] bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  // The value; only when `ok()`.
  [[nodiscard]] const T& value() const& { return std::get<0>(state_); }
  [[nodiscard]] T&& value() && { return std::get<0>(std::move(state_)); }
  [[nodiscard]] const T& operator*() const& { return value(); }
  [[nodiscard]] const T* operator->() const { return &value(); }

  // The error; only when not `ok()`.
  [[nodiscard]] const DecodingError& error() const& { return std::get<1>(state_); }
  [[nodiscard]] DecodingError&& error() && { return std::get<1>(std::move(state_)); }

 private:
  std::variant<T, DecodingError> state_;
};

}  // namespace hopster
