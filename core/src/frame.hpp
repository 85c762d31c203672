#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace owl {

inline constexpr std::uint8_t FRAME_START = 0xAA;
inline constexpr std::uint8_t CMD_SETTINGS = 0x80;
inline constexpr std::uint8_t CMD_TEXT = 0x20;
inline constexpr std::size_t MAX_PAYLOAD = 255;
inline constexpr std::size_t FRAME_HEADER_SIZE = 6;

// Asks a unit to report its settings: a settings frame carrying only the struct type.
inline constexpr std::array<std::uint8_t, 10> SETTINGS_REQUEST = {0xAA, 0x2E, 0x04, 0x00, 0x00,
                                                                  0x80, 0x44, 0x33, 0x22, 0x11};

struct Frame {
  std::uint8_t cmd = 0;
  std::uint8_t src = 0;
  std::uint8_t dst = 0;
  std::vector<std::uint8_t> payload;

  friend bool operator==(const Frame&, const Frame&) = default;
};

// Builds one frame with the given addresses. Throws Panic("frame size") for a payload over
// MAX_PAYLOAD bytes.
std::vector<std::uint8_t> encode_frame(std::uint8_t cmd, std::span<const std::uint8_t> payload,
                                       std::uint8_t src = 0, std::uint8_t dst = 0);

// Cuts a byte stream of any chunking into checked frames, resynchronising after noise.
// Invariant after every call: the buffer is empty or starts with 0xAA and holds no complete
// candidate frame.
class FrameDecoder {
 public:
  std::vector<Frame> push(std::span<const std::uint8_t> bytes);
  std::vector<Frame> drop_first_byte();
  bool is_empty() const { return buffer_.empty(); }
  std::uint64_t checksum_failures() const { return checksum_failures_; }
  // The bytes still waiting to become a frame (for tests and invariant checks).
  std::span<const std::uint8_t> buffered() const { return buffer_; }

 private:
  // Cuts every complete frame out of buffer_ and keeps only what may still become one.
  std::vector<Frame> scan();
  // Cuts frames out of data[0, size); returns the index from which bytes are kept (size when
  // nothing is kept).
  std::size_t scan_range(const std::uint8_t* data, std::size_t size, std::vector<Frame>& out);
  // The sum of data[from, to) modulo 256. Summed directly while no checksum failure has
  // left running sums behind; after a failure, running sums over the failed candidate's bytes
  // (extended on demand) answer every overlapping candidate in O(1), which keeps the scan
  // linear however many false starts it meets.
  std::uint8_t range_sum(const std::uint8_t* data, std::size_t from, std::size_t to);
  void extend_running_sums(const std::uint8_t* data, std::size_t to);

  std::vector<std::uint8_t> buffer_;
  std::uint64_t checksum_failures_ = 0;
  // Scratch for one call: sums_[i - sums_from_] = data[sums_from_] + ... + data[i - 1] (mod 256)
  // for sums_from_ <= i <= sums_to_. Empty coverage when sums_to_ < sums_from_.
  std::vector<std::uint8_t> sums_;
  std::size_t sums_from_ = 1;
  std::size_t sums_to_ = 0;
};

}  // namespace owl
