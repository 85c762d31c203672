// The front ends' form of the settings against the engine's record, on two records decoded from
// the input (the one asked for, then the unit's current one). Checks:
//  1. the engine's write request, shown as a form, equals the requested form merged by
//     as_written with the current one, for every keep-name/keep-charge choice: engine and front
//     ends keep the same fields of the unit;
//  2. settings_from_ui(settings_to_ui(x), x) gives x back for both records.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "fuzz_check.hpp"
#include "settings/payload.hpp"
#include "settings/validation.hpp"
#include "ui_fields.hpp"
#include "ui_settings.hpp"

namespace {

using namespace owl;

// The next payload's worth of input (zeros where it runs out) under a valid structure type, so
// that any enumeration code, name or channel list can come out. The encryption code is cut to
// its six hex digits, as every form has it.
std::optional<UnitSettings> next_record(std::span<const std::uint8_t>& in) {
  std::vector<std::uint8_t> payload(SETTINGS_HEADER_SIZE + MAX_CHANNELS * SETTINGS_CHANNEL_SIZE);
  const std::size_t n = std::min(in.size(), payload.size());
  std::copy_n(in.begin(), n, payload.begin());
  in = in.subspan(n);
  write_u32_le(payload.data(), SETTINGS_STRUCT_TYPE);
  auto s = decode_settings(payload);
  if (!s) return std::nullopt;
  s->encryption &= 0xFFFFFF;
  return *s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> in(data, size);
  const std::optional<UnitSettings> requested = next_record(in);
  std::optional<UnitSettings> current = next_record(in);
  if (!requested || !current) return 0;
  current->channels = requested->channels;  // the channel count rule is the engine's alone

  for (const bool keep_name : {false, true}) {
    for (const bool keep_charge : {false, true}) {
      const UiSettings engine =
          settings_to_ui(build_write_request(*requested, *current, keep_name, keep_charge));
      const UiSettings front =
          as_written(settings_to_ui(*requested), settings_to_ui(*current), keep_name, keep_charge);
      FUZZ_CHECK(engine == front);
    }
  }

  for (const UnitSettings& s : {*requested, *current}) {
    const auto back = settings_from_ui(settings_to_ui(s), s);
    FUZZ_CHECK(back.has_value());
    FUZZ_CHECK(back.value() == s);
  }
  return 0;
}
