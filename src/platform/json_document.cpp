#include "platform/json_document.h"

#include <algorithm>

namespace hopster {
namespace {

// Whether `text` nests arrays and objects deeper than `maxDepth`, in one pass
// over its bytes: brackets inside strings do not count, and a backslash in a
// string hides the character after it. Anything else about the text is left
// for the parser to judge.
bool nestsDeeperThan(std::string_view text, int maxDepth) {
  int depth = 0;
  bool inString = false;
  bool escaped = false;
  for (const char c : text) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > maxDepth) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

}  // namespace

Status parseJsonObject(std::string_view text, int maxDepth, nlohmann::json& out) {
  using nlohmann::json;
  const auto malformed = [](std::string why) {
    return Failure{FailureKind::malformed, std::move(why)};
  };
  if (text.empty()) return malformed("the file is empty");
  // The depth is checked before parsing rather than with a parser callback:
  // the callback makes parsing slow down with the square of an array's length.
  if (nestsDeeperThan(text, maxDepth)) {
    return malformed("nested deeper than " + std::to_string(maxDepth) + " levels");
  }
  try {
    out = json::parse(text);
  } catch (const json::parse_error& error) {
    return malformed("not valid JSON, error at byte " + std::to_string(error.byte));
  }
  if (!out.is_object()) {
    return malformed(std::string("expected a JSON object, found ") + out.type_name());
  }
  return std::nullopt;
}

std::string describeException(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
    return "unknown error";
  }
}

std::string oneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  return text;
}

}  // namespace hopster
