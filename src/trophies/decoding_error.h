#pragma once

#include <string>
#include <string_view>

namespace hopster {

// Why a JSON value could not be read as the value the program expects, and
// where in the document that happened.
struct DecodingError {
  enum class Kind {
    typeMismatch,   // the value has another JSON type than the one expected
    keyNotFound,    // a required member is missing
    valueNotFound,  // the value is null where a value is required
    dataCorrupted,  // the value has the right type but cannot be used
  };

  Kind kind = Kind::dataCorrupted;
  // The name of the type being read (typeMismatch, valueNotFound), or the
  // missing key (keyNotFound); empty for dataCorrupted.
  std::string subject;
  // Member names from the document's root to the value, joined by ".", such
  // as "unlockedTrophy.difficulty"; empty at the root.
  std::string codingPath;
  std::string debugDescription;

  [[nodiscard]] static DecodingError typeMismatch(std::string expectedType, std::string codingPath,
                                                  std::string debugDescription);
  [[nodiscard]] static DecodingError keyNotFound(std::string key, std::string codingPath);
  [[nodiscard]] static DecodingError valueNotFound(std::string expectedType, std::string codingPath,
                                                   std::string debugDescription);
  [[nodiscard]] static DecodingError dataCorrupted(std::string codingPath,
                                                   std::string debugDescription);

  // One readable line, such as
  // `typeMismatch(Bool) at unlockedTrophy.hidden: Expected to decode Bool but found a number
  // instead.`
  [[nodiscard]] std::string description() const;
};

// The kind's name as used in descriptions, e.g. "keyNotFound".
[[nodiscard]] std::string_view decodingErrorKindName(DecodingError::Kind kind);

// The coding path of member `key` inside the value at `path`.
[[nodiscard]] std::string joinCodingPath(std::string_view path, std::string_view key);

}  // namespace hopster
