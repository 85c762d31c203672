#include "frame.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "error.hpp"
#include "frame_check.hpp"

namespace owl {
namespace {

using Bytes = std::vector<std::uint8_t>;

using testing_support::ReferenceDecoder;

::testing::AssertionResult InvariantHolds(const FrameDecoder& d) {
  if (const char* broken = testing_support::decoder_invariant_broken(d)) {
    return ::testing::AssertionFailure() << broken;
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

// The fuzzer's stream check on seeded inputs: random streams of frames, garbage, corrupted and
// truncated frames, false starts and runs of 0xAA, cut at random chunk sizes (0 pushes nothing,
// 255 drops a byte); small streams split at every point; a stream of start bytes only; and one
// dense with false starts, which takes the running sums far past their first reach.
TEST(FrameDecoderFuzzRegression, SeededStreamsPassTheStreamCheck) {
  std::vector<Bytes> inputs;
  for (std::uint32_t seed = 1; seed <= 100; ++seed) {
    std::mt19937 rng(seed);
    Bytes input{static_cast<std::uint8_t>(rng())};
    for (std::size_t i = 0; i < 1 + input[0] % 8u; ++i) {
      input.push_back(static_cast<std::uint8_t>(seed <= 30 ? rng() % 8 : rng()));
    }
    append(input, random_stream(rng, 200));
    inputs.push_back(std::move(input));
  }
  for (std::uint32_t seed = 100; seed < 140; ++seed) {
    std::mt19937 rng(seed);
    const Bytes s = random_stream(rng, 12);
    for (std::size_t cut = 0; cut <= std::min<std::size_t>(s.size(), 254); ++cut) {
      Bytes input{1, static_cast<std::uint8_t>(cut), 254};  // k = 2: cut, then the rest
      append(input, s);
      inputs.push_back(std::move(input));
    }
  }
  inputs.push_back(Bytes{0, 7});
  inputs.back().resize(5002, 0xAA);
  std::mt19937 rng(99);
  Bytes dense{3, 1, 64, 200, 255};
  for (std::size_t i = 0; i < (1u << 16); ++i) {
    dense.push_back(rng() % 3 == 0 ? std::uint8_t{0xAA} : static_cast<std::uint8_t>(rng()));
  }
  for (int i = 0; i < 50; ++i) {  // sprinkle valid frames
    const Bytes f = frame_bytes(0x20, Bytes(rng() % 200, 0x11));
    const std::size_t at = 5 + rng() % (dense.size() - 5 - f.size());
    std::copy(f.begin(), f.end(), dense.begin() + static_cast<std::ptrdiff_t>(at));
  }
  inputs.push_back(std::move(dense));

  std::size_t frames = 0;
  std::uint64_t failures = 0;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    testing_support::check_frame_stream(
        inputs[i], [&](const char* what) { ADD_FAILURE() << what << " (input " << i << ")"; });
    if (::testing::Test::HasFailure()) return;
    ReferenceDecoder r;
    frames += r.push(inputs[i]).size();
    failures += r.checksum_failures();
  }
  // The inputs really exercise both outcomes.
  EXPECT_GT(frames, 1000u);
  EXPECT_GT(failures, 1000u);
}

}  // namespace
}  // namespace owl
