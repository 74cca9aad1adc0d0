#include "trophies/decoding_error.h"

#include <utility>

namespace hopster {

DecodingError DecodingError::typeMismatch(std::string expectedType, std::string codingPath,
                                          std::string debugDescription) {
  return {Kind::typeMismatch, std::move(expectedType), std::move(codingPath),
          std::move(debugDescription)};
}

DecodingError DecodingError::keyNotFound(std::string key, std::string codingPath) {
  return {Kind::keyNotFound, std::move(key), std::move(codingPath), {}};
}

DecodingError DecodingError::valueNotFound(std::string expectedType, std::string codingPath,
                                           std::string debugDescription) {
  return {Kind::valueNotFound, std::move(expectedType), std::move(codingPath),
          std::move(debugDescription)};
}

DecodingError DecodingError::dataCorrupted(std::string codingPath, std::string debugDescription) {
  return {Kind::dataCorrupted, {}, std::move(codingPath), std::move(debugDescription)};
}

std::string DecodingError::description() const {
  std::string text(decodingErrorKindName(kind));
  if (kind == Kind::keyNotFound) {
    text += "(\"" + subject + "\")";
  } else if (!subject.empty()) {
    text += "(" + subject + ")";
  }
  if (!codingPath.empty()) text += " at " + codingPath;
  if (!debugDescription.empty()) text += ": " + debugDescription;
  return text;
}

std::string_view decodingErrorKindName(DecodingError::Kind kind) {
  switch (kind) {
    case DecodingError::Kind::typeMismatch:
      return "typeMismatch";
    case DecodingError::Kind::keyNotFound:
      return "keyNotFound";
    case DecodingError::Kind::valueNotFound:
      return "valueNotFound";
    case DecodingError::Kind::dataCorrupted:
      return "dataCorrupted";
  }
  return "dataCorrupted";
}

std::string joinCodingPath(std::string_view path, std::string_view key) {
  std::string joined(path);
  if (!joined.empty()) joined += '.';
  joined += key;
  return joined;
}

}  // namespace hopster
