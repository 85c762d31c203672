#include "frame.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
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

}  // namespace
}  // namespace owl
