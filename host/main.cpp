#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "ui/main_window.hpp"
#include "ui/theme.hpp"
#include "ui/unit_list_model.hpp"

namespace {

bool both_simulated_units_listed(const owl::desktop::UnitListModel& units) {
  for (const char* key : {"SIM0001", "SIM0002"}) {
    const auto* row = units.find(QString::fromLatin1(key));
    if (row == nullptr || !row->settings) return false;
  }
  return true;
}

// Hooks for scripts, off unless their environment variable is set: OWL_DESKTOP_EXIT_WHEN_READY
// prints the start-up time and closes the window once both simulated units are listed;
// OWL_DESKTOP_SCREENSHOT adds a third simulated unit, saves a picture of the window to the given
// path, then closes it.
void install_script_hooks(owl::desktop::MainWindow& window, const QElapsedTimer& since_main) {
  const bool exit_when_ready = qEnvironmentVariableIsSet("OWL_DESKTOP_EXIT_WHEN_READY");
  const QString screenshot = qEnvironmentVariable("OWL_DESKTOP_SCREENSHOT");
  if (!exit_when_ready && screenshot.isEmpty()) return;
  const qint64 launch_ns = qEnvironmentVariable("OWL_DESKTOP_LAUNCH_NS").toLongLong();

  auto* poll = new QTimer(&window);
  poll->setInterval(5);
  QObject::connect(
      poll, &QTimer::timeout, &window,
      [&window, &since_main, poll, exit_when_ready, screenshot, launch_ns] {
        if (!both_simulated_units_listed(*window.units())) return;
        poll->stop();
        window.repaint();
        const qint64 ms = launch_ns > 0 ? QDateTime::currentMSecsSinceEpoch() - launch_ns / 1000000
                                        : since_main.elapsed();
        std::printf("ready after %lld ms\n", static_cast<long long>(ms));
        std::fflush(stdout);
        if (exit_when_ready) {
          window.close();
          return;
        }
        // A third unit on SIM0002's band starts on the same channels, so that the picture
        // shows a shared frequency. Let it report and the first check settle.
        window.bridge()->add_simulated_unit(QStringLiteral("SIM0003"), 1003, 192000, 216975, 8);
        window.select_unit(QStringLiteral("SIM0001"));
        QTimer::singleShot(1200, &window, [&window, screenshot] {
          const bool saved = window.grab().save(screenshot, "PNG");
          std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(screenshot));
          window.close();
        });
      });
  poll->start();
}

}  // namespace

int main(int argc, char** argv) {
  QElapsedTimer since_main;
  since_main.start();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("OWL Configurator"));
  QApplication::setApplicationVersion(QStringLiteral(OWL_DESKTOP_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("owl-desktop"));
  QApplication::setQuitOnLastWindowClosed(true);

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Configure OWL wireless audio receiver units."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption simulator(
      QStringLiteral("simulator"), QStringLiteral("Work on simulated units instead of hardware."));
  parser.addOption(simulator);
  parser.addPositionalArgument(QStringLiteral("show"),
                               QStringLiteral("A show file to open; its units are listed offline "
                                              "until they connect."),
                               QStringLiteral("[SHOW]"));
  parser.process(app);

  owl::desktop::apply_desktop_style(app);
  // For trying the dark colours without a dark desktop theme.
  if (qEnvironmentVariable("OWL_DESKTOP_PALETTE") == QLatin1String("dark")) {
    QApplication::setPalette(owl::desktop::dark_palette());
  }
  owl::desktop::MainWindow window(parser.isSet(simulator));
  install_script_hooks(window, since_main);
  window.show();
  // Opened before the engine starts, so that its units are there when the first ones report.
  if (!parser.positionalArguments().isEmpty())
    window.open_show(parser.positionalArguments().front());
  window.start();
  return QApplication::exec();
}
