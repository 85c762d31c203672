// decode_settings on arbitrary bytes: never crashes; a decoded record survives encode + decode.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "fuzz_check.hpp"
#include "settings/json.hpp"
#include "settings/model.hpp"
#include "settings/payload.hpp"
#include "text.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  auto first = owl::decode_settings(input);
  if (!first) {
    // The debug text is always printable.
    FUZZ_CHECK(!first.error().debug_text().empty());
    return 0;
  }
  const owl::UnitSettings& a = *first;
  FUZZ_CHECK(a.channels.size() <= owl::MAX_CHANNELS);
  for (std::size_t i = 0; i < a.channels.size(); ++i) {
    FUZZ_CHECK(a.channels[i].channelNumber == i + 1);
  }

  const std::vector<std::uint8_t> bytes = owl::encode_settings(a);
  FUZZ_CHECK(bytes.size() ==
             owl::SETTINGS_HEADER_SIZE + owl::SETTINGS_CHANNEL_SIZE * a.channels.size());
  std::uint32_t sum = 0;
  for (std::size_t off = 0; off < owl::SETTINGS_HEADER_SIZE; off += 4) {
    sum += owl::read_u32_le(bytes.data() + off);
  }
  FUZZ_CHECK(sum == 0);

  auto second = owl::decode_settings(bytes);
  FUZZ_CHECK(second.has_value());
  owl::UnitSettings b = *second;

  // The name survives when the decoded one was valid UTF-8 of at most 15 bytes. Otherwise it was
  // cut to 15 bytes by the encoder (possibly inside a character) and converted again, so the
  // re-decoded name is the lossy conversion of that 15-byte prefix; note that replacement can make
  // it longer than 15 bytes again (a lone lead byte becomes three bytes of U+FFFD).
  const std::string& an = a.unitName;
  const std::string prefix = an.substr(0, std::min<std::size_t>(15, an.size()));
  const std::string expected_name = owl::utf8_lossy(std::span<const std::uint8_t>(
      reinterpret_cast<const std::uint8_t*>(prefix.data()), prefix.size()));
  FUZZ_CHECK(an.size() > 15 || !owl::is_valid_utf8(an) || b.unitName == an);
  FUZZ_CHECK(b.unitName == expected_name);

  // Everything other than the name comes back unchanged.
  owl::UnitSettings a_other = a;
  a_other.unitName = b.unitName;
  FUZZ_CHECK(a_other == b);

  // When the second decode left the written name bytes as they were, the cycle is a fixed point.
  if (b.unitName == prefix) FUZZ_CHECK(owl::encode_settings(b) == bytes);

  // The two JSON forms never throw and agree with record equality.
  FUZZ_CHECK(owl::settings_to_json(a_other) == owl::settings_to_json(b));
  (void)owl::settings_to_json_text(b);
  return 0;
}
