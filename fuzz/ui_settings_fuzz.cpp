// The front ends' form of the settings against the engine's record, on two records built from the
// input (the one asked for, then the unit's current one). Checks:
//  1. the engine's write request, shown as a form, equals the requested form merged by
//     as_written with the current one, for every keep-name/keep-charge choice: engine and front
//     ends keep the same fields of the unit;
//  2. settings_from_ui(settings_to_ui(x), x) gives x back for both records.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.hpp"
#include "settings/model.hpp"
#include "settings/validation.hpp"
#include "ui_fields.hpp"
#include "ui_settings.hpp"

namespace {

using namespace owl;

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::uint16_t word() { return static_cast<std::uint16_t>(byte() | byte() << 8); }
  std::uint32_t dword() { return static_cast<std::uint32_t>(word() | word() << 16); }
  bool flag() { return (byte() & 1) != 0; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Any enumeration code, recognised or not; the channels numbered by position and the encryption
// code within its six hex digits, as every record from the unit or a form has them.
UnitSettings record(Input& in) {
  UnitSettings s;
  const std::size_t name_length = in.byte() % 16;
  for (std::size_t i = 0; i < name_length; ++i) s.unitName.push_back(static_cast<char>(in.byte()));
  s.unitSerialNum = in.dword();
  s.structVer = in.byte();
  s.voicePromptsEnable = VoicePrompts::from_code(in.byte());
  s.bootAnnounce = in.flag();
  s.delayMs = in.word();
  s.hphMode = HphMode::from_code(in.byte());
  s.led = LedMode::from_code(in.byte());
  s.charge = ChargeMode::from_code(in.byte());
  s.squelch = SquelchLevel::from_code(in.byte());
  s.abButton = ButtonAction::from_code(in.byte());
  s.starButton = ButtonAction::from_code(in.byte());
  s.rfMode = RfMode::from_code(in.byte());
  s.compander = CompanderMode::from_code(in.byte());
  s.batteryType = BatteryType::from_code(in.byte());
  s.encryption = in.dword() & 0xFFFFFF;
  s.audioEq = AudioEq::from_code(in.byte());
  s.gainBoost = in.flag();
  s.minFreq = in.dword();
  s.maxFreq = in.dword();
  s.curPresetIndex = in.byte();
  s.hpCompressor = in.byte();
  s.reserved51 = in.byte();
  s.reserved60 = in.dword();
  const std::size_t channels = in.byte() % (MAX_CHANNELS + 1);
  for (std::size_t i = 0; i < channels; ++i) {
    const std::uint32_t frequency = in.dword();
    const std::uint8_t flags = in.byte();
    s.channels.push_back({frequency, static_cast<std::uint8_t>(i + 1), (flags & 1) != 0,
                          (flags & 2) != 0, (flags & 4) != 0});
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const UnitSettings requested = record(in);
  UnitSettings current = record(in);
  current.channels = requested.channels;  // the channel count rule is the engine's alone

  for (const bool keep_name : {false, true}) {
    for (const bool keep_charge : {false, true}) {
      const UiSettings engine =
          settings_to_ui(build_write_request(requested, current, keep_name, keep_charge));
      const UiSettings front =
          as_written(settings_to_ui(requested), settings_to_ui(current), keep_name, keep_charge);
      FUZZ_CHECK(engine == front);
    }
  }

  for (const UnitSettings& s : {requested, current}) {
    const auto back = settings_from_ui(settings_to_ui(s), s);
    FUZZ_CHECK(back.has_value());
    FUZZ_CHECK(back.value() == s);
  }
  return 0;
}
