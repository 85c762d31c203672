#include "wire.hpp"

#include <gtest/gtest.h>

namespace owl::wire {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes text_bytes(const std::string& s) {
  Writer w;
  w.text(s);
  return w.take();
}

TEST(WireEnvelope, ExactBytes) {
  EXPECT_EQ(success_bytes(std::string("0.1.0")),
            (Bytes{0x00, 0x05, 0x00, 0x00, 0x00, 0x30, 0x2E, 0x31, 0x2E, 0x30}));
  EXPECT_EQ(success_bytes(false), (Bytes{0x00, 0x00}));
  EXPECT_EQ(success_bytes(), Bytes{0x00});
  EXPECT_EQ(success_bytes(std::vector<UnitInfo>{}), (Bytes{0x00, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(close_stream_bytes(), Bytes{0x02});
  const std::string message = "start() must be called first";
  Bytes panic{0x03, 0x1C, 0x00, 0x00, 0x00};
  panic.insert(panic.end(), message.begin(), message.end());
  EXPECT_EQ(panic_bytes(message), panic);

  const UiEvent confirmed = ui_event::WriteResult{"SIM0001", true, ""};
  Bytes event{0x00, 0x04, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00};
  for (char c : std::string("SIM0001")) event.push_back(static_cast<std::uint8_t>(c));
  event.insert(event.end(), {0x01, 0x00, 0x00, 0x00, 0x00});
  EXPECT_EQ(success_bytes(confirmed), event);
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
  Reader r(bytes);
  UiSettings back;
  read(r, back);
  r.finish();
  EXPECT_EQ(back, s);
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
    Reader again(w.bytes());
    UiEvent back;
    read(again, back);
    again.finish();
    EXPECT_EQ(back, e);
  }
  std::vector<UnitInfo> infos{{"A", "simulator", std::nullopt, std::nullopt, ""},
                              {"B", "/dev/ttyACM0", "OWL 1", UiSettings{}, "{}"}};
  Writer w;
  write(w, infos);
  Reader r(w.bytes());
  std::vector<UnitInfo> back;
  read(r, back);
  r.finish();
  EXPECT_EQ(back, infos);
  std::vector<UnitWriteReport> reports{{"", "", {"no unit has reported settings yet"}}};
  Writer w2;
  write(w2, reports);
  Reader r2(w2.bytes());
  std::vector<UnitWriteReport> reports_back;
  read(r2, reports_back);
  EXPECT_EQ(reports_back, reports);
}

TEST(WireDecode, FaultsAreDecodeErrors) {
  {
    const Bytes input{0x01, 0x00};
    Reader r(input);
    EXPECT_THROW(r.u32(), DecodeError);
  }
  {
    const Bytes input{0xFF, 0xFF, 0xFF, 0xFF};
    Reader r(input);
    EXPECT_THROW(r.text(), DecodeError);  // negative length
  }
  {
    const Bytes input{0x10, 0x00, 0x00, 0x00, 'a'};
    Reader r(input);
    EXPECT_THROW(r.text(), DecodeError);  // more bytes claimed than present
  }
  {
    const Bytes input{0x02, 0x00, 0x00, 0x00, 0xC3, 0x28};
    Reader r(input);
    EXPECT_THROW(r.text(), DecodeError);  // invalid UTF-8
  }
  {
    const Bytes b = text_bytes("x");
    Bytes extra = b;
    extra.push_back(0);
    Reader r(extra);
    r.text();
    EXPECT_THROW(r.finish(), DecodeError);
  }
  {
    const Bytes input{0x06, 0x00, 0x00, 0x00};
    Reader r(input);
    UiEvent e;
    EXPECT_THROW(read(r, e), DecodeError);  // no such variant
  }
  EXPECT_TRUE(is_valid_utf8("Grüße €"));
  EXPECT_FALSE(is_valid_utf8(std::string("\xC0\xAF")));      // overlong
  EXPECT_FALSE(is_valid_utf8(std::string("\xED\xA0\x80")));  // surrogate
  EXPECT_FALSE(is_valid_utf8(std::string("\xF4\x90\x80\x80")));
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
}

}  // namespace
}  // namespace owl::wire
