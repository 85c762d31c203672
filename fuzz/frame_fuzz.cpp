// libFuzzer target for FrameDecoder.
//
// Input layout: byte 0 gives k = 1 + (byte0 % 8); the next k bytes are chunk sizes (cycled);
// the rest is the byte stream. Checks, all surviving NDEBUG:
//  1. pushing the stream whole and pushing it in the chosen chunks give the same frames in the
//     same order, the same checksum_failures and the same kept bytes;
//  2. both agree with a slow reference decoder written straight from the algorithm text;
//  3. the buffer invariant holds after every call;
//  4. a run where chunk size 255 means "drop_first_byte" instead of a push agrees with the
//     reference doing the same operations.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "frame.hpp"
#include "fuzz_check.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

class ReferenceDecoder {
 public:
  std::vector<owl::Frame> push(std::span<const std::uint8_t> bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    return scan();
  }
  std::vector<owl::Frame> drop_first_byte() {
    if (buffer_.empty()) return {};
    buffer_.erase(buffer_.begin());
    return scan();
  }
  std::uint64_t failures() const { return failures_; }
  const Bytes& buffered() const { return buffer_; }

 private:
  std::vector<owl::Frame> scan() {
    std::vector<owl::Frame> frames;
    std::size_t p = 0;
    std::size_t keep = buffer_.size();
    for (;;) {
      std::size_t s = p;
      while (s < buffer_.size() && buffer_[s] != 0xAA) ++s;
      if (s >= buffer_.size()) break;
      if (buffer_.size() - s < 6) {
        keep = s;
        break;
      }
      const std::uint8_t src = buffer_[s + 3];
      const std::uint8_t cmd = buffer_[s + 5];
      if (cmd > 0x6E && src >= 1 && src <= 15) {
        p = s + 1;
        continue;
      }
      const std::size_t n = buffer_[s + 2];
      if (buffer_.size() - s < n + 6) {
        keep = s;
        break;
      }
      unsigned sum = 0;
      for (std::size_t i = s + 2; i <= s + 5 + n; ++i) sum += buffer_[i];
      if ((sum & 0xFFu) != buffer_[s + 1]) {
        ++failures_;
        p = s + 1;
        continue;
      }
      owl::Frame f;
      f.cmd = cmd;
      f.src = src;
      f.dst = buffer_[s + 4];
      f.payload.assign(buffer_.begin() + static_cast<std::ptrdiff_t>(s + 6),
                       buffer_.begin() + static_cast<std::ptrdiff_t>(s + 6 + n));
      frames.push_back(std::move(f));
      p = s + n + 6;
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(keep));
    return frames;
  }

  Bytes buffer_;
  std::uint64_t failures_ = 0;
};

void check_invariant(const owl::FrameDecoder& d) {
  const auto b = d.buffered();
  FUZZ_CHECK(b.empty() == d.is_empty());
  if (b.empty()) return;
  FUZZ_CHECK(b[0] == 0xAA);
  if (b.size() >= 6) {
    const bool rejected = b[5] > 0x6E && b[3] >= 1 && b[3] <= 15;
    FUZZ_CHECK(!rejected);
    FUZZ_CHECK(b.size() < std::size_t{b[2]} + 6);
  }
}

void append(std::vector<owl::Frame>& out, std::vector<owl::Frame>&& more) {
  for (auto& f : more) out.push_back(std::move(f));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t k = 1 + data[0] % 8;
  if (size < 1 + k) return 0;
  std::vector<std::size_t> sizes(data + 1, data + 1 + k);
  const std::span<const std::uint8_t> stream(data + 1 + k, size - 1 - k);

  // Whole.
  owl::FrameDecoder whole;
  const std::vector<owl::Frame> whole_frames = whole.push(stream);
  check_invariant(whole);

  // Reference.
  ReferenceDecoder ref;
  const std::vector<owl::Frame> ref_frames = ref.push(stream);
  FUZZ_CHECK(whole_frames == ref_frames);
  FUZZ_CHECK(whole.checksum_failures() == ref.failures());
  FUZZ_CHECK(Bytes(whole.buffered().begin(), whole.buffered().end()) == ref.buffered());

  // Chunked (a size of 0 pushes nothing; a cycle of zeros still advances by one byte).
  {
    owl::FrameDecoder chunked;
    std::vector<owl::Frame> frames;
    std::size_t pos = 0;
    std::size_t i = 0;
    std::size_t idle = 0;
    while (pos < stream.size()) {
      std::size_t n = sizes[i++ % sizes.size()];
      if (n == 0 && ++idle >= sizes.size()) {
        n = 1;
      }
      if (n != 0) idle = 0;
      n = std::min(n, stream.size() - pos);
      append(frames, chunked.push(stream.subspan(pos, n)));
      pos += n;
      check_invariant(chunked);
    }
    FUZZ_CHECK(frames == whole_frames);
    FUZZ_CHECK(chunked.checksum_failures() == whole.checksum_failures());
    FUZZ_CHECK(Bytes(chunked.buffered().begin(), chunked.buffered().end()) == ref.buffered());
  }

  // Pushes interleaved with drop_first_byte (chunk size 255), against the reference.
  {
    owl::FrameDecoder d;
    ReferenceDecoder r;
    std::size_t pos = 0;
    std::size_t i = 0;
    std::size_t steps = 0;
    while ((pos < stream.size() || !d.is_empty()) && steps < 4 * stream.size() + 16) {
      ++steps;
      std::size_t n = sizes[i++ % sizes.size()];
      std::vector<owl::Frame> got;
      std::vector<owl::Frame> want;
      if (n == 255 || pos >= stream.size()) {
        got = d.drop_first_byte();
        want = r.drop_first_byte();
      } else {
        n = std::min(std::max<std::size_t>(n, 1), stream.size() - pos);
        got = d.push(stream.subspan(pos, n));
        want = r.push(stream.subspan(pos, n));
        pos += n;
      }
      FUZZ_CHECK(got == want);
      FUZZ_CHECK(d.checksum_failures() == r.failures());
      FUZZ_CHECK(Bytes(d.buffered().begin(), d.buffered().end()) == r.buffered());
      check_invariant(d);
    }
  }
  return 0;
}
