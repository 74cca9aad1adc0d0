#pragma once

#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/failure.h"

namespace hopster {

// Parses `text` into `out`, which must come out a JSON object, in time linear
// in the text's length. Documents nested deeper than `maxDepth` are refused
// before parsing, so no content can make later recursive work on the tree
// (printing it, destroying it) exhaust the stack. Fails (malformed) saying
// why the text is not a usable document.
[[nodiscard]] Status parseJsonObject(std::string_view text, int maxDepth, nlohmann::json& out);

// The message of an exception caught with `catch (...)`.
[[nodiscard]] std::string describeException(const std::exception_ptr& failure);

// `text` with its line breaks turned into spaces: log lines are one line
// each, whatever a file name or error text holds.
[[nodiscard]] std::string oneLine(std::string text);

}  // namespace hopster
