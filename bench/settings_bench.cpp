// Settings payload codec: encode + decode round trip of a full 10-channel record.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "settings/json.hpp"
#include "settings/model.hpp"
#include "settings/payload.hpp"

namespace {

owl::UnitSettings ten_channel_record() {
  owl::UnitSettings s;
  s.unitName = "SIM-1001";
  s.unitSerialNum = 1001;
  s.structVer = 5;
  s.minFreq = 215000;
  s.maxFreq = 217000;
  s.rfMode = owl::RfMode::DIGITAL;
  s.led = owl::LedMode::ON;
  s.charge = owl::ChargeMode::SLOW;
  s.batteryType = owl::BatteryType::ALKALINE;
  s.abButton = owl::ButtonAction::CHANNEL;
  s.starButton = owl::ButtonAction::ANNOUNCE;
  s.reserved51 = 1;
  for (std::uint8_t i = 1; i <= 10; ++i) {
    owl::ChannelSettings ch;
    ch.frequency = 215000u + 180u * i;
    ch.channelNumber = i;
    ch.channelEnable = (i == 1);
    s.channels.push_back(ch);
  }
  return s;
}

void BM_SettingsRoundTrip(benchmark::State& state) {
  const owl::UnitSettings s = ten_channel_record();
  for (auto _ : state) {
    const std::vector<std::uint8_t> bytes = owl::encode_settings(s);
    auto decoded = owl::decode_settings(bytes);
    benchmark::DoNotOptimize(decoded);
  }
}
BENCHMARK(BM_SettingsRoundTrip);

void BM_SettingsEncode(benchmark::State& state) {
  const owl::UnitSettings s = ten_channel_record();
  for (auto _ : state) {
    auto bytes = owl::encode_settings(s);
    benchmark::DoNotOptimize(bytes.data());
  }
}
BENCHMARK(BM_SettingsEncode);

void BM_SettingsDecode(benchmark::State& state) {
  const std::vector<std::uint8_t> bytes = owl::encode_settings(ten_channel_record());
  for (auto _ : state) {
    auto decoded = owl::decode_settings(bytes);
    benchmark::DoNotOptimize(decoded);
  }
}
BENCHMARK(BM_SettingsDecode);

void BM_SettingsJsonText(benchmark::State& state) {
  const owl::UnitSettings s = ten_channel_record();
  for (auto _ : state) {
    auto text = owl::settings_to_json_text(s);
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_SettingsJsonText);

void BM_SettingsJsonObject(benchmark::State& state) {
  const owl::UnitSettings s = ten_channel_record();
  for (auto _ : state) {
    auto v = owl::settings_to_json(s);
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_SettingsJsonObject);

}  // namespace
