#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/linux/posix_io.h"

namespace hopster {

// Opens a data file (a record, the settings, the reminder schedule, a
// journal, a replay file) for reading, refusing anything that is not a
// regular file after following links: a FIFO, a device, a socket or a folder
// is refused without blocking (a FIFO is opened without waiting for a
// writer), so no such file can hang or flood a reader. Returns the open
// descriptor, or none with the reason in `error`: the system's error text,
// or "not a regular file (a FIFO)" and the like.
[[nodiscard]] UniqueFd openDataFile(const std::filesystem::path& path, std::string& error);

// Reads the whole data file at `path` into `out`, refusing what openDataFile
// refuses and files larger than `maxBytes` ("larger than N bytes"). Returns
// the reason on failure, leaving `out` empty.
[[nodiscard]] std::optional<std::string> readDataFile(const std::filesystem::path& path,
                                                      std::size_t maxBytes, std::string& out);

// What kind of file a stat mode names: "a FIFO", "a folder", "a socket",
// "a character device", "a block device", "a regular file" or "a special file".
[[nodiscard]] std::string fileKindName(unsigned mode);

}  // namespace hopster
