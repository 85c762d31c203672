#include "wire.hpp"

#include <gtest/gtest.h>

namespace owl::wire {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <class T>
T round_trip(const T& value) {
  Writer w;
  write(w, value);
  Reader r(w.bytes());
  T back;
  read(r, back);
  r.finish();
  return back;
}

// The version, feature, panic, close and empty success answers are checked through the exports.
TEST(WireEnvelope, ExactBytes) {
  EXPECT_EQ(success_bytes(std::vector<UnitInfo>{}), (Bytes{0x00, 0x00, 0x00, 0x00, 0x00}));
  // A boolean answer is one byte; false, 0, is the features answer.
  EXPECT_EQ(success_bytes(true), (Bytes{0x00, 0x01}));
  const UiEvent confirmed = ui_event::WriteResult{"SIM0001", true, ""};
  Bytes event{0x00, 0x04, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00};
  for (char c : std::string("SIM0001")) event.push_back(static_cast<std::uint8_t>(c));
  event.insert(event.end(), {0x01, 0x00, 0x00, 0x00, 0x00});
  EXPECT_EQ(success_bytes(confirmed), event);

  Writer w;
  w.u64(0x0102030405060708u);
  w.i64(-2);
  EXPECT_EQ(w.bytes(), (Bytes{0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0xFE, 0xFF, 0xFF,
                              0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  Reader r(w.bytes());
  EXPECT_EQ(r.u64(), 0x0102030405060708u);
  EXPECT_EQ(r.i64(), -2);
  EXPECT_THROW(r.u64(), DecodeError);
  // Any byte but 0 reads as true.
  const Bytes flags{0x02, 0x00};
  Reader f(flags);
  EXPECT_TRUE(f.boolean());
  EXPECT_FALSE(f.boolean());
}

TEST(WireRecords, UiSettingsLayoutAndRoundTrip) {
  UiSettings s;
  s.unit_name = "A";
  s.serial = 0x01020304;
  s.voice_prompts = "OFF";
  s.boot_announce = true;
  s.delay_ms = 0x0102;
  s.hph_mode = "MONO";
  s.encryption = "00BEEF";
  s.gain_boost = true;
  s.min_freq = 1;
  s.max_freq = 2;
  s.channels = {{216025, true, false, true}};
  Writer w;
  write(w, s);
  const Bytes bytes = w.take();
  // name, serial, voice prompts, boot announce, delay: fixed positions at the front
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 9),
            (Bytes{0x01, 0x00, 0x00, 0x00, 'A', 0x04, 0x03, 0x02, 0x01}));
  EXPECT_EQ(Bytes(bytes.begin() + 9, bytes.begin() + 16), (Bytes{0x03, 0, 0, 0, 'O', 'F', 'F'}));
  EXPECT_EQ(bytes[16], 0x01);
  EXPECT_EQ(bytes[17], 0x02);
  EXPECT_EQ(bytes[18], 0x01);
  // the channel list closes the record: count 1, then u32 and three booleans
  EXPECT_EQ(Bytes(bytes.end() - 11, bytes.end()),
            (Bytes{0x01, 0, 0, 0, 0xD9, 0x4B, 0x03, 0x00, 0x01, 0x00, 0x01}));
  EXPECT_EQ(round_trip(s), s);
}

TEST(WireRecords, EveryEventVariantAndUnitInfoRoundTrip) {
  std::vector<UiEvent> events{
      ui_event::Announced{"K", "simulator"},
      ui_event::Stopped{"K", "device closed"},
      ui_event::Settings{"K", UiSettings{}},
      ui_event::Identity{"K", "OWL 9.99 sn1001"},
      ui_event::WriteResult{"K", false, "the unit did not answer after the write"},
      ui_event::PortProblems{{"/dev/ttyACM0: Permission denied", "/dev/ttyACM1: x"}},
  };
  for (const UiEvent& e : events) {
    Writer w;
    write(w, e);
    Reader r(w.bytes());
    EXPECT_EQ(r.i32(), static_cast<std::int32_t>(e.index()));
    EXPECT_EQ(round_trip(e), e);
  }
  const std::vector<UnitInfo> infos{{"A", "simulator", std::nullopt, std::nullopt, ""},
                                    {"B", "/dev/ttyACM0", "OWL 1", UiSettings{}, "{}"}};
  EXPECT_EQ(round_trip(infos), infos);
  const std::vector<UnitWriteReport> reports{{"", "", {"no unit has reported settings yet"}}};
  EXPECT_EQ(round_trip(reports), reports);
}

template <class T>
void read_whole(Reader& r) {
  T value;
  read(r, value);
  r.finish();
}

TEST(WireDecode, FaultsAreDecodeErrors) {
  // A short number, a negative text length, more bytes claimed than present, a list cut short
  // after its count, invalid UTF-8, bytes left over, and an event variant that does not exist.
  const std::pair<Bytes, void (*)(Reader&)> faults[] = {
      {{0x01, 0x00}, &read_whole<UiChannel>},
      {{0x01, 0x00, 0x00, 0x00}, &read_whole<std::vector<UnitInfo>>},
      {{0xFF, 0xFF, 0xFF, 0xFF}, &read_whole<std::string>},
      {{0x10, 0x00, 0x00, 0x00, 'a'}, &read_whole<std::string>},
      {{0x02, 0x00, 0x00, 0x00, 0xC3, 0x28}, &read_whole<std::string>},
      {{0x01, 0x00, 0x00, 0x00, 'x', 0x00}, &read_whole<std::string>},
      {{0x06, 0x00, 0x00, 0x00}, &read_whole<UiEvent>}};
  for (std::size_t i = 0; i < std::size(faults); ++i) {
    Reader r(faults[i].first);
    EXPECT_THROW(faults[i].second(r), DecodeError) << "case " << i;
  }
}

TEST(WireStreamPort, DecimalWithOptionalSign) {
  EXPECT_EQ(parse_stream_port("12345"), 12345);
  EXPECT_EQ(parse_stream_port("+7"), 7);
  EXPECT_EQ(parse_stream_port("-7"), -7);
  EXPECT_EQ(parse_stream_port("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(parse_stream_port("-9223372036854775808"), INT64_MIN);
  for (const char* bad : {"", "+", "-", "12a", " 1", "9223372036854775808", "1.0"}) {
    EXPECT_THROW(parse_stream_port(bad), DecodeError) << bad;
  }
  // One past either end, and far past: out of range, not wrapped around.
  for (const char* big : {"9223372036854775808", "-9223372036854775809", "99999999999999999999"}) {
    try {
      parse_stream_port(big);
      ADD_FAILURE() << big;
    } catch (const DecodeError& e) {
      EXPECT_STREQ(e.what(), "stream port out of range") << big;
    }
  }
}

}  // namespace
}  // namespace owl::wire
