#pragma once

#include <QMainWindow>
#include <QMap>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <filesystem>
#include <optional>
#include <vector>

#include "records.hpp"
#include "ui/coordination_input.hpp"
#include "ui/edit_session.hpp"
#include "ui/engine_bridge.hpp"
#include "ui/preview_model.hpp"
#include "ui/show_document.hpp"

class QAction;
class QCheckBox;
class QScrollArea;
class QLabel;
class QLayout;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableView;

namespace owl::desktop {

class BackupsPanel;
class BandView;
class CoordinationPanel;
class SettingsForm;
class SimulatorPanel;
struct SimulatedUnitRequest;
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
  QString selected_key() const { return session_.selected(); }
  void select_unit(const QString& key);
  // The selected unit's own problems with the form; only these gate "Write to this unit".
  QStringList problems() const { return problems_; }
  // Why the last "Write to all units" was refused, until the form or the units change.
  QStringList write_all_refusal() const { return write_all_refusal_; }
  // Units with edits that were not written: the selected one and any kept drafts.
  QStringList unsaved_units() const;

  // The open show, if any; its units are listed, offline until a unit with the same key reports.
  const ShowDocument& show_document() const { return show_; }
  // Opens a show file; false, with the refusal said and nothing changed, when it is refused.
  bool open_show(const QString& path);
  // Saves the open show (to path, or where it came from); false with the failure said.
  bool save_show(const QString& path = {});
  // Why the last show file was refused; empty after one opened.
  QString show_refusal() const { return show_refusal_; }
  void new_show();
  // Writes each connected unit of the show from the show, all or nothing, after the preview.
  void write_show_to_units();
  // Writes the newest backup of the selected unit back to it, after the preview.
  void undo_last_write();
  // The selected unit's fields that differ from the show: "Delay: unit 0 ms → show 120 ms".
  QStringList differences() const;
  // Where backups go: the folder owlctl uses too.
  static std::filesystem::path backup_folder();

  // The coordination fields and the conflict check of the units on screen, in a window of its
  // own (Units > Coordination…); it checks while hidden, so the conflict count is always current.
  CoordinationPanel* coordination_panel() const { return coord_panel_; }
  // The selected unit's backups, in a window of its own (Edit > Backups…).
  BackupsPanel* backups_panel() const { return backups_panel_; }
  // Proposes compatible frequencies for the units not locked and, after the preview, writes them
  // to the connected units and into the show for the others.
  void coordinate();
  // Selects a unit and one of its channels (1-based), e.g. for a carrier clicked in the band.
  void pick_channel(const QString& key, int channel);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QWidget* build_unit_panel();
  QWidget* build_write_panel();
  QLayout* build_progress_row();
  // The coordination and backups windows and the status bar's conflict count.
  void build_tool_windows();
  void wire_tool_windows();
  void show_tool_window(QWidget* window);
  // The show's coordination fields and scan data into the coordination panel.
  void load_show_coordination();
  void coordination_edited();
  void analysed(std::size_t conflicts, bool complete);
  void show_backups();
  // The units ticked in the coordination preview: written when connected, into the show always.
  void apply_coordination(const std::vector<UnitProposal>& proposals,
                          const std::vector<PreviewChoice>& chosen);
  void take_planned_frequencies(const std::vector<UnitProposal>& proposals,
                                const std::vector<PreviewChoice>& chosen);
  // Writes saved settings back to a unit, after the preview; its settings now are saved first.
  void restore_settings(const QString& key, const UiSettings& saved, const QString& title,
                        const QString& intro);

  void build_actions();
  void build_menus();
  void say(const QString& text);
  void update_title();
  bool ask_save_show();
  void choose_show();
  void choose_save_path();
  void remember_recent(const QString& path);
  void update_recent_menu();
  void drop_show_rows();
  // After the show was opened or created: its units listed, live ones compared.
  void show_changed();
  // A connected unit of the show: the show's settings become its edits where they differ.
  void adopt_show_settings(const QString& key);
  void update_show_notes();
  void note_show_edit();
  void import_settings();
  void export_settings();
  void show_hardware_guide();
  void show_about();
  std::optional<std::vector<PreviewChoice>> preview(const QString& title, const QString& intro,
                                                    std::vector<PreviewUnit> units);
  // Saves each unit's settings before a write; false, with the reason said, if any failed.
  bool backup_units(const QStringList& keys);
  struct Batch {
    QString what;
    std::vector<PreviewChoice> choices;
    QMap<quint64, QString> waiting;  // check sequence -> unit
    QStringList refusal;
  };
  // Checks every unit's own settings, then writes them all, or none if any was refused.
  void start_batch(const QString& what, std::vector<PreviewChoice> choices);
  // True when the answer belonged to a batch.
  bool on_batch_checked(const QString& key, quint64 sequence, const QStringList& problems);
  void finish_batch(const Batch& done);
  void build_layout();
  // Connects every signal of the window's parts to what it sets off.
  void wire();
  void on_ready();
  void on_failed(const QString& message);
  void on_announced(const QString& key, const QString& label);
  void on_identity(const QString& key, const QString& text);
  void refresh_selected();
  void save_current_show() { save_show(); }
  void apply_theme();
  void log(const QString& text);
  void select_row(const QString& key);
  void select_first_unit();
  void revert();
  void selection_changed();
  void show_selected();
  void form_edited();
  void run_check();
  void show_problems(const QStringList& problems);
  void show_problem_list();
  void update_actions();
  void clear_write_all_refusal();
  void update_check_status();
  void update_band();
  // Commits what is still being typed before a write; false, with the reason said, if it cannot.
  bool commit_edit();
  // A write asked for while the form is being checked waits for the answer.
  void request_write(WriteRequest what);
  void cancel_waiting_write(const QString& why);
  void write_one();
  void write_all();
  void start_write_one();
  void start_write_all();
  // Drops a row; the form moves on to another unit if it showed this one.
  void drop_row(const QString& key);
  void forget_gone_unit();
  void add_simulated_unit(const SimulatedUnitRequest& unit);
  void remove_simulated_unit();
  // Tells the simulator box which ids are taken.
  void list_for_simulator();
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

  // The form's unit, its edits and the checks and writes under way.
  EditSession session_;
  QStringList problems_;
  QStringList write_all_refusal_;
  // Set once the user picks a unit; until then the first unit in list order is selected.
  bool user_selected_ = false;
  bool selecting_ = false;
  QTimer check_timer_;
  // The units as the band shows them, for the coordination check that coord_check_ runs.
  UnitSettingsMap on_screen_;
  QTimer coord_check_;

  ShowDocument show_;
  QString show_refusal_;
  // Units of the show listed but not reporting yet: their first report is compared with the show.
  QSet<QString> adopt_pending_;
  std::optional<Batch> batch_;
  quint64 batch_sequence_ = 0;

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
  QPushButton* forget_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* progress_text_ = nullptr;
  QScrollArea* band_scroll_ = nullptr;
  QAction* write_action_ = nullptr;
  QAction* write_all_action_ = nullptr;
  QAction* refresh_action_ = nullptr;
  QAction* revert_action_ = nullptr;
  QAction* forget_action_ = nullptr;
  QAction* forget_key_ = nullptr;
  QAction* new_show_action_ = nullptr;
  QAction* open_show_action_ = nullptr;
  QAction* save_show_action_ = nullptr;
  QAction* save_show_as_action_ = nullptr;
  QAction* import_action_ = nullptr;
  QAction* export_action_ = nullptr;
  QAction* quit_action_ = nullptr;
  QAction* write_show_action_ = nullptr;
  QAction* undo_action_ = nullptr;
  QAction* guide_action_ = nullptr;
  QAction* about_action_ = nullptr;
  QMenu* recent_menu_ = nullptr;
  QWidget* differences_box_ = nullptr;
  QListWidget* differences_ = nullptr;
  QPlainTextEdit* log_ = nullptr;

  SimulatorPanel* sim_panel_ = nullptr;

  CoordinationPanel* coord_panel_ = nullptr;
  QWidget* coord_window_ = nullptr;
  BackupsPanel* backups_panel_ = nullptr;
  QWidget* backups_window_ = nullptr;
  QCheckBox* show_products_ = nullptr;
  QPushButton* conflict_count_ = nullptr;
  QAction* coordination_action_ = nullptr;
  QAction* coordinate_action_ = nullptr;
  QAction* backups_action_ = nullptr;
};

}  // namespace owl::desktop
