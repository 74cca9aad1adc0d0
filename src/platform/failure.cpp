#include "platform/failure.h"

#include <cerrno>

#include "platform/linux/posix_io.h"

namespace hopster {

Failure Failure::ofErrno(int error) {
  FailureKind kind = FailureKind::other;
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      kind = FailureKind::notFound;
      break;
    case EACCES:
    case EPERM:
    case EROFS:
      kind = FailureKind::permission;
      break;
    case ENOSPC:
    case EDQUOT:
      kind = FailureKind::noSpace;
      break;
    case EFBIG:
      kind = FailureKind::tooLarge;
      break;
    case EISDIR:
    case ENXIO:
      kind = FailureKind::notRegularFile;
      break;
    default:
      break;
  }
  return {kind, errorText(error)};
}

}  // namespace hopster
