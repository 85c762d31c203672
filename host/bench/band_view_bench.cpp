// A full repaint of the band view with a big show's worth of units must fit in one frame, and
// the coordination check that runs on every frequency edit must not make typing wait (50 ms).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <random>

#include "ui/band_view.hpp"
#include "ui/coordination_panel.hpp"

namespace {

std::vector<owl::desktop::BandUnit> show(int units, int channels) {
  std::vector<owl::desktop::BandUnit> out;
  for (int u = 0; u < units; ++u) {
    owl::desktop::BandUnit unit{QStringLiteral("SIM%1").arg(u, 4, 10, QLatin1Char('0')),
                                QStringLiteral("Pack %1").arg(u),
                                470000,
                                608000,
                                {}};
    for (int c = 0; c < channels; ++c) {
      // Every fifth unit shares its first channel with the one before, as in-ear mixes do.
      const int slot = (u % 5 == 0 && c == 0 && u > 0) ? (u - 1) * channels : u * channels + c;
      unit.channels.push_back(
          {static_cast<std::uint32_t>(470000 + slot * 250), c % 3 == 0, c % 2 == 0, c != 7});
    }
    out.push_back(std::move(unit));
  }
  return out;
}

void BM_BandViewRepaint50Units(benchmark::State& state) {
  owl::desktop::BandView view;
  view.set_units(show(50, 10));
  view.resize(1400, owl::desktop::BandLayout::minimum_height(50));
  QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    view.render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
  state.counters["channels"] = 500;
}
BENCHMARK(BM_BandViewRepaint50Units)->Unit(benchmark::kMillisecond);

// 50 packs with one enabled channel each (and a disabled one), spread at random over 470-494
// MHz on the 25 kHz grid, with a few exclusions and other carriers: a crowded show, so products
// hit often and the conflict list is long.
owl::desktop::UnitSettingsMap crowded_show(std::size_t units) {
  std::mt19937 random(7);
  std::uniform_int_distribution<std::uint32_t> slot(0, 24000 / 25);
  owl::desktop::UnitSettingsMap out;
  for (std::size_t u = 0; u < units; ++u) {
    owl::UiSettings s;
    s.min_freq = 470000;
    s.max_freq = 608000;
    s.channels = {{470000 + slot(random) * 25, false, false, true},
                  {470000 + slot(random) * 25, false, false, false}};
    out["SIM" + std::to_string(1000 + u)] = s;
  }
  return out;
}

owl::desktop::CoordinationFields crowded_fields() {
  owl::desktop::CoordinationFields f;
  f.exclusions = {{486000, 494000, "TV 22", false}};
  f.other_carriers = {{471000, "intercom"}, {476500, "IEM"}};
  f.locked = {"SIM1000", "SIM1001"};
  for (std::uint32_t k = 470000; k < 494000; k += 100) {
    f.scan.push_back({k, k % 3000 == 0 ? -70.0 : -95.0});
  }
  return f;
}

// What one frequency edit costs before the count is shown: adapter and analysis.
void BM_CheckAfterEdit50Carriers(benchmark::State& state) {
  auto units = crowded_show(static_cast<std::size_t>(state.range(0)));
  const auto fields = crowded_fields();
  std::size_t conflicts = 0;
  std::uint32_t nudge = 0;
  for (auto _ : state) {
    units.begin()->second.channels[0].frequency = 480000 + (nudge++ % 40) * 25;
    const auto analysis = owl::coord::analyse(owl::desktop::scenario_from(units, fields));
    conflicts = analysis.conflicts.size();
    benchmark::DoNotOptimize(analysis);
  }
  state.counters["conflicts"] = static_cast<double>(conflicts);
}
BENCHMARK(BM_CheckAfterEdit50Carriers)->Arg(50)->Unit(benchmark::kMillisecond);

// The whole path on screen: the panel's check and count, the band view taking the result
// (products near carriers) and repainting with products shown.
void BM_PanelAndBandAfterEdit50Carriers(benchmark::State& state) {
  auto units = crowded_show(50);
  owl::desktop::CoordinationPanel panel;
  owl::desktop::BandView view;
  view.set_show_products(true);
  QObject::connect(&panel, &owl::desktop::CoordinationPanel::analysed, &view,
                   &owl::desktop::BandView::set_coordination);
  std::vector<owl::desktop::BandUnit> lanes;
  for (const auto& [key, s] : units) {
    lanes.push_back({QString::fromStdString(key), {}, s.min_freq, s.max_freq, s.channels});
  }
  view.set_units(lanes);
  view.resize(1400, owl::desktop::BandLayout::minimum_height(51));
  const auto fields = crowded_fields();
  panel.set_exclusions(fields.exclusions);
  panel.set_other_carriers(fields.other_carriers);
  panel.set_scan(fields.scan, fields.scan_threshold_dbm);
  QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
  std::uint32_t nudge = 0;
  for (auto _ : state) {
    units.begin()->second.channels[0].frequency = 480000 + (nudge++ % 40) * 25;
    panel.set_units(units);
    view.render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
  state.counters["conflicts"] = static_cast<double>(panel.analysis().conflicts.size());
  state.counters["products"] = static_cast<double>(view.products().size());
}
BENCHMARK(BM_PanelAndBandAfterEdit50Carriers)->Unit(benchmark::kMillisecond);

}  // namespace
