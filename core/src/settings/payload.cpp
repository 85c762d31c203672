#include "settings/payload.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "text.hpp"

namespace owl {

// ---- SettingsDecodeError ----------------------------------------------------------------------

SettingsDecodeError SettingsDecodeError::too_short(std::size_t length) {
  SettingsDecodeError e;
  e.kind = Kind::TooShort;
  e.length = length;
  return e;
}

SettingsDecodeError SettingsDecodeError::struct_type(std::uint32_t word) {
  SettingsDecodeError e;
  e.kind = Kind::StructType;
  e.word = word;
  return e;
}

SettingsDecodeError SettingsDecodeError::channel_count(std::uint8_t count, std::size_t present) {
  SettingsDecodeError e;
  e.kind = Kind::ChannelCount;
  e.count = count;
  e.present = present;
  return e;
}

std::string SettingsDecodeError::debug_text() const {
  switch (kind) {
    case Kind::TooShort:
      return "TooShort(" + std::to_string(length) + ")";
    case Kind::StructType:
      return "StructType(" + std::to_string(word) + ")";
    case Kind::ChannelCount:
      return "ChannelCount { count: " + std::to_string(count) +
             ", present: " + std::to_string(present) + " }";
  }
  return "SettingsDecodeError";
}

// ---- Layout -----------------------------------------------------------------------------------

namespace {

constexpr std::size_t OFF_STRUCT_TYPE = 0;
constexpr std::size_t OFF_CHECKSUM = 4;
constexpr std::size_t OFF_NAME = 8;
constexpr std::size_t NAME_FIELD = 16;
constexpr std::size_t NAME_MAX_WRITTEN = 15;
constexpr std::size_t OFF_SERIAL = 24;
constexpr std::size_t OFF_STRUCT_VER = 28;
constexpr std::size_t OFF_BOOT_ANNOUNCE = 29;
constexpr std::size_t OFF_DELAY_MS = 30;
constexpr std::size_t OFF_HPH_MODE = 32;
constexpr std::size_t OFF_LED = 33;
constexpr std::size_t OFF_CHARGE = 34;
constexpr std::size_t OFF_AB_BUTTON = 35;
constexpr std::size_t OFF_STAR_BUTTON = 36;
constexpr std::size_t OFF_RF_MODE = 37;
constexpr std::size_t OFF_COMPANDER = 38;
constexpr std::size_t OFF_BATTERY = 39;
constexpr std::size_t OFF_ENCRYPTION = 40;
constexpr std::size_t OFF_AUDIO_EQ = 44;
constexpr std::size_t OFF_GAIN_BOOST = 45;
constexpr std::size_t OFF_COUNT = 46;
constexpr std::size_t OFF_PRESET = 47;
constexpr std::size_t OFF_VOICE = 48;
constexpr std::size_t OFF_SQUELCH = 49;
constexpr std::size_t OFF_HP_COMPRESSOR = 50;
constexpr std::size_t OFF_RESERVED51 = 51;
constexpr std::size_t OFF_MIN_FREQ = 52;
constexpr std::size_t OFF_MAX_FREQ = 56;
constexpr std::size_t OFF_RESERVED60 = 60;

inline std::uint8_t flag(bool b) {
  return b ? 1 : 0;
}

// Word access through memcpy: the same results as read_u32_le / write_u32_le, but compilers turn
// these into single loads and stores (the byte-by-byte forms made GCC shuffle bytes at length).
inline std::uint32_t swap_if_big(std::uint32_t v) {
  if constexpr (std::endian::native == std::endian::little) {
    return v;
  } else {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
  }
}
inline std::uint32_t get32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return swap_if_big(v);
}
inline void put32(std::uint8_t* p, std::uint32_t v) {
  v = swap_if_big(v);
  std::memcpy(p, &v, 4);
}

}  // namespace

// ---- Encoding ---------------------------------------------------------------------------------

std::vector<std::uint8_t> encode_settings(const UnitSettings& s) {
  const std::size_t n = s.channels.size();
  std::vector<std::uint8_t> out(SETTINGS_HEADER_SIZE + SETTINGS_CHANNEL_SIZE * n);
  std::uint8_t* const p = out.data();
  if (p == nullptr) return out;  // never: the size is at least 64 (tells the optimiser so)

  put32(p + OFF_STRUCT_TYPE, SETTINGS_STRUCT_TYPE);
  // Name: the first min(15, length) bytes; the field always keeps a terminating NUL.
  std::memcpy(p + OFF_NAME, s.unitName.data(), std::min(NAME_MAX_WRITTEN, s.unitName.size()));
  put32(p + OFF_SERIAL, s.unitSerialNum);
  p[OFF_STRUCT_VER] = s.structVer;
  p[OFF_BOOT_ANNOUNCE] = flag(s.bootAnnounce);
  p[OFF_DELAY_MS] = static_cast<std::uint8_t>(s.delayMs);
  p[OFF_DELAY_MS + 1] = static_cast<std::uint8_t>(s.delayMs >> 8);
  p[OFF_HPH_MODE] = s.hphMode.code();
  p[OFF_LED] = s.led.code();
  p[OFF_CHARGE] = s.charge.code();
  p[OFF_AB_BUTTON] = s.abButton.code();
  p[OFF_STAR_BUTTON] = s.starButton.code();
  p[OFF_RF_MODE] = s.rfMode.code();
  p[OFF_COMPANDER] = s.compander.code();
  p[OFF_BATTERY] = s.batteryType.code();
  put32(p + OFF_ENCRYPTION, s.encryption);
  p[OFF_AUDIO_EQ] = s.audioEq.code();
  p[OFF_GAIN_BOOST] = flag(s.gainBoost);
  p[OFF_COUNT] = static_cast<std::uint8_t>(n);
  p[OFF_PRESET] = s.curPresetIndex;
  p[OFF_VOICE] = s.voicePromptsEnable.code();
  p[OFF_SQUELCH] = s.squelch.code();
  p[OFF_HP_COMPRESSOR] = s.hpCompressor;
  p[OFF_RESERVED51] = s.reserved51;
  put32(p + OFF_MIN_FREQ, s.minFreq);
  put32(p + OFF_MAX_FREQ, s.maxFreq);
  put32(p + OFF_RESERVED60, s.reserved60);

  std::uint32_t sum = 0;
  for (std::size_t off = 0; off < SETTINGS_HEADER_SIZE; off += 4) sum += get32(p + off);
  put32(p + OFF_CHECKSUM, 0u - sum);

  std::uint8_t* c = p + SETTINGS_HEADER_SIZE;
  for (const ChannelSettings& ch : s.channels) {
    put32(c, ch.frequency);
    c[4] = ch.channelNumber;
    c[5] = flag(ch.delayEnable);
    c[6] = flag(ch.votingEnable);
    c[7] = flag(ch.channelEnable);
    c += SETTINGS_CHANNEL_SIZE;
  }
  return out;
}

// ---- Decoding ---------------------------------------------------------------------------------

Expected<UnitSettings, SettingsDecodeError> decode_settings(std::span<const std::uint8_t> payload) {
  const std::size_t len = payload.size();
  if (len < SETTINGS_HEADER_SIZE) return Unexpected{SettingsDecodeError::too_short(len)};
  const std::uint8_t* p = payload.data();
  const std::uint32_t type = get32(p + OFF_STRUCT_TYPE);
  if (type != SETTINGS_STRUCT_TYPE) return Unexpected{SettingsDecodeError::struct_type(type)};

  const std::uint8_t count = p[OFF_COUNT];
  const std::size_t present = (len - SETTINGS_HEADER_SIZE) / SETTINGS_CHANNEL_SIZE;
  if (count > MAX_CHANNELS || count > present) {
    return Unexpected{SettingsDecodeError::channel_count(count, present)};
  }

  UnitSettings s;
  // Name: bytes up to the first NUL of the 16-byte field.
  const std::uint8_t* name = p + OFF_NAME;
  const void* nul = std::memchr(name, 0, NAME_FIELD);
  const std::size_t name_len =
      nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - name) : NAME_FIELD;
  bool ascii = true;
  for (std::size_t i = 0; i < name_len; ++i) ascii = ascii && name[i] < 0x80;
  if (ascii) {
    s.unitName.assign(reinterpret_cast<const char*>(name), name_len);
  } else {
    s.unitName = utf8_lossy(std::span<const std::uint8_t>(name, name_len));
  }

  s.unitSerialNum = get32(p + OFF_SERIAL);
  s.structVer = p[OFF_STRUCT_VER];
  s.voicePromptsEnable = VoicePrompts::from_code(p[OFF_VOICE]);
  s.bootAnnounce = p[OFF_BOOT_ANNOUNCE] != 0;
  s.delayMs = static_cast<std::uint16_t>(p[OFF_DELAY_MS] | (p[OFF_DELAY_MS + 1] << 8));
  s.hphMode = HphMode::from_code(p[OFF_HPH_MODE]);
  s.led = LedMode::from_code(p[OFF_LED]);
  s.charge = ChargeMode::from_code(p[OFF_CHARGE]);
  s.squelch = classify_squelch(p[OFF_SQUELCH]);
  s.abButton = ButtonAction::from_code(p[OFF_AB_BUTTON]);
  s.starButton = ButtonAction::from_code(p[OFF_STAR_BUTTON]);
  s.rfMode = RfMode::from_code(p[OFF_RF_MODE]);
  s.compander = CompanderMode::from_code(p[OFF_COMPANDER]);
  s.batteryType = BatteryType::from_code(p[OFF_BATTERY]);
  s.encryption = get32(p + OFF_ENCRYPTION);
  s.audioEq = AudioEq::from_code(p[OFF_AUDIO_EQ]);
  s.gainBoost = p[OFF_GAIN_BOOST] != 0;
  s.minFreq = get32(p + OFF_MIN_FREQ);
  s.maxFreq = get32(p + OFF_MAX_FREQ);
  s.curPresetIndex = p[OFF_PRESET];
  s.hpCompressor = p[OFF_HP_COMPRESSOR];
  s.reserved51 = p[OFF_RESERVED51];
  s.reserved60 = get32(p + OFF_RESERVED60);

  s.channels.reserve(count);
  const std::uint8_t* c = p + SETTINGS_HEADER_SIZE;
  for (std::size_t i = 0; i < count; ++i, c += SETTINGS_CHANNEL_SIZE) {
    s.channels.push_back(ChannelSettings{
        .frequency = get32(c),
        .channelNumber = static_cast<std::uint8_t>(i + 1),  // position; the byte at 4 is not read
        .delayEnable = c[5] != 0,
        .votingEnable = c[6] != 0,
        .channelEnable = c[7] != 0,
    });
  }
  return s;
}

}  // namespace owl
