#include "frame.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "error.hpp"

namespace owl {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Slow decoder written straight from the algorithm text, without any optimisation:
// every checksum is summed byte by byte and bytes are erased one call at a time.
class ReferenceDecoder {
 public:
  std::vector<Frame> push(const Bytes& bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    return scan();
  }
  std::vector<Frame> drop_first_byte() {
    if (buffer_.empty()) return {};
    buffer_.erase(buffer_.begin());
    return scan();
  }
  std::uint64_t checksum_failures() const { return failures_; }
  const Bytes& buffered() const { return buffer_; }

 private:
  std::vector<Frame> scan() {
    std::vector<Frame> frames;
    std::size_t p = 0;
    std::size_t keep = buffer_.size();
    for (;;) {
      std::size_t s = p;
      while (s < buffer_.size() && buffer_[s] != 0xAA) ++s;
      if (s >= buffer_.size()) break;  // step 2: nothing kept
      if (buffer_.size() - s < 6) {    // step 3
        keep = s;
        break;
      }
      const std::uint8_t l = buffer_[s + 2];
      const std::uint8_t src = buffer_[s + 3];
      const std::uint8_t cmd = buffer_[s + 5];
      if (cmd > 0x6E && src >= 1 && src <= 15) {  // step 4
        p = s + 1;
        continue;
      }
      const std::size_t n = l;
      if (buffer_.size() - s < n + 6) {  // step 5
        keep = s;
        break;
      }
      unsigned sum = 0;  // step 6
      for (std::size_t i = s + 2; i <= s + 5 + n; ++i) sum += buffer_[i];
      if ((sum & 0xFFu) != buffer_[s + 1]) {
        ++failures_;
        p = s + 1;
        continue;
      }
      Frame f;  // step 7
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

// The decoder invariant: empty, or starts with 0xAA and that candidate is still waiting
// (not rejected by the source rule, and fewer than 6 or fewer than len + 6 bytes present).
::testing::AssertionResult InvariantHolds(const FrameDecoder& d) {
  const auto b = d.buffered();
  if (b.empty()) {
    if (!d.is_empty()) return ::testing::AssertionFailure() << "is_empty disagrees";
    return ::testing::AssertionSuccess();
  }
  if (d.is_empty()) return ::testing::AssertionFailure() << "is_empty true with bytes";
  if (b[0] != 0xAA) return ::testing::AssertionFailure() << "buffer starts with " << int{b[0]};
  if (b.size() >= 6) {
    const std::uint8_t src = b[3];
    const std::uint8_t cmd = b[5];
    if (cmd > 0x6E && src >= 1 && src <= 15) {
      return ::testing::AssertionFailure() << "source-rule rejected candidate left at front";
    }
    if (b.size() >= std::size_t{b[2]} + 6) {
      return ::testing::AssertionFailure() << "complete candidate left in buffer (" << b.size()
                                           << " bytes, len " << int{b[2]} << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

Bytes frame_bytes(std::uint8_t cmd, const Bytes& payload, std::uint8_t src = 0,
                  std::uint8_t dst = 0) {
  return encode_frame(cmd, payload, src, dst);
}

void append(Bytes& out, const Bytes& more) {
  out.insert(out.end(), more.begin(), more.end());
}

Frame make_frame(std::uint8_t cmd, Bytes payload, std::uint8_t src = 0, std::uint8_t dst = 0) {
  Frame f;
  f.cmd = cmd;
  f.src = src;
  f.dst = dst;
  f.payload = std::move(payload);
  return f;
}

struct Outcome {
  std::vector<Frame> frames;
  std::uint64_t failures = 0;
  Bytes left;
};

// Pushes `stream` cut at the given sizes (cycled), checking the invariant after every call.
Outcome run_chunked(const Bytes& stream, const std::vector<std::size_t>& sizes) {
  FrameDecoder d;
  Outcome out;
  std::size_t pos = 0;
  std::size_t k = 0;
  while (pos < stream.size()) {
    const std::size_t n = std::min(sizes[k++ % sizes.size()], stream.size() - pos);
    auto got = d.push(std::span<const std::uint8_t>(stream.data() + pos, n));
    pos += n;
    out.frames.insert(out.frames.end(), got.begin(), got.end());
    EXPECT_TRUE(InvariantHolds(d));
  }
  out.failures = d.checksum_failures();
  out.left.assign(d.buffered().begin(), d.buffered().end());
  return out;
}

Outcome run_reference(const Bytes& stream) {
  ReferenceDecoder r;
  Outcome out;
  out.frames = r.push(stream);
  out.failures = r.checksum_failures();
  out.left = r.buffered();
  return out;
}

void expect_same(const Outcome& a, const Outcome& b, const std::string& what) {
  ASSERT_EQ(a.frames.size(), b.frames.size()) << what;
  for (std::size_t i = 0; i < a.frames.size(); ++i) {
    ASSERT_EQ(a.frames[i], b.frames[i]) << what << " frame " << i;
  }
  EXPECT_EQ(a.failures, b.failures) << what;
  EXPECT_EQ(a.left, b.left) << what;
}

// A random stream of valid frames, garbage, corrupted frames, source-rule frames, false
// starts with long claimed lengths, and bytes dense with 0xAA.
Bytes random_stream(std::mt19937& rng, std::size_t pieces) {
  auto byte = [&] { return static_cast<std::uint8_t>(rng() & 0xFF); };
  auto below = [&](unsigned n) { return static_cast<unsigned>(rng() % n); };
  Bytes out;
  for (std::size_t i = 0; i < pieces; ++i) {
    Bytes payload(below(8) == 0 ? below(256) : below(24));
    for (auto& b : payload) b = below(4) == 0 ? 0xAA : byte();
    const std::uint8_t cmd = below(3) == 0 ? byte() : (below(2) ? 0x80 : 0x20);
    const std::uint8_t src = below(3) == 0 ? static_cast<std::uint8_t>(below(18)) : 0;
    const std::uint8_t dst = below(2) ? byte() : 0;
    switch (below(8)) {
      case 0:
      case 1:
      case 2:
        append(out, frame_bytes(cmd, payload, src, dst));
        break;
      case 3: {  // garbage, with or without 0xAA
        const unsigned n = below(12);
        for (unsigned j = 0; j < n; ++j) out.push_back(below(3) == 0 ? 0xAA : byte());
        break;
      }
      case 4: {  // corrupted frame: one byte flipped (maybe the checksum)
        Bytes f = frame_bytes(cmd, payload, src, dst);
        f[1 + below(static_cast<unsigned>(f.size() - 1))] ^=
            static_cast<std::uint8_t>(1 + below(255));
        append(out, f);
        break;
      }
      case 5: {  // truncated frame followed by whatever comes next
        Bytes f = frame_bytes(cmd, payload, src, dst);
        f.resize(below(static_cast<unsigned>(f.size())));
        append(out, f);
        break;
      }
      case 6: {  // false start with a long length
        out.push_back(0xAA);
        out.push_back(byte());
        out.push_back(static_cast<std::uint8_t>(200 + below(56)));
        break;
      }
      default: {  // run of 0xAA
        const unsigned n = below(10);
        for (unsigned j = 0; j < n; ++j) out.push_back(0xAA);
        break;
      }
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------------

TEST(FrameEncode, SettingsRequestBytes) {
  const Bytes payload = {0x44, 0x33, 0x22, 0x11};
  const Bytes got = encode_frame(CMD_SETTINGS, payload);
  const Bytes want(SETTINGS_REQUEST.begin(), SETTINGS_REQUEST.end());
  EXPECT_EQ(got, want);
  EXPECT_EQ(got, (Bytes{0xAA, 0x2E, 0x04, 0x00, 0x00, 0x80, 0x44, 0x33, 0x22, 0x11}));
}

TEST(FrameEncode, EmptyPayloadIsSixBytesWithCommandChecksum) {
  const Bytes got = encode_frame(CMD_TEXT, {});
  EXPECT_EQ(got, (Bytes{0xAA, 0x20, 0x00, 0x00, 0x00, 0x20}));
}

TEST(FrameEncode, EmptyPayloadWithAddressesChecksumWraps) {
  const Bytes got = encode_frame(0x90, {}, 0x81, 0xF0);
  // (0x81 + 0xF0 + 0x90) % 256 = 0x201 % 256 = 0x01
  EXPECT_EQ(got, (Bytes{0xAA, 0x01, 0x00, 0x81, 0xF0, 0x90}));
}

TEST(FrameEncode, AddressesAreWrittenAndSummed) {
  const Bytes got = encode_frame(CMD_SETTINGS, Bytes{0x01, 0x02}, 0x00, 0xFF);
  // 0x02 + 0x00 + 0xFF + 0x80 + 0x01 + 0x02 = 0x184
  EXPECT_EQ(got, (Bytes{0xAA, 0x84, 0x02, 0x00, 0xFF, 0x80, 0x01, 0x02}));
}

TEST(FrameEncode, MaxPayloadAccepted) {
  const Bytes payload(255, 0xAA);
  const Bytes got = encode_frame(0x01, payload);
  ASSERT_EQ(got.size(), 261u);
  EXPECT_EQ(got[2], 255);
}

TEST(FrameEncode, OversizePayloadPanics) {
  const Bytes payload(256, 0x00);
  try {
    (void)encode_frame(CMD_SETTINGS, payload);
    FAIL() << "no panic";
  } catch (const Panic& e) {
    EXPECT_STREQ(e.what(), "frame size");
  }
}

TEST(FrameDecoder, StartsEmpty) {
  FrameDecoder d;
  EXPECT_TRUE(d.is_empty());
  EXPECT_EQ(d.checksum_failures(), 0u);
  EXPECT_TRUE(d.push({}).empty());
  EXPECT_TRUE(d.is_empty());
}

TEST(FrameDecoder, RoundTripSettingsRequest) {
  FrameDecoder d;
  auto got = d.push(SETTINGS_REQUEST);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], make_frame(0x80, {0x44, 0x33, 0x22, 0x11}));
  EXPECT_TRUE(d.is_empty());
}

TEST(FrameDecoder, GarbageBeforeFrameDropped) {
  Bytes s = {0x01, 0x02, 0x03};
  append(s, frame_bytes(0x20, {'h', 'i', 0}));
  FrameDecoder d;
  auto got = d.push(s);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], make_frame(0x20, {'h', 'i', 0}));
  EXPECT_TRUE(d.is_empty());
}

TEST(FrameDecoder, PartialHeaderKept) {
  for (std::size_t n = 1; n <= 5; ++n) {
    FrameDecoder d;
    Bytes s = {0x10, 0xAA, 0x2E, 0x04, 0x00, 0x00};
    s.resize(1 + n);
    EXPECT_TRUE(d.push(s).empty());
    const Bytes left(d.buffered().begin(), d.buffered().end());
    EXPECT_EQ(left, Bytes(s.begin() + 1, s.end())) << n;
  }
}

TEST(FrameDecoder, PartialFrameCompletedByLaterPush) {
  FrameDecoder d;
  const Bytes f(SETTINGS_REQUEST.begin(), SETTINGS_REQUEST.end());
  EXPECT_TRUE(d.push(std::span(f).first(7)).empty());
  EXPECT_EQ(d.buffered().size(), 7u);
  auto got = d.push(std::span(f).subspan(7));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(d.is_empty());
}

TEST(FrameDecoder, TwoFramesInOnePush) {
  Bytes s = frame_bytes(0x80, {1, 2, 3});
  append(s, frame_bytes(0x20, {4}, 0, 0xFF));
  FrameDecoder d;
  auto got = d.push(s);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], make_frame(0x80, {1, 2, 3}));
  EXPECT_EQ(got[1], make_frame(0x20, {4}, 0, 0xFF));
}

TEST(FrameDecoder, WrongChecksumCountedAndInnerFrameFound) {
  // A bad frame claiming 20 payload bytes; a valid frame starts inside that claimed length.
  Bytes s = {0xAA, 0x00, 20, 0x00, 0x00, 0x80, 0x01};
  const Bytes inner = frame_bytes(0x20, {9, 8, 7});
  append(s, inner);
  while (s.size() < 26) s.push_back(0x00);
  FrameDecoder d;
  auto got = d.push(s);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], make_frame(0x20, {9, 8, 7}));
  EXPECT_EQ(d.checksum_failures(), 1u);
  EXPECT_TRUE(d.is_empty());
}

TEST(FrameDecoder, SimpleChecksumFailureCounted) {
  Bytes f = frame_bytes(0x80, {1, 2, 3});
  f[1] ^= 0x01;
  FrameDecoder d;
  EXPECT_TRUE(d.push(f).empty());
  EXPECT_EQ(d.checksum_failures(), 1u);
  EXPECT_TRUE(d.is_empty());
}

TEST(FrameDecoder, SourceRuleRejectsSilently) {
  FrameDecoder d;
  EXPECT_TRUE(d.push(frame_bytes(0x80, {1, 2}, 0x01, 0x00)).empty());
  EXPECT_EQ(d.checksum_failures(), 0u);
  EXPECT_TRUE(d.is_empty());
  EXPECT_TRUE(d.push(frame_bytes(0x6F, {}, 0x0F, 0x00)).empty());
  EXPECT_EQ(d.checksum_failures(), 0u);

  auto got = d.push(frame_bytes(0x80, {1, 2}, 0x00, 0x00));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], make_frame(0x80, {1, 2}, 0x00, 0x00));

  got = d.push(frame_bytes(0x80, {1, 2}, 0x10, 0x00));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].src, 0x10);

  got = d.push(frame_bytes(0x6E, {5, 6, 7}, 0x01, 0x02));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], make_frame(0x6E, {5, 6, 7}, 0x01, 0x02));
  EXPECT_EQ(d.checksum_failures(), 0u);
}

TEST(FrameDecoder, SourceRuleRejectionNotKeptEvenIfIncomplete) {
  // The rejected candidate claims 200 bytes; it must not hold back the frame behind it.
  Bytes s = {0xAA, 0x00, 200, 0x05, 0x00, 0x80};
  append(s, frame_bytes(0x20, {1}));
  FrameDecoder d;
  auto got = d.push(s);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], make_frame(0x20, {1}));
  EXPECT_TRUE(d.is_empty());
  EXPECT_EQ(d.checksum_failures(), 0u);
}

TEST(FrameDecoder, MaxPayloadRoundTrip) {
  Bytes payload(255);
  for (std::size_t i = 0; i < payload.size(); ++i)
    payload[i] = static_cast<std::uint8_t>(i * 7 + 3);
  FrameDecoder d;
  auto got = d.push(encode_frame(0x80, payload));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].payload, payload);
  EXPECT_TRUE(d.is_empty());
}

TEST(FrameDecoder, BytesWithoutStartDiscarded) {
  FrameDecoder d;
  Bytes s(1000);
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::uint8_t>(i % 0xAA);
  EXPECT_TRUE(d.push(s).empty());
  EXPECT_TRUE(d.is_empty());
  EXPECT_EQ(d.checksum_failures(), 0u);
}

TEST(FrameDecoder, DropFirstByteOnEmpty) {
  FrameDecoder d;
  EXPECT_TRUE(d.drop_first_byte().empty());
  EXPECT_TRUE(d.is_empty());
  EXPECT_EQ(d.checksum_failures(), 0u);
}

TEST(FrameDecoder, StuckCandidateReleasedByDropFirstByte) {
  Bytes s = {0xAA, 0x00, 0xFF, 0x00, 0x00, 0x80};
  const Bytes valid = frame_bytes(0x20, {'o', 'k', 0});
  append(s, valid);
  FrameDecoder d;
  EXPECT_TRUE(d.push(s).empty());
  EXPECT_EQ(d.buffered().size(), s.size());
  EXPECT_TRUE(InvariantHolds(d));
  auto got = d.drop_first_byte();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], make_frame(0x20, {'o', 'k', 0}));
  EXPECT_TRUE(d.is_empty());
  EXPECT_EQ(d.checksum_failures(), 0u);
}

TEST(FrameDecoder, StuckCandidateFailsWhenLengthArrives) {
  // The false start waits for 261 bytes, then fails its checksum and the scan moves on by one.
  Bytes s = {0xAA, 0x00, 0xFF, 0x00, 0x00, 0x80};
  append(s, frame_bytes(0x20, {1, 2}));
  FrameDecoder d;
  EXPECT_TRUE(d.push(s).empty());
  const Bytes filler(261 - s.size(), 0x00);
  auto got = d.push(filler);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], make_frame(0x20, {1, 2}));
  EXPECT_EQ(d.checksum_failures(), 1u);
  EXPECT_TRUE(d.is_empty());
}

TEST(FrameDecoder, PushOfOwnBufferedBytes) {
  FrameDecoder d;
  const Bytes f(SETTINGS_REQUEST.begin(), SETTINGS_REQUEST.end());
  EXPECT_TRUE(d.push(std::span(f).first(5)).empty());
  // Pushing a view of the decoder's own buffer must behave like pushing a copy of it.
  const Bytes copy(d.buffered().begin(), d.buffered().end());
  auto got = d.push(d.buffered());
  ReferenceDecoder r;
  r.push(Bytes(f.begin(), f.begin() + 5));
  auto want = r.push(copy);
  EXPECT_EQ(got, want);
  EXPECT_EQ(Bytes(d.buffered().begin(), d.buffered().end()), r.buffered());
}

TEST(FrameDecoder, AllStartBytes) {
  const Bytes s(5000, 0xAA);
  const Outcome want = run_reference(s);
  expect_same(run_chunked(s, {s.size()}), want, "whole");
  expect_same(run_chunked(s, {1}), want, "bytewise");
  expect_same(run_chunked(s, {512}), want, "512");
  EXPECT_GT(want.failures, 0u);
}

TEST(FrameDecoderProperty, ChunkingDoesNotMatterAndMatchesReference) {
  std::size_t total_frames = 0;
  std::uint64_t total_failures = 0;
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    std::mt19937 rng(seed);
    const Bytes s = random_stream(rng, 200);
    const Outcome want = run_reference(s);
    total_frames += want.frames.size();
    total_failures += want.failures;
    const std::string tag = "seed " + std::to_string(seed);
    expect_same(run_chunked(s, {s.size() + 1}), want, tag + " whole");
    expect_same(run_chunked(s, {1}), want, tag + " bytewise");
    for (std::size_t c : {2u, 3u, 5u, 7u, 64u, 261u, 262u, 512u}) {
      expect_same(run_chunked(s, {c}), want, tag + " chunk " + std::to_string(c));
    }
    std::vector<std::size_t> sizes(37);
    for (auto& z : sizes) z = rng() % 300;  // includes empty pushes
    expect_same(run_chunked(s, sizes), want, tag + " random chunks");
    if (::testing::Test::HasFailure()) return;
  }
  // The generator really exercises both outcomes.
  EXPECT_GT(total_frames, 1000u);
  EXPECT_GT(total_failures, 1000u);
}

TEST(FrameDecoderProperty, LargeDenseRandomMatchesReference) {
  // Long runs of false starts: exercises the running sums well past their initial reach.
  std::mt19937 rng(99);
  Bytes s(1 << 16);
  for (auto& b : s) b = (rng() % 3 == 0) ? std::uint8_t{0xAA} : static_cast<std::uint8_t>(rng());
  for (int i = 0; i < 50; ++i) {  // sprinkle valid frames
    const Bytes f = encode_frame(0x20, Bytes(rng() % 200, 0x11));
    const std::size_t at = rng() % (s.size() - f.size());
    std::copy(f.begin(), f.end(), s.begin() + static_cast<std::ptrdiff_t>(at));
  }
  const Outcome want = run_reference(s);
  EXPECT_GT(want.frames.size(), 50u);
  expect_same(run_chunked(s, {s.size()}), want, "whole");
  expect_same(run_chunked(s, {512}), want, "512");
  expect_same(run_chunked(s, {1, 300, 17, 4096}), want, "mixed");
}

TEST(FrameDecoderProperty, EverySplitPointOfSmallStreams) {
  for (std::uint32_t seed = 100; seed < 140; ++seed) {
    std::mt19937 rng(seed);
    const Bytes s = random_stream(rng, 12);
    const Outcome want = run_reference(s);
    for (std::size_t cut = 0; cut <= s.size(); ++cut) {
      FrameDecoder d;
      Outcome got;
      got.frames = d.push(std::span(s).first(cut));
      EXPECT_TRUE(InvariantHolds(d));
      auto more = d.push(std::span(s).subspan(cut));
      EXPECT_TRUE(InvariantHolds(d));
      got.frames.insert(got.frames.end(), more.begin(), more.end());
      got.failures = d.checksum_failures();
      got.left.assign(d.buffered().begin(), d.buffered().end());
      expect_same(got, want, "seed " + std::to_string(seed) + " cut " + std::to_string(cut));
      if (::testing::Test::HasFailure()) return;
    }
  }
}

TEST(FrameDecoderProperty, DropFirstByteMatchesReference) {
  for (std::uint32_t seed = 500; seed < 540; ++seed) {
    std::mt19937 rng(seed);
    const Bytes s = random_stream(rng, 150);
    FrameDecoder d;
    ReferenceDecoder r;
    std::size_t pos = 0;
    while (pos < s.size() || !d.is_empty()) {
      std::vector<Frame> got;
      std::vector<Frame> want;
      if (pos < s.size() && rng() % 4 != 0) {
        const std::size_t n = std::min<std::size_t>(rng() % 100, s.size() - pos);
        const Bytes chunk(s.begin() + static_cast<std::ptrdiff_t>(pos),
                          s.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
        got = d.push(chunk);
        want = r.push(chunk);
      } else {
        got = d.drop_first_byte();
        want = r.drop_first_byte();
      }
      ASSERT_EQ(got, want) << "seed " << seed;
      ASSERT_EQ(d.checksum_failures(), r.checksum_failures()) << "seed " << seed;
      ASSERT_EQ(Bytes(d.buffered().begin(), d.buffered().end()), r.buffered()) << "seed " << seed;
      ASSERT_TRUE(InvariantHolds(d));
    }
  }
}

TEST(FrameDecoderProperty, ValidFramesAllReturnedInOrder) {
  std::mt19937 rng(7);
  Bytes s;
  std::vector<Frame> want;
  for (int i = 0; i < 300; ++i) {
    Bytes payload(rng() % 256);
    for (auto& b : payload) b = static_cast<std::uint8_t>(rng());
    const auto cmd = static_cast<std::uint8_t>(rng() % 0x6F);  // never hit the source rule
    const auto src = static_cast<std::uint8_t>(rng());
    const auto dst = static_cast<std::uint8_t>(rng());
    append(s, encode_frame(cmd, payload, src, dst));
    want.push_back(make_frame(cmd, payload, src, dst));
  }
  for (std::size_t c : {1u, 150u, 512u, 100000u}) {
    const Outcome got = run_chunked(s, {c});
    EXPECT_EQ(got.frames, want) << c;
    EXPECT_EQ(got.failures, 0u);
    EXPECT_TRUE(got.left.empty());
  }
}

}  // namespace
}  // namespace owl
