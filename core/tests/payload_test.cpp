#include "settings/payload.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "settings/model.hpp"
#include "sim/simulated_port.hpp"

namespace owl {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The second built-in simulated unit's initial settings: the record of the worked example.
UnitSettings sim_1002() {
  return simulated_unit_settings(1002, 192000, 216975, 8);
}

// The worked example of the payload layout, one row per 16 bytes.
const Bytes kSim1002Payload = {
    0x44, 0x33, 0x22, 0x11, 0xb7, 0xe7, 0x50, 0x8c, 0x53, 0x49, 0x4d, 0x2d, 0x31, 0x30, 0x30, 0x32,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xea, 0x03, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00,
    0x00, 0x01, 0x01, 0x01, 0x03, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00,
    0x00, 0x28, 0x00, 0x01, 0x00, 0xee, 0x02, 0x00, 0x8f, 0x4f, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00,
    0xd7, 0xf8, 0x02, 0x00, 0x01, 0x00, 0x00, 0x01, 0xae, 0x03, 0x03, 0x00, 0x02, 0x00, 0x00, 0x00,
    0x85, 0x0e, 0x03, 0x00, 0x03, 0x00, 0x00, 0x00, 0x5c, 0x19, 0x03, 0x00, 0x04, 0x00, 0x00, 0x00,
    0x33, 0x24, 0x03, 0x00, 0x05, 0x00, 0x00, 0x00, 0x0a, 0x2f, 0x03, 0x00, 0x06, 0x00, 0x00, 0x00,
    0xe1, 0x39, 0x03, 0x00, 0x07, 0x00, 0x00, 0x00, 0xb8, 0x44, 0x03, 0x00, 0x08, 0x00, 0x00, 0x00,
};

// A valid 64-byte header with no channels, to be patched by the edge-case tests.
Bytes empty_header() {
  UnitSettings s;
  return encode_settings(s);
}

std::uint32_t header_word_sum(const Bytes& b) {
  std::uint32_t sum = 0;
  for (std::size_t off = 0; off < SETTINGS_HEADER_SIZE; off += 4)
    sum += read_u32_le(b.data() + off);
  return sum;
}

UnitSettings decode_ok(const Bytes& b) {
  auto r = decode_settings(b);
  EXPECT_TRUE(r.has_value()) << (r ? "" : r.error().debug_text());
  return r ? *r : UnitSettings{};
}

std::string decode_err(const Bytes& b) {
  auto r = decode_settings(b);
  return r ? "decoded" : r.error().debug_text();
}

TEST(PayloadWorkedExample, BothWays) {
  const Bytes got = encode_settings(sim_1002());
  EXPECT_EQ(got, kSim1002Payload);
  EXPECT_EQ(read_u32_le(got.data() + 4), 0x8C50E7B7u);
  EXPECT_EQ(header_word_sum(got), 0u);
  EXPECT_EQ(decode_ok(kSim1002Payload), sim_1002());
  // The checksum word is not checked on decode.
  Bytes b = kSim1002Payload;
  b[4] ^= 0xFF;
  EXPECT_EQ(decode_ok(b), sim_1002());
}

TEST(PayloadDecode, Errors) {
  const auto header = [](std::size_t size, std::size_t at, std::uint8_t value,
                         std::uint8_t count = 0) {
    Bytes b = empty_header();
    b.resize(size, 0);
    b[at] = value;
    b[46] = count;
    return b;
  };
  Bytes swapped = empty_header();
  std::reverse(swapped.begin(), swapped.begin() + 4);
  Bytes zero = empty_header();
  std::fill_n(zero.begin(), 4, 0);
  const std::vector<std::pair<Bytes, std::string>> cases = {
      {Bytes(63, 0), "TooShort(63)"},
      {Bytes{}, "TooShort(0)"},
      {Bytes{0x44, 0x33, 0x22, 0x11}, "TooShort(4)"},  // a read request is not a record
      {Bytes(40, 0), "TooShort(40)"},                  // wins over the struct type
      {zero, "StructType(0)"},
      {swapped, "StructType(1144201745)"},
      {header(64, 0, 0, 200), "StructType(287453952)"},  // wins over the channel count
      {header(64 + 11 * 8, 0, 0x44, 11), "ChannelCount { count: 11, present: 11 }"},
      {header(64 + 2 * 8 + 7, 0, 0x44, 3), "ChannelCount { count: 3, present: 2 }"},
  };
  for (const auto& [bytes, want] : cases) EXPECT_EQ(decode_err(bytes), want) << want;
}

TEST(PayloadDecode, ChannelList) {
  Bytes b = empty_header();
  ASSERT_EQ(b.size(), 64u);
  const UnitSettings none = decode_ok(b);
  EXPECT_TRUE(none.channels.empty());
  EXPECT_EQ(encode_settings(none), b);

  b.resize(64 + 10 * 8, 0);
  b[46] = 10;
  EXPECT_EQ(decode_ok(b).channels.size(), 10u);

  b = kSim1002Payload;  // bytes beyond the declared channels are ignored
  b.insert(b.end(), 5, 0xEE);
  b[46] = 2;
  const UnitSettings two = decode_ok(b);
  ASSERT_EQ(two.channels.size(), 2u);
  EXPECT_EQ(two.channels[1].frequency, 197550u);

  // Channel numbers are positions; the stored byte is not read.
  b = kSim1002Payload;
  for (std::size_t i = 0; i < 8; ++i) b[68 + 8 * i] = i == 0 ? 0x77 : 0;
  EXPECT_EQ(decode_ok(b), sim_1002());
}

TEST(PayloadDecode, ChannelFlagsAreNonZeroTests) {
  Bytes b = empty_header();
  b.resize(64 + 8, 0);
  b[46] = 1;
  write_u32_le(b.data() + 64, 123456);
  b[69] = 2, b[70] = 0x80, b[71] = 0;
  UnitSettings s = decode_ok(b);
  ASSERT_EQ(s.channels.size(), 1u);
  EXPECT_EQ(s.channels[0].frequency, 123456u);
  EXPECT_TRUE(s.channels[0].delayEnable);
  EXPECT_TRUE(s.channels[0].votingEnable);
  EXPECT_FALSE(s.channels[0].channelEnable);
  const Bytes again = encode_settings(s);
  EXPECT_EQ(Bytes(again.begin() + 68, again.end()), (Bytes{1, 1, 1, 0}));
}

TEST(PayloadFields, SquelchClassificationAndReencoding) {
  // {byte read, level, byte written}
  const std::vector<std::tuple<std::uint8_t, SquelchLevel, std::uint8_t>> cases = {
      {0, SquelchLevel::MED, 40},  {10, SquelchLevel::HIGH, 10}, {25, SquelchLevel::HIGH, 10},
      {26, SquelchLevel::MED, 40}, {60, SquelchLevel::MED, 40},  {61, SquelchLevel::LOW, 80},
      {255, SquelchLevel::LOW, 80}};
  for (const auto& [in, level, written] : cases) {
    Bytes b = empty_header();
    b[49] = in;
    const UnitSettings s = decode_ok(b);
    EXPECT_EQ(s.squelch, level) << int{in};
    EXPECT_FALSE(s.squelch.is_unrecognised());
    EXPECT_EQ(encode_settings(s)[49], written) << int{in};
  }
}

TEST(PayloadFields, EnumerationCodesKeptAndBooleansNormalised) {
  const UnitSettings hph = [] {
    Bytes b = empty_header();
    b[32] = 7;
    return decode_ok(b);
  }();
  EXPECT_TRUE(hph.hphMode.is_unrecognised());
  EXPECT_EQ(hph.hphMode, HphMode::from_code(7));
  EXPECT_NE(hph.hphMode, HphMode::from_code(8));
  // Every code of every plain enumeration field is written back unchanged.
  for (std::size_t off : {32u, 33u, 34u, 35u, 36u, 37u, 38u, 39u, 44u, 48u}) {
    for (unsigned v = 0; v < 256; ++v) {
      Bytes b = empty_header();
      b[off] = static_cast<std::uint8_t>(v);
      EXPECT_EQ(encode_settings(decode_ok(b))[off], v) << "offset " << off;
    }
  }
  Bytes b = empty_header();
  b[29] = 2;
  b[45] = 0xFF;
  const UnitSettings s = decode_ok(b);
  EXPECT_TRUE(s.bootAnnounce);
  EXPECT_TRUE(s.gainBoost);
  const Bytes again = encode_settings(s);
  EXPECT_EQ(again[29], 1);
  EXPECT_EQ(again[45], 1);
}

TEST(PayloadFields, MultiByteFieldsAreLittleEndian) {
  UnitSettings s;
  s.delayMs = 0x1234;
  s.encryption = 0x00ABCDEF;
  s.reserved60 = 0xDEADBEEF;
  s.unitSerialNum = 0x01020304;
  const Bytes b = encode_settings(s);
  EXPECT_EQ(b[30], 0x34);
  EXPECT_EQ(b[31], 0x12);
  EXPECT_EQ(read_u32_le(b.data() + 40), 0x00ABCDEFu);
  EXPECT_EQ(read_u32_le(b.data() + 60), 0xDEADBEEFu);
  EXPECT_EQ(read_u32_le(b.data() + 24), 0x01020304u);
  EXPECT_EQ(decode_ok(b), s);
}

UnitSettings with_name_bytes(const std::string& raw) {
  Bytes b = empty_header();
  std::copy(raw.begin(), raw.end(), b.begin() + 8);
  return decode_ok(b);
}

TEST(PayloadName, DecodeAndReencode) {
  // A 16-byte name decodes whole and is written back as 15 bytes and a NUL.
  const UnitSettings s = with_name_bytes("ABCDEFGHIJKLMNOP");
  EXPECT_EQ(s.unitName, "ABCDEFGHIJKLMNOP");
  const Bytes again = encode_settings(s);
  EXPECT_EQ(std::string(again.begin() + 8, again.begin() + 24),
            "ABCDEFGHIJKLMNO" + std::string(1, '\0'));
  EXPECT_EQ(header_word_sum(again), 0u);

  UnitSettings longer;
  longer.unitName = std::string(40, 'x');
  EXPECT_EQ(decode_ok(encode_settings(longer)).unitName, std::string(15, 'x'));

  EXPECT_EQ(with_name_bytes(std::string("AB\0CD", 5)).unitName, "AB");
  EXPECT_EQ(with_name_bytes("OWL\xFF-\xC3\xA9\xE2\x82").unitName,
            "OWL\xEF\xBF\xBD-\xC3\xA9\xEF\xBF\xBD");

  // Cutting at 15 bytes splits the last character, so the next decode ends in U+FFFD.
  const UnitSettings cut = with_name_bytes("ABCDEFGHIJKLMN\xC3\xA9");
  EXPECT_EQ(cut.unitName, "ABCDEFGHIJKLMN\xC3\xA9");
  EXPECT_EQ(decode_ok(encode_settings(cut)).unitName, "ABCDEFGHIJKLMN\xEF\xBF\xBD");
}

}  // namespace
}  // namespace owl
