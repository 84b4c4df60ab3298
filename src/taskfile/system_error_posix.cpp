#include <cerrno>
#include <cstring>

#include "taskfile/system_error.h"

namespace orvanta {
namespace {

ErrorKind KindOf(std::int64_t code) {
  switch (code) {
    case ENOENT:
    case ENOTDIR:
      return ErrorKind::kNotFound;
    case EACCES:
    case EPERM:
      return ErrorKind::kAccessDenied;
    case EROFS:
      return ErrorKind::kReadOnly;
    case ENOSPC:
    case EDQUOT:
      return ErrorKind::kNoSpace;
    case ENAMETOOLONG:
      return ErrorKind::kNameTooLong;
    default:
      return ErrorKind::kOther;
  }
}

}  // namespace

SystemError SystemErrorFrom(std::int64_t code) {
  return {KindOf(code), std::strerror(static_cast<int>(code)), code};
}

SystemError LastSystemError() { return SystemErrorFrom(errno); }

}  // namespace orvanta
