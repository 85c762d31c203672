#pragma once

#include <QString>
#include <QWidget>
#include <set>
#include <string>
#include <vector>

#include "show_file.hpp"
#include "ui/coordination_input.hpp"

class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QVBoxLayout;

namespace owl::desktop {

// The coordination fields of a show (profile, exclusions, other carriers, locked units) as
// controls, and the check of the units on screen against them, run again on every change so
// that its conflict count is never stale. It keeps no engine state: the units come in through
// set_units(), the show's fields through load_show(), and go back out through store_in().
class CoordinationPanel : public QWidget {
  Q_OBJECT

 public:
  explicit CoordinationPanel(QWidget* parent = nullptr);

  // The units on screen, drafts included; checks at once.
  void set_units(const UnitSettingsMap& units);
  // Takes the show's profile, exclusions, other carriers and locks; checks at once.
  void load_show(const frontend::Show& show);
  // Scan data read from the show's scan file (empty for none); checks at once.
  void set_scan(std::vector<coord::ScanPoint> points, double threshold_dbm);
  // Puts the profile, exclusions and other carriers into `show`, and the lock of every unit of
  // `show` (a unit not known here is unlocked).
  void store_in(frontend::Show& show) const;

  void set_profile(const coord::Profile& profile);
  void set_exclusions(std::vector<coord::Exclusion> exclusions);
  void set_other_carriers(std::vector<coord::OtherCarrier> carriers);
  void set_locked(std::set<std::string> keys);
  coord::Profile profile() const { return fields_.profile; }
  const std::vector<coord::Exclusion>& exclusions() const { return fields_.exclusions; }
  const std::vector<coord::OtherCarrier>& other_carriers() const { return fields_.other_carriers; }
  const std::set<std::string>& locked() const { return fields_.locked; }

  const CoordinationFields& fields() const { return fields_; }
  const UnitSettingsMap& units() const { return units_; }
  // The input of coord::coordinate() for the units and fields shown.
  coord::Scenario scenario() const { return scenario_from(units_, fields_); }
  const coord::Analysis& analysis() const { return analysis_; }

  // "No conflicts", "1 conflict", "3 conflicts"; "Over 10000 conflicts" for a list cut short.
  static QString conflict_count_text(std::size_t conflicts, bool complete = true);
  // The conflict list shows at most this many, so a crowded band costs no time per keystroke.
  static constexpr std::size_t MAX_LISTED = 100;

 signals:
  void coordinate_requested();
  // After every check, with what it was made from; a band view takes both.
  void analysed(const owl::desktop::CoordinationFields& fields,
                const owl::coord::Analysis& analysis);
  // The user changed a field that the show keeps (not emitted for the setters).
  void fields_edited();
  // A conflict in the list was activated (Enter or double click): the first unit channel it
  // hits, channel 1-based; not emitted for one that only hits other carriers.
  void conflict_activated(const QString& key, int channel);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void build_profile(QVBoxLayout* column);
  void build_exclusions(QVBoxLayout* column);
  void build_other_carriers(QVBoxLayout* column);
  void build_locks(QVBoxLayout* column);
  void show_exclusions();
  void show_other_carriers();
  void show_units();
  void show_conflicts();
  void user_edit();
  void check();

  UnitSettingsMap units_;
  CoordinationFields fields_;
  coord::Analysis analysis_;
  bool loading_ = false;  // setters fill controls without counting as user edits

  QSpinBox* spacing_ = nullptr;
  QSpinBox* im3_2tone_ = nullptr;
  QSpinBox* im3_3tone_ = nullptr;
  QSpinBox* im5_2tone_ = nullptr;
  QTableWidget* exclusion_table_ = nullptr;
  QDoubleSpinBox* exclusion_from_ = nullptr;
  QDoubleSpinBox* exclusion_to_ = nullptr;
  QLineEdit* exclusion_note_ = nullptr;
  QPushButton* add_exclusion_ = nullptr;
  QPushButton* remove_exclusion_ = nullptr;
  QTableWidget* other_table_ = nullptr;
  QDoubleSpinBox* other_frequency_ = nullptr;
  QLineEdit* other_note_ = nullptr;
  QPushButton* add_other_ = nullptr;
  QPushButton* remove_other_ = nullptr;
  QListWidget* lock_list_ = nullptr;
  QPushButton* coordinate_ = nullptr;
  QLabel* conflicts_ = nullptr;
  QListWidget* conflict_list_ = nullptr;
};

}  // namespace owl::desktop
