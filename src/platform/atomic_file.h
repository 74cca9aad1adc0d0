#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace hopster {

// Runs while a new file's content is complete and flushed under its temporary
// name, before that name replaces the target. An error returned aborts the
// replacement: the temporary file is removed and the target keeps its content.
using BeforeReplace =
    std::function<std::optional<std::string>(const std::filesystem::path& temporaryFile)>;

// Replaces `target` with `bytes` so that a crash or power loss leaves either
// the old content or the new, never a mix: the bytes go to a temporary file in
// the same folder (named ".<name>.XXXXXX.tmp", so folder listings that look
// for a file type never see it), are flushed to the disk, and the temporary
// file is renamed over the target; then the folder itself is flushed so the
// rename lasts. An existing target's permissions are kept; a new file is
// readable by its owner only. `beforeReplace`, when given, runs just before the
// rename. Returns an error description on failure (the hook's own error when it
// refuses), after removing the temporary file.
[[nodiscard]] std::optional<std::string> writeFileAtomically(
    const std::filesystem::path& target, std::string_view bytes,
    const BeforeReplace& beforeReplace = {});

// Reads the whole file at `path` into `out`. Returns an error description on
// failure (a missing file, a folder, no permission), leaving `out` empty.
[[nodiscard]] std::optional<std::string> readWholeFile(const std::filesystem::path& path,
                                                       std::string& out);

}  // namespace hopster
