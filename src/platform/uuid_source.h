#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace hopster {

// A UUID in its canonical 36-character text form (8-4-4-4-12 upper-case hex
// digits). Kept inline rather than on the heap: chart points get one per sample.
class UuidText {
 public:
  static constexpr std::size_t kLength = 36;

  UuidText() { chars_.fill('0'); }
  explicit UuidText(std::string_view text);

  [[nodiscard]] std::string_view view() const { return {chars_.data(), chars_.size()}; }
  [[nodiscard]] std::string str() const { return std::string(view()); }
  [[nodiscard]] char* data() { return chars_.data(); }

  friend bool operator==(const UuidText&, const UuidText&) = default;

 private:
  std::array<char, kLength> chars_{};
};

// Source of fresh random (version 4) UUIDs.
class UuidSource {
 public:
  virtual ~UuidSource() = default;
  [[nodiscard]] virtual UuidText next() = 0;
};

}  // namespace hopster
