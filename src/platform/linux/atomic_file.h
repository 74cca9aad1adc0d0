#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/failure.h"

namespace hopster {

// Runs while a new file's content is complete and flushed under its temporary
// name, before that name replaces the target. An error returned aborts the
// replacement: the temporary file is removed and the target keeps its content.
// For a target written in place (see below) it runs before the first byte is
// written, with an empty path.
using BeforeReplace = std::function<Status(const std::filesystem::path& temporaryFile)>;

struct FileWriteOptions {
  BeforeReplace beforeReplace;
  // The permissions of the written file. Unset, a replaced file keeps its own
  // and a new one is readable by its owner only; set, the file gets exactly
  // these, whatever was there before.
  std::optional<unsigned> mode;
};

// Where a write to a path lands, found by writeDestination().
struct WriteDestination {
  // The regular file (or missing name) to replace atomically, reached by
  // following every symbolic link; or, when `inPlace`, the path to open and
  // write as it is.
  std::filesystem::path path;
  // A FIFO, a device, a pipe or terminal behind /dev/stdout or /dev/fd/N:
  // opened and written where it is, nothing created, renamed or truncated.
  bool inPlace = false;
  // When the path is one of this process's own descriptors (/dev/stdout,
  // /dev/fd/N, /proc/self/fd/N), that descriptor, written through directly
  // so its offset and append mode hold; otherwise -1.
  int ownDescriptor = -1;
};

// Decides how a write to `target`, a path the user or the system names, is
// made: a missing or regular file is replaced atomically; a symbolic link is
// followed (relative links from their own folder) and what it leads to is
// treated by the same rule, so the link stays a link; anything else but a
// folder is written in place. Fails for a folder (notRegularFile), a link
// loop or a path that cannot be inspected.
[[nodiscard]] Status writeDestination(const std::filesystem::path& target, WriteDestination& out);

// Writes `bytes` to `target` by the rule of writeDestination(). A replacement
// is atomic, so a crash or power loss leaves either the old content or the
// new, never a mix: the bytes go to a temporary file in the same folder
// (named ".<name>.XXXXXX.tmp", so folder listings that look for a file type
// never see it), are flushed to the disk, and the temporary file is renamed
// over the target; then the folder itself is flushed so the rename lasts.
// `options.beforeReplace`, when given, runs just before the rename. Returns the
// failure, its kind from the system's error ("Could not write <path>: No
// space left on device" is noSpace), or the hook's own when it refuses, after
// removing the temporary file.
[[nodiscard]] Status writeFileAtomically(const std::filesystem::path& target,
                                         std::string_view bytes,
                                         const FileWriteOptions& options = {});

// The same for a file made of `pieces` one after another, so a large content
// held in parts need not be joined first.
[[nodiscard]] Status writeFileAtomically(const std::filesystem::path& target,
                                         std::span<const std::string_view> pieces,
                                         const FileWriteOptions& options = {});

// Writes every byte of `bytes` to `fd`, resuming after short writes and
// interrupted calls. Returns 0, or the errno of the write that failed.
[[nodiscard]] int writeAll(int fd, std::string_view bytes);

// Flushes `folder` itself, so that a file created or renamed in it survives a
// crash. File systems that cannot flush folders (EINVAL) count as done.
[[nodiscard]] Status syncFolder(const std::filesystem::path& folder);

}  // namespace hopster
