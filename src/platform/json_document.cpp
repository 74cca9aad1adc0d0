#include "platform/json_document.h"

#include <algorithm>

namespace hopster {
namespace {

struct TooDeep {};

}  // namespace

std::optional<std::string> parseJsonObject(std::string_view text, int maxDepth,
                                           nlohmann::json& out) {
  using nlohmann::json;
  if (text.empty()) return "the file is empty";
  const json::parser_callback_t limitDepth = [maxDepth](int depth, json::parse_event_t event,
                                                        json&) {
    const bool opens =
        event == json::parse_event_t::object_start || event == json::parse_event_t::array_start;
    if (opens && depth >= maxDepth) throw TooDeep{};
    return true;
  };
  try {
    out = json::parse(text, limitDepth);
  } catch (const TooDeep&) {
    return "nested deeper than " + std::to_string(maxDepth) + " levels";
  } catch (const json::parse_error& error) {
    return "not valid JSON, error at byte " + std::to_string(error.byte);
  }
  if (!out.is_object()) return std::string("expected a JSON object, found ") + out.type_name();
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
