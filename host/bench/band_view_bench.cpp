// A full repaint of the band view with a big show's worth of units must fit in one frame.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>

#include "ui/band_view.hpp"

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

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
