#include "sim/simulated_port.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <tuple>
#include <vector>

#include "settings/payload.hpp"

using namespace std::chrono_literals;

namespace owl {
namespace {

struct Drained {
  std::vector<std::uint8_t> bytes;
  std::vector<std::size_t> chunks;
};

// Reads until the port reports an idle line, as a device worker would.
Drained read_until_idle(SimulatedPort& port, std::size_t buffer_size = 512) {
  Drained out;
  std::vector<std::uint8_t> buffer(buffer_size);
  for (;;) {
    auto n = port.read(buffer);
    if (!n) {
      EXPECT_EQ(n.error().kind, LinkError::Kind::TimedOut);
      return out;
    }
    out.chunks.push_back(*n);
    out.bytes.insert(out.bytes.end(), buffer.begin(),
                     buffer.begin() + static_cast<std::ptrdiff_t>(*n));
  }
}

std::vector<Frame> frames_of(const std::vector<std::uint8_t>& bytes) {
  FrameDecoder decoder;
  std::vector<Frame> frames = decoder.push(bytes);
  EXPECT_TRUE(decoder.is_empty());
  EXPECT_EQ(decoder.checksum_failures(), 0u);
  return frames;
}

void request(SimulatedPort& port) {
  EXPECT_EQ(port.write_all(SETTINGS_REQUEST), std::nullopt);
}

// Requests the settings and decodes the whole answer.
std::vector<Frame> ask(SimulatedPort& port) {
  request(port);
  return frames_of(read_until_idle(port).bytes);
}

// The host's paced transmit hands the port five bytes at a time.
void write_in_chunks(SimulatedPort& port, const std::vector<std::uint8_t>& bytes) {
  for (std::size_t at = 0; at < bytes.size(); at += 5) {
    const std::size_t n = std::min<std::size_t>(5, bytes.size() - at);
    EXPECT_EQ(port.write_all(std::span<const std::uint8_t>(bytes).subspan(at, n)), std::nullopt);
  }
}

bool channel_numbers_zero(const std::vector<std::uint8_t>& payload) {
  for (std::size_t at = SETTINGS_HEADER_SIZE + 4; at < payload.size(); at += 8) {
    if (payload[at] != 0) return false;
  }
  return true;
}

// A port past its greeting noise.
struct Unit {
  explicit Unit(UnitSettings s) : initial(std::move(s)) { read_until_idle(port); }
  ManualClock clock;
  std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>(false);
  UnitSettings initial;
  SimulatedPort port{initial, stop, clock};
};

struct Unit1 : Unit {
  Unit1() : Unit(simulated_unit_settings(1001, 215000, 217000, 10)) {}
};

TEST(SimulatedPort, GreetsWithNoiseThenIdles) {
  ManualClock clock;
  SimulatedPort port(simulated_unit_settings(1001, 215000, 217000, 10),
                     std::make_shared<std::atomic<bool>>(false), clock);
  const Drained d = read_until_idle(port);
  EXPECT_EQ(d.bytes, (std::vector<std::uint8_t>{0x1B, 0x5B, 0x30, 0x6D, 0x0D, 0x0D}));
  EXPECT_EQ(clock.sleeps(), (std::vector<Duration>{10ms}));
}

TEST(SimulatedPort, ReadRequestYieldsSettingsAndIdentityFrames) {
  Unit1 u;
  request(u.port);
  const Drained d = read_until_idle(u.port);
  ASSERT_FALSE(d.chunks.empty());
  EXPECT_EQ(d.chunks.front(), 64u);
  for (std::size_t n : d.chunks) EXPECT_LE(n, 64u);

  const std::vector<Frame> frames = frames_of(d.bytes);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(std::tuple(frames[0].cmd, frames[0].src, frames[0].dst),
            std::tuple(CMD_SETTINGS, std::uint8_t{0x00}, std::uint8_t{0xFF}));
  ASSERT_EQ(frames[0].payload.size(), 64u + 8u * 10u);
  EXPECT_TRUE(channel_numbers_zero(frames[0].payload));
  EXPECT_EQ(decode_settings(frames[0].payload).value(), u.initial);

  EXPECT_EQ(std::tuple(frames[1].cmd, frames[1].src, frames[1].dst),
            std::tuple(CMD_TEXT, std::uint8_t{0x00}, std::uint8_t{0x00}));
  const std::string text = "OWL 9.99 sn1001";
  std::vector<std::uint8_t> identity(text.begin(), text.end());
  identity.push_back(0);
  EXPECT_EQ(frames[1].payload, identity);

  // Two carriage returns lie between the frames, nothing after the identity frame.
  const std::size_t settings_end = 6 + frames[0].payload.size();
  ASSERT_EQ(d.bytes.size(), settings_end + 2 + 6 + identity.size());
  EXPECT_EQ(
      std::vector<std::uint8_t>(d.bytes.begin() + static_cast<std::ptrdiff_t>(settings_end),
                                d.bytes.begin() + static_cast<std::ptrdiff_t>(settings_end) + 3),
      (std::vector<std::uint8_t>{0x0D, 0x0D, 0xAA}));

  // A small buffer takes only what fits.
  request(u.port);
  std::array<std::uint8_t, 10> small{};
  EXPECT_EQ(u.port.read(small).value(), 10u);
  EXPECT_EQ(small[0], 0xAA);
}

TEST(SimulatedPort, SecondBuiltInUnitReportsFirmwareChecksum) {
  Unit u(simulated_unit_settings(1002, 192000, 216975, 8));
  const std::vector<Frame> frames = ask(u.port);
  ASSERT_EQ(frames.size(), 2u);
  const std::vector<std::uint8_t>& payload = frames[0].payload;
  ASSERT_EQ(payload.size(), 64u + 8u * 8u);
  EXPECT_EQ(std::vector<std::uint8_t>(payload.begin() + 4, payload.begin() + 8),
            (std::vector<std::uint8_t>{0x30, 0x29, 0x57, 0x8C}));
  EXPECT_EQ(payload, simulated_settings_payload(u.initial));
}

TEST(SimulatedPort, ChannelPlan) {
  const UnitSettings first = simulated_unit_settings(1001, 215000, 217000, 10);
  ASSERT_EQ(first.channels.size(), 10u);
  for (std::size_t i = 0; i < 10; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(first.channels[i].frequency, 215000u + 180u * (i + 1));
    EXPECT_EQ(static_cast<std::size_t>(first.channels[i].channelNumber), i + 1);
    EXPECT_EQ(first.channels[i].channelEnable, i == 0);
  }
  const UnitSettings flat = simulated_unit_settings(5, 200000, 200000, 4);
  ASSERT_EQ(flat.channels.size(), 4u);
  for (const ChannelSettings& c : flat.channels) EXPECT_EQ(c.frequency, 200000u);
}

TEST(SimulatedPort, WriteKeepsSerialAndRangeAndChangesTheRest) {
  Unit1 u;
  UnitSettings written = u.initial;
  written.unitName = "Renamed";
  written.unitSerialNum = 4242;
  written.minFreq = 100000;
  written.maxFreq = 300000;
  written.delayMs = 120;
  written.led = LedMode::DIM;
  written.squelch = SquelchLevel::LOW;
  written.encryption = 0xABCDEF;
  written.curPresetIndex = 3;
  written.channels[2].frequency = 216000;
  written.channels[4].channelEnable = true;
  write_in_chunks(u.port, encode_frame(CMD_SETTINGS, encode_settings(written)));
  EXPECT_TRUE(read_until_idle(u.port).bytes.empty());  // a write is not answered

  const std::vector<Frame> frames = ask(u.port);
  ASSERT_EQ(frames.size(), 2u);
  UnitSettings expected = written;
  expected.unitSerialNum = 1001;
  expected.minFreq = 215000;
  expected.maxFreq = 217000;
  EXPECT_EQ(decode_settings(frames[0].payload).value(), expected);
}

TEST(SimulatedPort, IgnoresFramesItCannotUse) {
  Unit1 u;
  UnitSettings eleven = u.initial;
  eleven.delayMs = 300;
  eleven.channels.push_back(eleven.channels.back());
  std::vector<std::uint8_t> other_type = encode_settings(u.initial);
  other_type[3] = 0x12;
  write_in_chunks(u.port, encode_frame(CMD_SETTINGS, encode_settings(eleven)));
  write_in_chunks(u.port, encode_frame(CMD_SETTINGS, std::vector<std::uint8_t>{0x44, 0x33, 0x22}));
  write_in_chunks(u.port, encode_frame(CMD_SETTINGS, other_type));
  write_in_chunks(u.port,
                  encode_frame(CMD_TEXT, std::vector<std::uint8_t>{0x44, 0x33, 0x22, 0x11}));
  EXPECT_TRUE(read_until_idle(u.port).bytes.empty());

  const std::vector<Frame> frames = ask(u.port);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(decode_settings(frames[0].payload).value(), u.initial);
}

TEST(SimulatedPort, AnswersNothingWhenTheReportWouldNotFitAFrame) {
  Unit fits(simulated_unit_settings(1, 215000, 217000, 23));
  const std::vector<Frame> frames = ask(fits.port);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].payload.size(), 64u + 8u * 23u);

  Unit too_big(simulated_unit_settings(1, 215000, 217000, 24));
  request(too_big.port);
  EXPECT_TRUE(read_until_idle(too_big.port).bytes.empty());
}

TEST(SimulatedPort, StoppedPortFailsAtOnceWithQueuedBytes) {
  Unit1 u;
  request(u.port);
  u.stop->store(true);
  std::array<std::uint8_t, 64> buffer{};
  const auto n = u.port.read(buffer);
  ASSERT_FALSE(n);
  EXPECT_EQ(n.error().kind, LinkError::Kind::BrokenPipe);
  EXPECT_EQ(u.clock.sleeps(), (std::vector<Duration>{10ms})) << "only the greeting's idle wait";
}

}  // namespace
}  // namespace owl
