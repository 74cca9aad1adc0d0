#pragma once

#include <utility>
#include <variant>

namespace hopster {

// Either a value or the error that stopped it being made; never both, and
// no partly made value is ever handed out.
template <class T, class Error>
class Result {
 public:
  // Implicit on purpose, so functions can `return value;` or `return error;`.
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}      // NOLINT
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT

  [[nodiscard]] bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  // The value; only when `ok()`.
  [[nodiscard]] const T& value() const& { return std::get<0>(state_); }
  [[nodiscard]] T&& value() && { return std::get<0>(std::move(state_)); }
  [[nodiscard]] const T& operator*() const& { return value(); }
  [[nodiscard]] const T* operator->() const { return &value(); }

  // The error; only when not `ok()`.
  [[nodiscard]] const Error& error() const& { return std::get<1>(state_); }
  [[nodiscard]] Error&& error() && { return std::get<1>(std::move(state_)); }

 private:
  std::variant<T, Error> state_;
};

}  // namespace hopster
