#include "platform/failure.h"

#include <cerrno>
#include <ostream>

#include "platform/linux/posix_io.h"

namespace hopster {

namespace {

FailureKind kindOfErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return FailureKind::notFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return FailureKind::permission;
    case ENOSPC:
    case EDQUOT:
      return FailureKind::noSpace;
    case EFBIG:
      return FailureKind::tooLarge;
    case EISDIR:
    case ENXIO:
      return FailureKind::notRegularFile;
    default:
      return FailureKind::other;
  }
}

std::string withContext(std::string_view context, const std::string& text) {
  return context.empty() ? text : std::string(context) + ": " + text;
}

const char* kindName(FailureKind kind) {
  switch (kind) {
    case FailureKind::notFound:
      return "notFound";
    case FailureKind::permission:
      return "permission";
    case FailureKind::notRegularFile:
      return "notRegularFile";
    case FailureKind::noSpace:
      return "noSpace";
    case FailureKind::tooLarge:
      return "tooLarge";
    case FailureKind::notARecord:
      return "notARecord";
    case FailureKind::malformed:
      return "malformed";
    case FailureKind::inUse:
      return "inUse";
    case FailureKind::other:
      break;
  }
  return "other";
}

}  // namespace

Failure Failure::ofErrno(int error, std::string_view context) {
  return {kindOfErrno(error), withContext(context, errorText(error))};
}

Failure Failure::ofErrorCode(const std::error_code& error, std::string_view context) {
  const bool isErrno =
      error.category() == std::generic_category() || error.category() == std::system_category();
  return {isErrno ? kindOfErrno(error.value()) : FailureKind::other,
          withContext(context, error.message())};
}

std::ostream& operator<<(std::ostream& out, const Failure& failure) {
  return out << kindName(failure.kind) << ": " << failure.message;
}

}  // namespace hopster
