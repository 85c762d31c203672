#include "frame.hpp"

#include <algorithm>
#include <cstring>

#include "error.hpp"

#if defined(__SSE2__) && defined(__x86_64__)
#define OWL_FRAME_SSE2 1
#include <emmintrin.h>
#endif

namespace owl {

namespace {

constexpr std::uint8_t REJECT_CMD_ABOVE = 0x6E;
constexpr std::uint8_t REJECT_SRC_MIN = 1;
constexpr std::uint8_t REJECT_SRC_MAX = 15;

// An 0xAA followed by a command above 0x6E from source 1 to 15 does not start a frame.
inline bool rejected_by_source_rule(std::uint8_t cmd, std::uint8_t src) {
  return cmd > REJECT_CMD_ABOVE && src >= REJECT_SRC_MIN && src <= REJECT_SRC_MAX;
}

}  // namespace

std::vector<std::uint8_t> encode_frame(std::uint8_t cmd, std::span<const std::uint8_t> payload,
                                       std::uint8_t src, std::uint8_t dst) {
  if (payload.size() > MAX_PAYLOAD) {
    throw Panic("frame size");
  }
  std::vector<std::uint8_t> out(payload.size() + FRAME_HEADER_SIZE);
  const auto len = static_cast<std::uint8_t>(payload.size());
  out[0] = FRAME_START;
  out[2] = len;
  out[3] = src;
  out[4] = dst;
  out[5] = cmd;
  if (!payload.empty()) {
    std::memcpy(out.data() + FRAME_HEADER_SIZE, payload.data(), payload.size());
  }
  std::uint8_t sum = 0;
  for (std::size_t i = 2; i < out.size(); ++i) {
    sum = static_cast<std::uint8_t>(sum + out[i]);
  }
  out[1] = sum;
  return out;
}

namespace {

// Sum of data[0, count) modulo 256.
std::uint8_t direct_sum(const std::uint8_t* data, std::size_t count) {
  std::size_t i = 0;
  std::uint64_t total = 0;
#if defined(OWL_FRAME_SSE2)
  __m128i acc = _mm_setzero_si128();
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= count; i += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    acc = _mm_add_epi64(acc, _mm_sad_epu8(x, zero));
  }
  total = static_cast<std::uint64_t>(_mm_cvtsi128_si64(acc)) +
          static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(acc, acc)));
#endif
  for (; i < count; ++i) {
    total += data[i];
  }
  return static_cast<std::uint8_t>(total);
}

// out[k] = run + in[0] + ... + in[k] (mod 256) for k < count.
void running_sums(const std::uint8_t* in, std::uint8_t* out, std::size_t count, std::uint8_t run) {
  std::size_t i = 0;
#if defined(OWL_FRAME_SSE2)
  // In-register prefix sum of 16 bytes (four shift-and-add steps), then add the running total.
  __m128i carry = _mm_set1_epi8(static_cast<char>(run));
  for (; i + 16 <= count; i += 16) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    x = _mm_add_epi8(x, _mm_slli_si128(x, 1));
    x = _mm_add_epi8(x, _mm_slli_si128(x, 2));
    x = _mm_add_epi8(x, _mm_slli_si128(x, 4));
    x = _mm_add_epi8(x, _mm_slli_si128(x, 8));
    x = _mm_add_epi8(x, carry);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), x);
    // Broadcast byte 15 to all lanes.
    __m128i hi = _mm_unpackhi_epi8(x, x);  // bytes 8..15, each doubled into a word
    hi = _mm_shufflehi_epi16(hi, 0xFF);    // word 7 into words 4..7
    carry = _mm_unpackhi_epi64(hi, hi);    // words 4..7 into both halves
  }
  if (i > 0) {
    run = out[i - 1];
  }
#endif
  for (; i < count; ++i) {
    run = static_cast<std::uint8_t>(run + in[i]);
    out[i] = run;
  }
}

// How far running sums reach beyond what a candidate needs, so that the candidates after a
// failed one (usually one byte later, needing one byte more) rarely extend them.
constexpr std::size_t SUMS_STRIDE = 256;

}  // namespace

void FrameDecoder::extend_running_sums(const std::uint8_t* data, std::size_t to) {
  const std::size_t needed = to - sums_from_ + 1;
  if (sums_.size() < needed) {
    sums_.resize(std::max(needed, 2 * sums_.size()));
  }
  const std::size_t done = sums_to_ - sums_from_;
  running_sums(data + sums_to_, sums_.data() + done + 1, to - sums_to_, sums_[done]);
  sums_to_ = to;
}

std::size_t FrameDecoder::scan_range(const std::uint8_t* data, std::size_t size,
                                     std::vector<Frame>& out) {
  sums_from_ = 1;  // no running sums yet in this call
  sums_to_ = 0;
  std::size_t p = 0;
  while (p < size) {
    // The next 0xAA at or after p.
    std::size_t s = p;
    if (data[p] != FRAME_START) {
      const void* hit = std::memchr(data + p, FRAME_START, size - p);
      if (hit == nullptr) {
        return size;
      }
      s = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data);
    }
    // A header not yet complete waits.
    const std::size_t avail = size - s;
    if (avail < FRAME_HEADER_SIZE) {
      return s;
    }
    // Not a frame start; this rejection is not a checksum failure.
    const std::uint8_t len = data[s + 2];
    const std::uint8_t src = data[s + 3];
    const std::uint8_t cmd = data[s + 5];
    if (rejected_by_source_rule(cmd, src)) {
      p = s + 1;
      continue;
    }
    // A candidate still waiting for bytes stops the scan.
    const std::size_t total = static_cast<std::size_t>(len) + FRAME_HEADER_SIZE;
    if (avail < total) {
      return s;
    }
    // The checksum covers bytes s+2 .. s+total-1.
    const std::size_t from = s + 2;
    const std::size_t to = s + total;
    const bool covered = sums_to_ >= sums_from_ && from >= sums_from_ && from <= sums_to_;
    std::uint8_t sum = 0;
    if (covered) {
      if (to > sums_to_) {
        extend_running_sums(data, std::min(size, std::max(to, sums_to_ + SUMS_STRIDE)));
      }
      sum = static_cast<std::uint8_t>(sums_[to - sums_from_] - sums_[from - sums_from_]);
    } else {
      sum = direct_sum(data + from, to - from);
    }
    if (sum != data[s + 1]) {
      ++checksum_failures_;
      if (!covered) {
        // The candidates that follow overlap this one: answer them from running sums.
        if (sums_.empty()) {
          sums_.resize(2 * SUMS_STRIDE);
        }
        sums_from_ = from;
        sums_to_ = from;
        sums_[0] = 0;
        extend_running_sums(data, std::min(size, std::max(to, from + SUMS_STRIDE)));
      }
      p = s + 1;
      continue;
    }
    // A frame. On the first one, make room for as many more of the same size as may follow.
    if (out.capacity() == 0) {
      out.reserve((size - s) / total);
    }
    Frame& frame = out.emplace_back();
    frame.cmd = cmd;
    frame.src = src;
    frame.dst = data[s + 4];
    frame.payload.assign(data + s + FRAME_HEADER_SIZE, data + s + total);
    p = s + total;
  }
  return size;
}

std::vector<Frame> FrameDecoder::scan() {
  std::vector<Frame> frames;
  const std::size_t size = buffer_.size();
  const std::size_t keep = scan_range(buffer_.data(), size, frames);
  // One move of the kept bytes to the front.
  if (keep >= size) {
    buffer_.clear();
  } else if (keep > 0) {
    std::memmove(buffer_.data(), buffer_.data() + keep, size - keep);
    buffer_.resize(size - keep);
  }
  return frames;
}

std::vector<Frame> FrameDecoder::push(std::span<const std::uint8_t> bytes) {
  if (buffer_.empty()) {
    // Nothing kept: scan the caller's bytes in place and copy only the tail that must wait.
    std::vector<Frame> frames;
    if (bytes.empty()) {
      return frames;
    }
    const std::size_t keep = scan_range(bytes.data(), bytes.size(), frames);
    if (keep < bytes.size()) {
      buffer_.assign(bytes.begin() + static_cast<std::ptrdiff_t>(keep), bytes.end());
    }
    return frames;
  }
  const auto own = reinterpret_cast<std::uintptr_t>(buffer_.data());
  const auto in = reinterpret_cast<std::uintptr_t>(bytes.data());
  if (!bytes.empty() && in < own + buffer_.capacity() && own < in + bytes.size()) {
    // The caller passed (part of) our own storage: copy it before the buffer may move.
    const std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
    buffer_.insert(buffer_.end(), copy.begin(), copy.end());
  } else {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
  }
  return scan();
}

std::vector<Frame> FrameDecoder::drop_first_byte() {
  if (buffer_.empty()) {
    return {};
  }
  buffer_.erase(buffer_.begin());
  return scan();
}

}  // namespace owl
