#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/result.h"

namespace hopster {

// What kind of failure stopped something, where a caller must tell them
// apart: a missing file is news to some callers and normal to others, a
// special file or a file of another kind is named as such to the user.
enum class FailureKind {
  other,
  notFound,        // no such file or folder
  permission,      // not allowed to read or write it
  notRegularFile,  // a FIFO, device, socket or folder where a file belongs
  noSpace,         // the disk or the user's quota is full
  tooLarge,        // past the size allowed for it
  notARecord,      // readable, but some other kind of file than a record
  malformed,       // of the right kind, but damaged
  inUse,           // another process holds it (a live recording's journal)
};

// Why something could not be done: its kind, and one line a person can read,
// shown and logged as it is (callers may add context around it).
struct Failure {
  FailureKind kind = FailureKind::other;
  std::string message;

  // From an errno value: the kind it stands for and the C library's text,
  // led by `context` and ": " when one is given ("Could not write /a: No
  // space left on device").
  [[nodiscard]] static Failure ofErrno(int error, std::string_view context = {});
  // The same for an error code of the standard library's file functions,
  // with its own text.
  [[nodiscard]] static Failure ofErrorCode(const std::error_code& error,
                                           std::string_view context = {});
  friend bool operator==(const Failure&, const Failure&) = default;
};

// "noSpace: <message>", for test failure messages.
std::ostream& operator<<(std::ostream& out, const Failure& failure);

// A value, or the failure that kept it from being made.
template <class T>
using Outcome = Result<T, Failure>;

// Nothing when it went well, or why not.
using Status = std::optional<Failure>;

}  // namespace hopster
