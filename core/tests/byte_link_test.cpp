#include "device/byte_link.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace owl {
namespace {

TEST(LinkError, ErrorNumbersFallIntoKindsWithTheSystemText) {
  struct Case {
    int error_number;
    LinkError::Kind kind;
    const char* name;
  };
  const Case cases[] = {
      {ENOENT, LinkError::Kind::NotFound, "NotFound"},
      {EACCES, LinkError::Kind::PermissionDenied, "PermissionDenied"},
      {EPERM, LinkError::Kind::PermissionDenied, "PermissionDenied"},
      {EPIPE, LinkError::Kind::BrokenPipe, "BrokenPipe"},
      {EEXIST, LinkError::Kind::AlreadyExists, "AlreadyExists"},
      {EAGAIN, LinkError::Kind::WouldBlock, "WouldBlock"},
      {EINVAL, LinkError::Kind::InvalidInput, "InvalidInput"},
      {ETIMEDOUT, LinkError::Kind::TimedOut, "TimedOut"},
      {EINTR, LinkError::Kind::Interrupted, "Interrupted"},
      {EBUSY, LinkError::Kind::ResourceBusy, "ResourceBusy"},
      {ENOSYS, LinkError::Kind::Unsupported, "Unsupported"},
      {EOPNOTSUPP, LinkError::Kind::Unsupported, "Unsupported"},
      {EIO, LinkError::Kind::Uncategorized, "Uncategorized"},
  };
  for (const Case& c : cases) {
    const LinkError error = LinkError::from_errno(c.error_number);
    EXPECT_EQ(error.kind, c.kind) << c.name;
    EXPECT_EQ(error.kind_name(), c.name);
    EXPECT_EQ(error.text, std::string(strerror(c.error_number)));
  }
  // Kinds that no error number maps to still have their names.
  EXPECT_EQ((LinkError{LinkError::Kind::UnexpectedEof, ""}).kind_name(), "UnexpectedEof");
  EXPECT_EQ((LinkError{LinkError::Kind::WriteZero, ""}).kind_name(), "WriteZero");
  EXPECT_EQ((LinkError{LinkError::Kind::Other, ""}).kind_name(), "Other");
  EXPECT_TRUE(LinkError::timed_out().is_idle());
  EXPECT_TRUE(LinkError::from_errno(EAGAIN).is_idle());
  EXPECT_FALSE(LinkError::from_errno(EINTR).is_idle());
}

}  // namespace
}  // namespace owl
