#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "expected.hpp"
#include "settings/model.hpp"

namespace owl {

inline constexpr std::uint32_t SETTINGS_STRUCT_TYPE = 0x11223344;
inline constexpr std::size_t SETTINGS_HEADER_SIZE = 64;
inline constexpr std::size_t SETTINGS_CHANNEL_SIZE = 8;

struct SettingsDecodeError {
  enum class Kind { TooShort, StructType, ChannelCount };
  Kind kind = Kind::TooShort;
  std::size_t length = 0;   // TooShort: the payload length
  std::uint32_t word = 0;   // StructType: the first word read
  std::uint8_t count = 0;   // ChannelCount: the count byte
  std::size_t present = 0;  // ChannelCount: whole entries present

  static SettingsDecodeError too_short(std::size_t length);
  static SettingsDecodeError struct_type(std::uint32_t word);
  static SettingsDecodeError channel_count(std::uint8_t count, std::size_t present);

  // TooShort(40), StructType(0), ChannelCount { count: 11, present: 11 }
  std::string debug_text() const;

  friend bool operator==(const SettingsDecodeError&, const SettingsDecodeError&) = default;
};

// The payload of a settings write: 64-byte header with its checksum, then 8 bytes per channel.
std::vector<std::uint8_t> encode_settings(const UnitSettings& settings);

Expected<UnitSettings, SettingsDecodeError> decode_settings(std::span<const std::uint8_t> payload);

// Little-endian helpers shared by the codecs.
inline std::uint32_t read_u32_le(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void write_u32_le(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

}  // namespace owl
