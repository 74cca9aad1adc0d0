#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <span>
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

// The same for a file made of `pieces` one after another, so a large content
// held in parts need not be joined first.
[[nodiscard]] std::optional<std::string> writeFileAtomically(
    const std::filesystem::path& target, std::span<const std::string_view> pieces,
    const BeforeReplace& beforeReplace = {});

// Writes every byte of `bytes` to `fd`, resuming after short writes and
// interrupted calls. Returns 0, or the errno of the write that failed.
[[nodiscard]] int writeAll(int fd, std::string_view bytes);

// Flushes `folder` itself, so that a file created or renamed in it survives a
// crash. File systems that cannot flush folders (EINVAL) count as done.
[[nodiscard]] std::optional<std::string> syncFolder(const std::filesystem::path& folder);

}  // namespace hopster
