#include "device/byte_link.hpp"

#include <cerrno>
#include <cstring>

namespace owl {

std::string_view LinkError::kind_name() const {
  switch (kind) {
    case Kind::NotFound:
      return "NotFound";
    case Kind::PermissionDenied:
      return "PermissionDenied";
    case Kind::BrokenPipe:
      return "BrokenPipe";
    case Kind::AlreadyExists:
      return "AlreadyExists";
    case Kind::WouldBlock:
      return "WouldBlock";
    case Kind::InvalidInput:
      return "InvalidInput";
    case Kind::TimedOut:
      return "TimedOut";
    case Kind::Interrupted:
      return "Interrupted";
    case Kind::ResourceBusy:
      return "ResourceBusy";
    case Kind::Unsupported:
      return "Unsupported";
    case Kind::UnexpectedEof:
      return "UnexpectedEof";
    case Kind::WriteZero:
      return "WriteZero";
    case Kind::Other:
      return "Other";
    case Kind::Uncategorized:
      return "Uncategorized";
  }
  return "Other";
}

LinkError LinkError::from_errno(int error_number) {
  Kind kind = Kind::Uncategorized;
  switch (error_number) {
    case ENOENT:
      kind = Kind::NotFound;
      break;
    case EACCES:
    case EPERM:
      kind = Kind::PermissionDenied;
      break;
    case EPIPE:
      kind = Kind::BrokenPipe;
      break;
    case EEXIST:
      kind = Kind::AlreadyExists;
      break;
    case EAGAIN:
      kind = Kind::WouldBlock;
      break;
    case EINVAL:
      kind = Kind::InvalidInput;
      break;
    case ETIMEDOUT:
      kind = Kind::TimedOut;
      break;
    case EINTR:
      kind = Kind::Interrupted;
      break;
    case EBUSY:
      kind = Kind::ResourceBusy;
      break;
    case ENOSYS:
    case EOPNOTSUPP:
      kind = Kind::Unsupported;
      break;
    default:
      break;
  }
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not be in our buffer.
  const char* text = strerror_r(error_number, buffer, sizeof buffer);
  return {kind, text};
}

}  // namespace owl
