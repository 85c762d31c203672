#include "sim/simulated_port.hpp"

#include <algorithm>

#include "settings/payload.hpp"

namespace owl {

namespace {
// Counts beyond this cannot be reported in one frame, so a longer channel list is never needed.
constexpr std::uint32_t LARGEST_REPORTABLE_CHANNELS =
    (MAX_PAYLOAD - SETTINGS_HEADER_SIZE) / SETTINGS_CHANNEL_SIZE;
}  // namespace

UnitSettings simulated_unit_settings(std::uint32_t serial, std::uint32_t lo, std::uint32_t hi,
                                     std::uint32_t channel_count) {
  UnitSettings s;
  s.unitName = "SIM-" + std::to_string(serial);
  s.unitSerialNum = serial;
  s.encryption = 0;
  s.minFreq = lo;
  s.maxFreq = hi;
  s.reserved60 = 0;
  s.rfMode = RfMode::DIGITAL;
  s.hphMode = HphMode::MONO;
  s.led = LedMode::ON;
  s.charge = ChargeMode::SLOW;
  s.squelch = SquelchLevel::MED;
  s.compander = CompanderMode::OFF;
  s.batteryType = BatteryType::ALKALINE;
  s.audioEq = AudioEq::NORMAL;
  s.voicePromptsEnable = VoicePrompts::OFF;
  s.abButton = ButtonAction::CHANNEL;
  s.starButton = ButtonAction::ANNOUNCE;
  s.delayMs = 0;
  s.bootAnnounce = false;
  s.gainBoost = false;
  s.structVer = 5;
  s.curPresetIndex = 0;
  s.hpCompressor = 0;
  s.reserved51 = 1;
  // Wrapping 32-bit arithmetic throughout; a divisor that wraps to zero gives a zero step.
  const std::uint32_t divisor = channel_count + 1u;
  const std::uint32_t spread = divisor == 0 ? 0 : (hi - lo) / divisor;
  const std::uint32_t step = spread / 5u * 5u;
  const std::uint32_t listed = std::min(channel_count, LARGEST_REPORTABLE_CHANNELS + 1);
  for (std::uint32_t i = 1; i <= listed; ++i) {
    ChannelSettings c;
    c.frequency = lo + step * i;
    c.channelNumber = static_cast<std::uint8_t>(i);
    c.channelEnable = i == 1;
    s.channels.push_back(c);
  }
  return s;
}

std::vector<std::uint8_t> simulated_settings_payload(const UnitSettings& settings) {
  std::vector<std::uint8_t> payload = encode_settings(settings);
  for (std::size_t at = SETTINGS_HEADER_SIZE + 4; at < payload.size();
       at += SETTINGS_CHANNEL_SIZE) {
    payload[at] = 0;
  }
  std::uint32_t sum = 0;
  for (std::size_t offset : {0u, 8u, 12u, 16u, 20u, 28u, 32u, 36u, 40u, 44u, 48u, 60u}) {
    sum += read_u32_le(payload.data() + offset);
  }
  write_u32_le(payload.data() + 4, 0u - sum);
  return payload;
}

SimulatedPort::SimulatedPort(UnitSettings initial, std::shared_ptr<std::atomic<bool>> stop,
                             Clock& clock)
    : identity_("OWL 9.99 sn" + std::to_string(initial.unitSerialNum)),
      settings_(std::make_shared<SimulatedSettings>()),
      stop_(std::move(stop)),
      clock_(clock) {
  settings_->settings = std::move(initial);
  // A real unit's console greets with a colour reset and two carriage returns.
  outgoing_ = {0x1B, 0x5B, 0x30, 0x6D, 0x0D, 0x0D};
}

Expected<std::size_t, LinkError> SimulatedPort::read(std::span<std::uint8_t> buffer) {
  if (stop_->load()) return Unexpected{LinkError::from_errno(EPIPE)};
  if (!outgoing_.empty()) {
    const std::size_t n = std::min({buffer.size(), SIM_READ_LIMIT, outgoing_.size()});
    std::copy_n(outgoing_.begin(), n, buffer.begin());
    outgoing_.erase(outgoing_.begin(), outgoing_.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
  }
  clock_.sleep_for(SIM_IDLE_WAIT);
  return Unexpected{LinkError::timed_out()};
}

std::optional<LinkError> SimulatedPort::write_all(std::span<const std::uint8_t> bytes) {
  for (const Frame& frame : decoder_.push(bytes)) {
    if (frame.cmd != CMD_SETTINGS || frame.payload.size() < 4 ||
        read_u32_le(frame.payload.data()) != SETTINGS_STRUCT_TYPE) {
      continue;
    }
    if (frame.payload.size() == 4) {
      answer_read_request();
    } else {
      store_written(frame.payload);
    }
  }
  return std::nullopt;
}

void SimulatedPort::answer_read_request() {
  UnitSettings snapshot;
  {
    const std::lock_guard<std::mutex> lock(settings_->mutex);
    snapshot = settings_->settings;
  }
  const std::vector<std::uint8_t> payload = simulated_settings_payload(snapshot);
  // Too many channels for one frame: the unit stays silent rather than send a broken frame.
  if (payload.size() > MAX_PAYLOAD) return;
  const std::vector<std::uint8_t> settings_frame = encode_frame(CMD_SETTINGS, payload, 0x00, 0xFF);
  outgoing_.insert(outgoing_.end(), settings_frame.begin(), settings_frame.end());
  outgoing_.push_back(0x0D);
  outgoing_.push_back(0x0D);
  std::vector<std::uint8_t> text(identity_.begin(), identity_.end());
  text.push_back(0);
  const std::vector<std::uint8_t> identity_frame = encode_frame(CMD_TEXT, text);
  outgoing_.insert(outgoing_.end(), identity_frame.begin(), identity_frame.end());
}

void SimulatedPort::store_written(std::span<const std::uint8_t> payload) {
  auto decoded = decode_settings(payload);
  if (!decoded) return;
  const std::lock_guard<std::mutex> lock(settings_->mutex);
  UnitSettings& current = settings_->settings;
  UnitSettings next = std::move(decoded.value());
  next.unitSerialNum = current.unitSerialNum;
  next.minFreq = current.minFreq;
  next.maxFreq = current.maxFreq;
  current = std::move(next);
}

}  // namespace owl
