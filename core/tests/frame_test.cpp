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
      if (s >= buffer_.size()) break;  // no start byte: nothing kept
      if (buffer_.size() - s < 6) {    // header incomplete: wait
        keep = s;
        break;
      }
      const std::uint8_t l = buffer_[s + 2];
      const std::uint8_t src = buffer_[s + 3];
      const std::uint8_t cmd = buffer_[s + 5];
      if (cmd > 0x6E && src >= 1 && src <= 15) {  // the source rule: not a frame start
        p = s + 1;
        continue;
      }
      const std::size_t n = l;
      if (buffer_.size() - s < n + 6) {  // payload incomplete: wait
        keep = s;
        break;
      }
      unsigned sum = 0;  // checksum over length, addresses, command and payload
      for (std::size_t i = s + 2; i <= s + 5 + n; ++i) sum += buffer_[i];
      if ((sum & 0xFFu) != buffer_[s + 1]) {
        ++failures_;
        p = s + 1;
        continue;
      }
      Frame f;  // checksum matches: a frame
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

TEST(FrameEncode, Bytes) {
  struct Case {
    std::uint8_t cmd;
    Bytes payload;
    std::uint8_t src, dst;
    Bytes want;
  };
  const std::vector<Case> cases = {
      {CMD_SETTINGS,
       {0x44, 0x33, 0x22, 0x11},
       0,
       0,
       {0xAA, 0x2E, 0x04, 0x00, 0x00, 0x80, 0x44, 0x33, 0x22, 0x11}},
      {CMD_TEXT, {}, 0, 0, {0xAA, 0x20, 0x00, 0x00, 0x00, 0x20}},
      {0x90, {}, 0x81, 0xF0, {0xAA, 0x01, 0x00, 0x81, 0xF0, 0x90}},  // checksum wraps
      {CMD_SETTINGS, {0x01, 0x02}, 0x00, 0xFF, {0xAA, 0x84, 0x02, 0x00, 0xFF, 0x80, 0x01, 0x02}},
  };
  for (const Case& c : cases) EXPECT_EQ(encode_frame(c.cmd, c.payload, c.src, c.dst), c.want);
  EXPECT_EQ(Bytes(SETTINGS_REQUEST.begin(), SETTINGS_REQUEST.end()), cases[0].want);

  const Bytes longest = encode_frame(0x01, Bytes(255, 0xAA));
  ASSERT_EQ(longest.size(), 261u);
  EXPECT_EQ(longest[2], 255);
  try {
    (void)encode_frame(CMD_SETTINGS, Bytes(256, 0x00));
    FAIL() << "no panic";
  } catch (const Panic& e) {
    EXPECT_STREQ(e.what(), "frame size");
  }
}

TEST(FrameDecoder, Examples) {
  struct Case {
    const char* what;
    Bytes stream;
    std::vector<Frame> frames;
    std::uint64_t failures;
    Bytes left;
  };
  const Bytes ok = frame_bytes(0x20, {'o', 'k', 0});
  const Bytes stuck = {0xAA, 0x00, 0xFF, 0x00, 0x00, 0x80};
  Bytes max_payload(255);
  for (std::size_t i = 0; i < max_payload.size(); ++i)
    max_payload[i] = static_cast<std::uint8_t>(i * 7 + 3);
  Bytes no_start(1000);
  for (std::size_t i = 0; i < no_start.size(); ++i)
    no_start[i] = static_cast<std::uint8_t>(i % 0xAA);
  const auto cat = [](std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) append(out, p);
    return out;
  };
  Bytes bad_sum = frame_bytes(0x80, {1, 2, 3});
  bad_sum[1] ^= 0x01;
  // A bad frame claiming 20 payload bytes, with a valid frame inside that length.
  Bytes inner = cat({{0xAA, 0x00, 20, 0x00, 0x00, 0x80, 0x01}, frame_bytes(0x20, {9, 8, 7})});
  inner.resize(26, 0x00);
  const Bytes header = {0xAA, 0x2E, 0x04, 0x00, 0x00};

  const std::vector<Case> cases = {
      {"nothing", {}, {}, 0, {}},
      {"settings request",
       Bytes(SETTINGS_REQUEST.begin(), SETTINGS_REQUEST.end()),
       {make_frame(0x80, {0x44, 0x33, 0x22, 0x11})},
       0,
       {}},
      {"garbage first", cat({{0x01, 0x02, 0x03}, ok}), {make_frame(0x20, {'o', 'k', 0})}, 0, {}},
      {"two frames",
       cat({frame_bytes(0x80, {1, 2, 3}), frame_bytes(0x20, {4}, 0, 0xFF)}),
       {make_frame(0x80, {1, 2, 3}), make_frame(0x20, {4}, 0, 0xFF)},
       0,
       {}},
      {"partial header", cat({{0x10}, header}), {}, 0, header},
      {"bad checksum", bad_sum, {}, 1, {}},
      {"inner frame after bad checksum", inner, {make_frame(0x20, {9, 8, 7})}, 1, {}},
      {"source rule",
       cat({frame_bytes(0x80, {1, 2}, 0x01, 0x00), frame_bytes(0x6F, {}, 0x0F, 0x00),
            frame_bytes(0x80, {1, 2}, 0x00, 0x00), frame_bytes(0x80, {1, 2}, 0x10, 0x00),
            frame_bytes(0x6E, {5, 6, 7}, 0x01, 0x02)}),
       {make_frame(0x80, {1, 2}), make_frame(0x80, {1, 2}, 0x10),
        make_frame(0x6E, {5, 6, 7}, 1, 2)},
       0,
       {}},
      // A rejected candidate claiming 200 bytes must not hold back the frame behind it.
      {"source rule incomplete",
       cat({{0xAA, 0x00, 200, 0x05, 0x00, 0x80}, frame_bytes(0x20, {1})}),
       {make_frame(0x20, {1})},
       0,
       {}},
      {"max payload", frame_bytes(0x80, max_payload), {make_frame(0x80, max_payload)}, 0, {}},
      {"no start byte", no_start, {}, 0, {}},
      {"stuck candidate", cat({stuck, ok}), {}, 0, cat({stuck, ok})},
      // The false start waits for 261 bytes, fails its checksum, and the scan moves on by one.
      {"stuck candidate completed",
       [&] {
         Bytes s = cat({stuck, frame_bytes(0x20, {1, 2})});
         s.resize(261, 0x00);
         return s;
       }(),
       {make_frame(0x20, {1, 2})},
       1,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome want{c.frames, c.failures, c.left};
    expect_same(run_chunked(c.stream, {c.stream.size() + 1}), want, "whole");
    expect_same(run_chunked(c.stream, {1}), want, "bytewise");
    expect_same(run_reference(c.stream), want, "reference");
  }
}

TEST(FrameDecoder, DropFirstByte) {
  FrameDecoder d;
  EXPECT_TRUE(d.drop_first_byte().empty());
  EXPECT_TRUE(d.is_empty());
  Bytes s = {0xAA, 0x00, 0xFF, 0x00, 0x00, 0x80};
  append(s, frame_bytes(0x20, {'o', 'k', 0}));
  EXPECT_TRUE(d.push(s).empty());
  // Dropping the stuck candidate's start releases the frame behind it.
  EXPECT_EQ(d.drop_first_byte(), std::vector<Frame>{make_frame(0x20, {'o', 'k', 0})});
  EXPECT_TRUE(d.is_empty());
  EXPECT_EQ(d.checksum_failures(), 0u);
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
  EXPECT_EQ(got, r.push(copy));
  EXPECT_EQ(Bytes(d.buffered().begin(), d.buffered().end()), r.buffered());
}

TEST(FrameDecoderProperty, ChunkingDoesNotMatterAndMatchesReference) {
  std::vector<std::pair<std::string, Bytes>> streams;
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    std::mt19937 rng(seed);
    streams.emplace_back("seed " + std::to_string(seed), random_stream(rng, 200));
  }
  streams.emplace_back("all start bytes", Bytes(5000, 0xAA));
  // Long runs of false starts exercise the running sums well past their initial reach.
  std::mt19937 rng(99);
  Bytes dense(1 << 16);
  for (auto& b : dense)
    b = (rng() % 3 == 0) ? std::uint8_t{0xAA} : static_cast<std::uint8_t>(rng());
  for (int i = 0; i < 50; ++i) {  // sprinkle valid frames
    const Bytes f = frame_bytes(0x20, Bytes(rng() % 200, 0x11));
    const std::size_t at = rng() % (dense.size() - f.size());
    std::copy(f.begin(), f.end(), dense.begin() + static_cast<std::ptrdiff_t>(at));
  }
  streams.emplace_back("dense", dense);

  std::size_t total_frames = 0;
  std::uint64_t total_failures = 0;
  for (const auto& [tag, s] : streams) {
    const Outcome want = run_reference(s);
    total_frames += want.frames.size();
    total_failures += want.failures;
    expect_same(run_chunked(s, {s.size() + 1}), want, tag + " whole");
    for (std::size_t c : {1u, 2u, 3u, 5u, 7u, 64u, 261u, 262u, 512u}) {
      expect_same(run_chunked(s, {c}), want, tag + " chunk " + std::to_string(c));
    }
    std::vector<std::size_t> sizes(37);
    for (auto& z : sizes) z = rng() % 300;  // includes empty pushes
    expect_same(run_chunked(s, sizes), want, tag + " random chunks");
    if (::testing::Test::HasFailure()) return;
  }
  // The streams really exercise both outcomes.
  EXPECT_GT(total_frames, 1000u);
  EXPECT_GT(total_failures, 1000u);
}

TEST(FrameDecoderProperty, EverySplitPointOfSmallStreams) {
  for (std::uint32_t seed = 100; seed < 140; ++seed) {
    std::mt19937 rng(seed);
    const Bytes s = random_stream(rng, 12);
    const Outcome want = run_reference(s);
    for (std::size_t cut = 0; cut <= s.size(); ++cut) {
      expect_same(run_chunked(s, {cut, s.size()}), want,
                  "seed " + std::to_string(seed) + " cut " + std::to_string(cut));
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

}  // namespace
}  // namespace owl
