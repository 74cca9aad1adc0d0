#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace hopster {

// Whether `word`, the first argument, names a data command: history, export,
// recount, stats or trophies.
[[nodiscard]] bool isDataCommand(std::string_view word);

// The --help text of the data command `name`; none for another word.
[[nodiscard]] std::optional<std::string> dataCommandHelp(std::string_view name);

// The command list that `hopster --help` ends with.
[[nodiscard]] std::string dataCommandsUsage();

}  // namespace hopster
