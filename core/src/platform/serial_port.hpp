#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "device/byte_link.hpp"
#include "expected.hpp"
#include "timings.hpp"

namespace owl {

// An open unit port holding the terminal's exclusive claim and an advisory lock. Dropping it
// releases the claim and closes the descriptor (which also drops the lock).
class SerialPort final : public ByteLink {
 public:
  ~SerialPort() override;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  Expected<std::size_t, LinkError> read(std::span<std::uint8_t> buffer) override;
  [[nodiscard]] std::optional<LinkError> write_all(std::span<const std::uint8_t> bytes) override;
  [[nodiscard]] std::optional<LinkError> flush() override;

  int native_handle() const { return fd_; }

 private:
  friend Expected<std::unique_ptr<ByteLink>, std::string> open_unit_port(const std::string& path);
  explicit SerialPort(int fd) : fd_(fd) {}

  int fd_;
  // Set once the exclusive claim is taken, so that a claim we never took is not released.
  bool claimed_ = false;
};

// Opens a unit's serial device at 115200 baud, 8N1, raw, no flow control, with exclusive access
// and DTR asserted. The error is a text for the user.
Expected<std::unique_ptr<ByteLink>, std::string> open_unit_port(const std::string& path);

}  // namespace owl
