#pragma once

#include <QMainWindow>
#include <QMap>
#include <QStringList>
#include <QTimer>
#include <vector>

#include "records.hpp"
#include "ui/engine_bridge.hpp"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableView;

namespace owl::desktop {

class BandView;
class SettingsForm;
class UnitListModel;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(bool simulator, QWidget* parent = nullptr);

  // Starts the engine; the window fills in as units report.
  void start();

  EngineBridge* bridge() const { return bridge_; }
  UnitListModel* units() const { return units_; }
  SettingsForm* settings_form() const { return form_; }
  BandView* band_view() const { return band_; }
  QString selected_key() const { return selected_; }
  void select_unit(const QString& key);
  QStringList problems() const { return problems_; }

 private:
  QWidget* build_unit_panel();
  QWidget* build_write_panel();
  QWidget* build_simulator_box();

  void log(const QString& text);
  void selection_changed();
  void show_selected();
  void form_edited();
  void run_check();
  void show_problems(const QStringList& problems);
  void update_actions();
  void update_check_status();
  void update_band();
  void write_one();
  void write_all();
  void add_simulated_unit();
  void remove_simulated_unit();
  void show_port_problems(const QStringList& lines);

  void on_settings(const QString& key, const UiSettings& settings);
  void on_stopped(const QString& key, const QString& reason);
  void on_write_result(const QString& key, bool ok, const QString& message);
  void on_checked(const QString& key, quint64 sequence, const QStringList& problems);
  void on_write_answered(const QString& key, const QStringList& problems);
  void on_write_all_answered(const std::vector<WriteAllFailure>& failures);

  bool simulator_;
  bool ready_ = false;
  EngineBridge* bridge_;
  UnitListModel* units_;

  QString selected_;
  // Edits of units that are not selected right now, so that switching units loses nothing.
  QMap<QString, UiSettings> drafts_;
  bool dirty_ = false;
  bool edited_since_write_ = false;
  bool check_pending_ = false;
  quint64 check_sequence_ = 0;
  QStringList problems_;
  QTimer check_timer_;

  QLabel* port_banner_ = nullptr;
  QLabel* error_banner_ = nullptr;
  QTableView* unit_table_ = nullptr;
  SettingsForm* form_ = nullptr;
  BandView* band_ = nullptr;
  QListWidget* problem_list_ = nullptr;
  QLabel* check_status_ = nullptr;
  QLabel* form_note_ = nullptr;
  QCheckBox* keep_name_ = nullptr;
  QCheckBox* keep_charge_ = nullptr;
  QCheckBox* keep_charge_all_ = nullptr;
  QPushButton* write_ = nullptr;
  QPushButton* write_all_ = nullptr;
  QPushButton* revert_ = nullptr;
  QPushButton* refresh_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPlainTextEdit* log_ = nullptr;

  QLineEdit* sim_id_ = nullptr;
  QSpinBox* sim_serial_ = nullptr;
  QSpinBox* sim_low_ = nullptr;
  QSpinBox* sim_high_ = nullptr;
  QSpinBox* sim_channels_ = nullptr;
  QPushButton* sim_remove_ = nullptr;
};

}  // namespace owl::desktop
