#pragma once

// The frame decoder's reference and its stream check: the unit test compares against the
// reference on worked examples, the fuzz target runs the stream check (on its seeds in every build,
// on whatever libFuzzer finds in the fuzz build).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "frame.hpp"

namespace owl::testing_support {

using FrameBytes = std::vector<std::uint8_t>;

// Slow decoder written straight from the algorithm text, without any optimisation: every checksum
// is summed byte by byte and bytes are erased one call at a time.
class ReferenceDecoder {
 public:
  std::vector<Frame> push(std::span<const std::uint8_t> bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    return scan();
  }
  std::vector<Frame> drop_first_byte() {
    if (buffer_.empty()) return {};
    buffer_.erase(buffer_.begin());
    return scan();
  }
  std::uint64_t checksum_failures() const { return failures_; }
  const FrameBytes& buffered() const { return buffer_; }

 private:
  std::vector<Frame> scan() {
    std::vector<Frame> frames;
    std::size_t p = 0;
    std::size_t keep = buffer_.size();
    for (;;) {
      std::size_t s = p;
      while (s < buffer_.size() && buffer_[s] != 0xAA) ++s;
      if (s >= buffer_.size()) break;  // no start byte: nothing kept
      if (buffer_.size() - s < 6) {    // header incomplete
        keep = s;
        break;
      }
      const std::uint8_t src = buffer_[s + 3];
      const std::uint8_t cmd = buffer_[s + 5];
      if (cmd > 0x6E && src >= 1 && src <= 15) {  // the source rule rejects the start
        p = s + 1;
        continue;
      }
      const std::size_t n = buffer_[s + 2];
      if (buffer_.size() - s < n + 6) {  // payload incomplete
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
      Frame f;
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

  FrameBytes buffer_;
  std::uint64_t failures_ = 0;
};

// What is wrong with the decoder's state, or nullptr: it must be empty, or start with 0xAA with
// that candidate still waiting (not rejected by the source rule, and incomplete).
inline const char* decoder_invariant_broken(const FrameDecoder& d) {
  const auto b = d.buffered();
  if (b.empty() != d.is_empty()) return "is_empty disagrees with the buffer";
  if (b.empty()) return nullptr;
  if (b[0] != 0xAA) return "buffer does not start with 0xAA";
  if (b.size() >= 6) {
    if (b[5] > 0x6E && b[3] >= 1 && b[3] <= 15) return "source-rule rejected candidate at front";
    if (b.size() >= std::size_t{b[2]} + 6) return "complete candidate left in the buffer";
  }
  return nullptr;
}

// Input layout: byte 0 gives k = 1 + (byte0 % 8); the next k bytes are chunk sizes (cycled); the
// rest is the byte stream. Checks, reporting each failure through fail(text):
//  1. the stream pushed whole agrees with the reference (frames, checksum failures, kept bytes);
//  2. pushed in the chosen chunks it gives the same (a size of 0 pushes nothing);
//  3. the buffer invariant holds after every call;
//  4. with chunk size 255 meaning drop_first_byte, the decoder agrees with the reference doing
//     the same operations.
template <class Fail>
void check_frame_stream(std::span<const std::uint8_t> input, Fail&& fail) {
  if (input.empty()) return;
  const std::size_t k = 1 + input[0] % 8;
  if (input.size() < 1 + k) return;
  const std::vector<std::size_t> sizes(input.begin() + 1,
                                       input.begin() + 1 + static_cast<std::ptrdiff_t>(k));
  const std::span<const std::uint8_t> stream = input.subspan(1 + k);
  const auto check = [&](bool ok, const char* what) {
    if (!ok) fail(what);
  };
  const auto invariant = [&](const FrameDecoder& d) {
    if (const char* broken = decoder_invariant_broken(d)) fail(broken);
  };
  const auto kept = [](const FrameDecoder& d) {
    return FrameBytes(d.buffered().begin(), d.buffered().end());
  };

  FrameDecoder whole;
  const std::vector<Frame> whole_frames = whole.push(stream);
  invariant(whole);
  ReferenceDecoder ref;
  check(whole_frames == ref.push(stream), "whole: frames differ from the reference");
  check(whole.checksum_failures() == ref.checksum_failures(), "whole: checksum failures differ");
  check(kept(whole) == ref.buffered(), "whole: kept bytes differ");

  FrameDecoder chunked;
  std::vector<Frame> frames;
  for (std::size_t pos = 0, i = 0, idle = 0; pos < stream.size();) {
    std::size_t n = sizes[i++ % sizes.size()];
    if (n == 0 && ++idle >= sizes.size()) n = 1;  // a cycle of zeros still moves on
    if (n != 0) idle = 0;
    n = std::min(n, stream.size() - pos);
    for (Frame& f : chunked.push(stream.subspan(pos, n))) frames.push_back(std::move(f));
    pos += n;
    invariant(chunked);
  }
  check(frames == whole_frames, "chunked: frames differ");
  check(chunked.checksum_failures() == whole.checksum_failures(), "chunked: failures differ");
  check(kept(chunked) == ref.buffered(), "chunked: kept bytes differ");

  FrameDecoder d;
  ReferenceDecoder r;
  for (std::size_t pos = 0, i = 0, steps = 0;
       (pos < stream.size() || !d.is_empty()) && steps < 4 * stream.size() + 16; ++steps) {
    std::size_t n = sizes[i++ % sizes.size()];
    std::vector<Frame> got;
    std::vector<Frame> want;
    if (n == 255 || pos >= stream.size()) {
      got = d.drop_first_byte();
      want = r.drop_first_byte();
    } else {
      n = std::min(std::max<std::size_t>(n, 1), stream.size() - pos);
      got = d.push(stream.subspan(pos, n));
      want = r.push(stream.subspan(pos, n));
      pos += n;
    }
    check(got == want, "with drops: frames differ from the reference");
    check(d.checksum_failures() == r.checksum_failures(), "with drops: failures differ");
    check(kept(d) == r.buffered(), "with drops: kept bytes differ");
    invariant(d);
  }
}

}  // namespace owl::testing_support
