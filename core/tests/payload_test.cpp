#include "settings/payload.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/json.hpp"
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

SettingsDecodeError decode_err(const Bytes& b) {
  auto r = decode_settings(b);
  EXPECT_FALSE(r.has_value());
  return r ? SettingsDecodeError{} : r.error();
}

// ---- Worked example ---------------------------------------------------------------------------

TEST(PayloadWorkedExample, EncodesToTheDocumentedBytes) {
  const Bytes got = encode_settings(sim_1002());
  ASSERT_EQ(got.size(), 128u);
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i], kSim1002Payload[i]) << "offset " << i;
  }
  EXPECT_EQ(got, kSim1002Payload);
}

TEST(PayloadWorkedExample, ChecksumWord) {
  const Bytes got = encode_settings(sim_1002());
  EXPECT_EQ(read_u32_le(got.data() + 4), 0x8C50E7B7u);
  EXPECT_EQ(header_word_sum(got), 0u);
}

TEST(PayloadWorkedExample, DecodesBackToTheRecord) {
  EXPECT_EQ(decode_ok(kSim1002Payload), sim_1002());
}

TEST(PayloadWorkedExample, ChecksumIsNotChecked) {
  Bytes b = kSim1002Payload;
  b[4] ^= 0xFF;
  EXPECT_EQ(decode_ok(b), sim_1002());
}

// ---- Structure --------------------------------------------------------------------------------

TEST(PayloadDecode, EmptyRecordRoundTrip) {
  Bytes b = empty_header();
  ASSERT_EQ(b.size(), 64u);
  b[46] = 0;
  const UnitSettings s = decode_ok(b);
  EXPECT_TRUE(s.channels.empty());
  const Bytes again = encode_settings(s);
  ASSERT_EQ(again.size(), 64u);
  EXPECT_EQ(header_word_sum(again), 0u);
  EXPECT_EQ(again, b);
}

TEST(PayloadDecode, TooShort) {
  const Bytes b(63, 0);
  const SettingsDecodeError e = decode_err(b);
  EXPECT_EQ(e, SettingsDecodeError::too_short(63));
  EXPECT_EQ(e.debug_text(), "TooShort(63)");
  EXPECT_EQ(decode_err(Bytes{}).debug_text(), "TooShort(0)");
  // A read request (only the struct type) is not a record.
  EXPECT_EQ(decode_err(Bytes{0x44, 0x33, 0x22, 0x11}).debug_text(), "TooShort(4)");
}

TEST(PayloadDecode, TooShortWinsOverStructType) {
  EXPECT_EQ(decode_err(Bytes(40, 0)).debug_text(), "TooShort(40)");
}

TEST(PayloadDecode, StructType) {
  Bytes b = empty_header();
  b[0] = b[1] = b[2] = b[3] = 0;
  const SettingsDecodeError e = decode_err(b);
  EXPECT_EQ(e, SettingsDecodeError::struct_type(0));
  EXPECT_EQ(e.debug_text(), "StructType(0)");

  b[0] = 0x11, b[1] = 0x22, b[2] = 0x33, b[3] = 0x44;  // byte-swapped
  EXPECT_EQ(decode_err(b).debug_text(), "StructType(1144201745)");
}

TEST(PayloadDecode, StructTypeWinsOverChannelCount) {
  Bytes b = empty_header();
  b[0] = 0;
  b[46] = 200;
  EXPECT_EQ(decode_err(b).kind, SettingsDecodeError::Kind::StructType);
}

TEST(PayloadDecode, ChannelCountOverTenEvenWhenPresent) {
  Bytes b = empty_header();
  b.resize(64 + 11 * 8, 0);
  b[46] = 11;
  const SettingsDecodeError e = decode_err(b);
  EXPECT_EQ(e, SettingsDecodeError::channel_count(11, 11));
  EXPECT_EQ(e.debug_text(), "ChannelCount { count: 11, present: 11 }");
}

TEST(PayloadDecode, ChannelCountMoreThanPresent) {
  Bytes b = empty_header();
  b.resize(64 + 2 * 8 + 7, 0);  // two whole entries and a partial one
  b[46] = 3;
  EXPECT_EQ(decode_err(b).debug_text(), "ChannelCount { count: 3, present: 2 }");
}

TEST(PayloadDecode, TenChannelsAccepted) {
  Bytes b = empty_header();
  b.resize(64 + 10 * 8, 0);
  b[46] = 10;
  EXPECT_EQ(decode_ok(b).channels.size(), 10u);
}

TEST(PayloadDecode, BytesBeyondDeclaredChannelsIgnored) {
  Bytes b = kSim1002Payload;
  b.insert(b.end(), 5, 0xEE);
  b.at(46) = 2;
  const UnitSettings s = decode_ok(b);
  ASSERT_EQ(s.channels.size(), 2u);
  EXPECT_EQ(s.channels[1].frequency, 197550u);
}

TEST(PayloadDecode, ChannelNumbersArePositions) {
  Bytes b = kSim1002Payload;
  for (std::size_t i = 0; i < 8; ++i) b[68 + 8 * i] = 0;
  UnitSettings s = decode_ok(b);
  ASSERT_EQ(s.channels.size(), 8u);
  for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(s.channels[i].channelNumber, i + 1);
  EXPECT_EQ(s, sim_1002());

  b[68] = 0x77;  // any value: the byte is not read
  EXPECT_EQ(decode_ok(b).channels[0].channelNumber, 1);
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
  EXPECT_EQ(again[68], 1);
  EXPECT_EQ(again[69], 1);
  EXPECT_EQ(again[70], 1);
  EXPECT_EQ(again[71], 0);
}

// ---- Field values -----------------------------------------------------------------------------

TEST(PayloadFields, SquelchClassificationAndReencoding) {
  const std::array<std::uint8_t, 7> in{0, 10, 25, 26, 60, 61, 255};
  const std::array<SquelchLevel, 7> want{SquelchLevel::MED, SquelchLevel::HIGH, SquelchLevel::HIGH,
                                         SquelchLevel::MED, SquelchLevel::MED,  SquelchLevel::LOW,
                                         SquelchLevel::LOW};
  const std::array<std::uint8_t, 7> written{40, 10, 10, 40, 40, 80, 80};
  for (std::size_t i = 0; i < in.size(); ++i) {
    Bytes b = empty_header();
    b[49] = in[i];
    const UnitSettings s = decode_ok(b);
    EXPECT_EQ(s.squelch, want[i]) << "byte " << int{in[i]};
    EXPECT_FALSE(s.squelch.is_unrecognised());
    EXPECT_EQ(encode_settings(s)[49], written[i]) << "byte " << int{in[i]};
  }
}

TEST(PayloadFields, UnrecognisedHphModeKeptAndWrittenBack) {
  Bytes b = empty_header();
  b[32] = 7;
  const UnitSettings s = decode_ok(b);
  EXPECT_TRUE(s.hphMode.is_unrecognised());
  EXPECT_EQ(s.hphMode.code(), 7);
  EXPECT_EQ(s.hphMode, HphMode::from_code(7));
  EXPECT_NE(s.hphMode, HphMode::from_code(8));
  EXPECT_EQ(encode_settings(s)[32], 7);
  EXPECT_EQ(settings_to_json(s).as_object().at("hphMode"), JsonValue(std::uint64_t{7}));
  EXPECT_NE(settings_to_json_text(s).find("\n  \"hphMode\": 7,\n"), std::string::npos);
}

TEST(PayloadFields, EveryEnumerationByteRoundTrips) {
  // Every code of every plain enumeration field is kept and written back unchanged.
  const std::array<std::size_t, 10> offsets{32, 33, 34, 35, 36, 37, 38, 39, 44, 48};
  for (std::size_t off : offsets) {
    for (unsigned v = 0; v < 256; ++v) {
      Bytes b = empty_header();
      b[off] = static_cast<std::uint8_t>(v);
      EXPECT_EQ(encode_settings(decode_ok(b))[off], v) << "offset " << off;
    }
  }
}

TEST(PayloadFields, BooleanByteTwoIsTrueAndWrittenAsOne) {
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

// ---- Name -------------------------------------------------------------------------------------

TEST(PayloadName, SixteenByteNameDecodesWholeAndReencodesFifteen) {
  Bytes b = empty_header();
  const std::string name = "ABCDEFGHIJKLMNOP";
  std::copy(name.begin(), name.end(), b.begin() + 8);
  const UnitSettings s = decode_ok(b);
  EXPECT_EQ(s.unitName, name);
  const Bytes again = encode_settings(s);
  EXPECT_EQ(std::string(again.begin() + 8, again.begin() + 23), "ABCDEFGHIJKLMNO");
  EXPECT_EQ(again[23], 0);
  EXPECT_EQ(header_word_sum(again), 0u);
}

TEST(PayloadName, LongNameCutToFifteenBytes) {
  UnitSettings s;
  s.unitName = std::string(40, 'x');
  const Bytes b = encode_settings(s);
  EXPECT_EQ(decode_ok(b).unitName, std::string(15, 'x'));
}

TEST(PayloadName, NameEndsAtFirstNul) {
  Bytes b = empty_header();
  const char raw[16] = {'A', 'B', 0, 'C', 'D'};
  std::copy(raw, raw + 16, b.begin() + 8);
  EXPECT_EQ(decode_ok(b).unitName, "AB");
}

TEST(PayloadName, InvalidUtf8Replaced) {
  Bytes b = empty_header();
  const std::uint8_t raw[] = {'O', 'W', 'L', 0xFF, '-', 0xC3, 0xA9, 0xE2, 0x82};
  std::copy(std::begin(raw), std::end(raw), b.begin() + 8);
  EXPECT_EQ(decode_ok(b).unitName, "OWL\xEF\xBF\xBD-\xC3\xA9\xEF\xBF\xBD");
}

TEST(PayloadName, CutInsideCharacterDecodesWithReplacement) {
  // 14 ASCII bytes and a 2-byte character fill the field; the encoder keeps 15 bytes, cutting the
  // character, so the next decode ends in U+FFFD and the name grows to 17 bytes.
  Bytes b = empty_header();
  const std::string name = "ABCDEFGHIJKLMN\xC3\xA9";
  ASSERT_EQ(name.size(), 16u);
  std::copy(name.begin(), name.end(), b.begin() + 8);
  const UnitSettings s = decode_ok(b);
  EXPECT_EQ(s.unitName, name);
  const UnitSettings again = decode_ok(encode_settings(s));
  EXPECT_EQ(again.unitName, "ABCDEFGHIJKLMN\xEF\xBF\xBD");
}

std::string lossy(std::initializer_list<std::uint8_t> bytes) {
  const Bytes b(bytes);
  return utf8_lossy(b);
}

TEST(PayloadName, Utf8LossyMaximalSubparts) {
  const std::string R = "\xEF\xBF\xBD";
  EXPECT_EQ(lossy({}), "");
  EXPECT_EQ(lossy({'a', 0xC3, 0xA9, 'b'}),
            "a\xC3\xA9"
            "b");                                                  // valid 2-byte
  EXPECT_EQ(lossy({0xF0, 0x9F, 0x8E, 0xB5}), "\xF0\x9F\x8E\xB5");  // valid 4-byte
  EXPECT_EQ(lossy({0xE2, 0x82, 'A'}), R + "A");                    // truncated 3-byte: one
  EXPECT_EQ(lossy({0xF0, 0x9F, 0x8E}), R);                         // truncated 4-byte: one
  EXPECT_EQ(lossy({0xC0, 0xAF}), R + R);                           // overlong lead
  EXPECT_EQ(lossy({0xE0, 0x80, 0x80}), R + R + R);                 // overlong 3-byte
  EXPECT_EQ(lossy({0xED, 0xA0, 0x80}), R + R + R);                 // surrogate
  EXPECT_EQ(lossy({0xF4, 0x90, 0x80, 0x80}), R + R + R + R);       // above U+10FFFF
  EXPECT_EQ(lossy({0xF5, 'x'}), R + "x");
  EXPECT_EQ(lossy({0x80, 0xBF}), R + R);                                 // lone continuations
  EXPECT_EQ(lossy({0xE1, 0x80, 0xE1, 0x80, 0x80}), R + "\xE1\x80\x80");  // subpart then valid
}

}  // namespace
}  // namespace owl
