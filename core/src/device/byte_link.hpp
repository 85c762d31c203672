#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "expected.hpp"

namespace owl {

// A link failure: its kind decides what the device loop does, its text is shown to the user.
struct LinkError {
  enum class Kind {
    NotFound,
    PermissionDenied,
    BrokenPipe,
    AlreadyExists,
    WouldBlock,
    InvalidInput,
    TimedOut,
    Interrupted,
    ResourceBusy,
    Unsupported,
    UnexpectedEof,
    WriteZero,
    Other,
    Uncategorized,
  };
  Kind kind = Kind::Other;
  std::string text;

  // A read that only found no byte within the link's timeout.
  bool is_idle() const { return kind == Kind::WouldBlock || kind == Kind::TimedOut; }
  std::string_view kind_name() const;

  // The system's description of an error number, with the kind that number belongs to.
  static LinkError from_errno(int error_number);
  static LinkError timed_out() { return {Kind::TimedOut, "Operation timed out"}; }

  friend bool operator==(const LinkError&, const LinkError&) = default;
};

// The byte stream a device worker talks through: a unit's serial port or a simulated unit.
class ByteLink {
 public:
  virtual ~ByteLink() = default;
  // At least one byte, 0 when the other end is closed for good, or an error (idle kinds mean no
  // byte arrived within the link's read timeout).
  virtual Expected<std::size_t, LinkError> read(std::span<std::uint8_t> buffer) = 0;
  [[nodiscard]] virtual std::optional<LinkError> write_all(std::span<const std::uint8_t> bytes) = 0;
  [[nodiscard]] virtual std::optional<LinkError> flush() = 0;
};

}  // namespace owl
