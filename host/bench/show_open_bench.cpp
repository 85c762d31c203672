// Opening a 50-unit show from the menu and drawing the window must feel immediate.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMenu>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "settings_file.hpp"
#include "show_file.hpp"
#include "ui/main_window.hpp"
#include "ui/unit_list_model.hpp"

namespace {

owl::UiSettings pack(int n) {
  owl::UiSettings s;
  s.unit_name = "Pack-" + std::to_string(n);
  s.serial = static_cast<std::uint32_t>(2000 + n);
  s.voice_prompts = "ON";
  s.hph_mode = "STEREO";
  s.led = "ON";
  s.charge = "SLOW";
  s.squelch = "MED";
  s.ab_button = "NONE";
  s.star_button = "NONE";
  s.rf_mode = "NORMAL";
  s.compander = "ON";
  s.battery_type = "NIMH";
  s.encryption = "000000";
  s.audio_eq = "FLAT";
  s.min_freq = 470000;
  s.max_freq = 608000;
  for (int c = 0; c < 10; ++c)
    s.channels.push_back(
        {static_cast<std::uint32_t>(470000 + (n * 10 + c) * 250), false, false, c != 7});
  return s;
}

void BM_OpenFiftyUnitShowFromMenu(benchmark::State& state) {
  QStandardPaths::setTestModeEnabled(true);
  QTemporaryDir dir;
  const QString path = dir.filePath("show.json");
  owl::frontend::Show show;
  show.name = "Fifty packs";
  for (int n = 0; n < 50; ++n)
    show.units.push_back(
        {"PACK" + std::to_string(100 + n), false, owl::frontend::settings_to_json(pack(n))});
  if (owl::frontend::write_show(path.toStdString(), show)) {
    state.SkipWithError("cannot write the show");
    return;
  }
  owl::desktop::MainWindow window(true);
  window.show();
  // The first entry of Recent shows opens it without a file dialog.
  window.open_show(path);
  QAction* recent = window.findChild<QMenu*>(QStringLiteral("recent_shows"))->actions().value(0);
  if (recent == nullptr || window.units()->rowCount() != 50) {
    state.SkipWithError("the show did not open");
    return;
  }
  for (auto _ : state) {
    recent->trigger();
    window.repaint();
    QApplication::processEvents();
  }
  state.counters["units"] = static_cast<double>(window.units()->rowCount());
}
BENCHMARK(BM_OpenFiftyUnitShowFromMenu)->Unit(benchmark::kMillisecond);

}  // namespace
