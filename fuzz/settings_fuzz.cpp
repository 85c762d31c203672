// decode_settings on arbitrary bytes: never crashes; a decoded record survives encode + decode.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "settings/json.hpp"
#include "settings/model.hpp"
#include "settings/payload.hpp"
#include "text.hpp"

namespace {

[[noreturn]] void fail() {
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  auto first = owl::decode_settings(input);
  if (!first) {
    // The debug text is always printable.
    if (first.error().debug_text().empty()) fail();
    return 0;
  }
  const owl::UnitSettings& a = *first;
  if (a.channels.size() > owl::MAX_CHANNELS) fail();
  for (std::size_t i = 0; i < a.channels.size(); ++i) {
    if (a.channels[i].channelNumber != i + 1) fail();
  }

  const std::vector<std::uint8_t> bytes = owl::encode_settings(a);
  if (bytes.size() != owl::SETTINGS_HEADER_SIZE + owl::SETTINGS_CHANNEL_SIZE * a.channels.size()) {
    fail();
  }
  std::uint32_t sum = 0;
  for (std::size_t off = 0; off < owl::SETTINGS_HEADER_SIZE; off += 4) {
    sum += owl::read_u32_le(bytes.data() + off);
  }
  if (sum != 0) fail();

  auto second = owl::decode_settings(bytes);
  if (!second) fail();
  owl::UnitSettings b = *second;

  // The name survives when the decoded one was valid UTF-8 of at most 15 bytes. Otherwise it was
  // cut to 15 bytes by the encoder (possibly inside a character) and converted again, so the
  // re-decoded name is the lossy conversion of that 15-byte prefix; note that replacement can make
  // it longer than 15 bytes again (a lone lead byte becomes three bytes of U+FFFD).
  const std::string& an = a.unitName;
  const std::string prefix = an.substr(0, std::min<std::size_t>(15, an.size()));
  const std::string expected_name = owl::utf8_lossy(std::span<const std::uint8_t>(
      reinterpret_cast<const std::uint8_t*>(prefix.data()), prefix.size()));
  if (an.size() <= 15 && owl::is_valid_utf8(an) && b.unitName != an) fail();
  if (b.unitName != expected_name) fail();

  // Everything other than the name comes back unchanged.
  owl::UnitSettings a_other = a;
  a_other.unitName = b.unitName;
  if (!(a_other == b)) fail();

  // When the second decode left the written name bytes as they were, the cycle is a fixed point.
  if (b.unitName == prefix) {
    if (owl::encode_settings(b) != bytes) fail();
  }

  // The two JSON forms never throw and agree with record equality.
  if (!(owl::settings_to_json(a_other) == owl::settings_to_json(b))) fail();
  (void)owl::settings_to_json_text(b);
  return 0;
}
