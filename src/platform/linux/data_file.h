#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/failure.h"
#include "platform/linux/posix_io.h"

namespace hopster {

// Opens a data file (a record, the settings, the reminder schedule, a
// journal, a replay file) for reading, refusing anything that is not a
// regular file after following links: a FIFO, a device, a socket or a folder
// is refused without blocking (a FIFO is opened without waiting for a
// writer), so no such file can hang or flood a reader. Returns the open
// descriptor, or the failure: the system's (a missing file is notFound), or
// notRegularFile with "not a regular file (a FIFO)" and the like.
[[nodiscard]] Outcome<UniqueFd> openDataFile(const std::filesystem::path& path);

// The whole data file at `path`, refusing what openDataFile refuses and
// files larger than `maxBytes` (tooLarge, "larger than N bytes").
[[nodiscard]] Outcome<std::string> readDataFile(const std::filesystem::path& path,
                                                std::size_t maxBytes);

// The failure of a file larger than `maxBytes`.
[[nodiscard]] Failure tooLargeFailure(std::size_t maxBytes);

// What kind of file a stat mode names: "a FIFO", "a folder", "a socket",
// "a character device", "a block device", "a regular file" or "a special file".
[[nodiscard]] std::string fileKindName(unsigned mode);

}  // namespace hopster
