#pragma once

#include <QList>
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "records.hpp"
#include "ui/field_controls.hpp"
#include "ui/labels.hpp"

class QAction;
class QLabel;
class QTableWidget;

namespace owl::desktop {

// Every field of one unit's settings. Loading never emits edited(); user changes do.
class SettingsForm : public QWidget {
  Q_OBJECT

 public:
  explicit SettingsForm(QWidget* parent = nullptr);

  void set_options(const EnumOptions& options);
  void load(const UiSettings& settings);
  void clear();
  UiSettings form() const;
  bool loaded() const { return loaded_; }
  // Commits a value still being typed, so that what is written is what is on screen. Returns
  // why it cannot be committed (the editor then keeps the focus); empty when all is committed.
  QString commit_edit();
  // Focus moving from a channel cell to this control leaves the cell open for commit_edit().
  void keep_editor_open_for(const QWidget* control);
  // Why the text being typed into a frequency cell would be refused; empty when it is fine.
  QString frequency_note() const;

  // Copy channels, Paste channels and Fill frequencies…, with their shortcuts, for the Edit
  // menu; the channel table offers them in its context menu too.
  QList<QAction*> channelActions() const;
  // The selected channel rows (all when none is selected) as tab-separated text.
  QString channel_text() const;
  // Pastes tab-separated channel rows into the selected rows onward. All or nothing: returns
  // why nothing was pasted, empty when it was.
  QString paste_channel_text(const QString& text);
  // Sets the frequencies of the given rows (0-based, in order) from start_khz, step_khz apart.
  // All or nothing, as above.
  QString fill_channel_frequencies(const QList<int>& rows, std::uint32_t start_khz,
                                   std::int32_t step_khz);
  // The selected channel rows, ascending; empty when none is selected.
  QList<int> selected_channel_rows() const;
  // Selects one channel row (0-based) and puts the keyboard there, e.g. when its carrier is
  // clicked in the band view; a row the unit does not have changes nothing.
  void select_channel(int row);

 signals:
  void edited();

 private:
  void build_channel_table();
  void build_channel_actions();
  void copy_channels();
  void paste_channels();
  void open_fill_dialog();
  // Marks frequency cells that cannot be written to this unit, with the reason as tool tip.
  void mark_frequency(int row);
  void mark_frequencies();
  void set_channel_note(const QString& text, bool problem);
  bool eventFilter(QObject* object, QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void changed();

  FieldControls fields_;
  UiSettings base_;
  bool loaded_ = false;
  bool loading_ = false;

  QTableWidget* channels_ = nullptr;
  QLabel* frequency_note_ = nullptr;
  QList<const QWidget*> keep_editor_open_;
  QAction* copy_channels_ = nullptr;
  QAction* paste_channels_ = nullptr;
  QAction* fill_frequencies_ = nullptr;
  std::int32_t fill_step_khz_ = 300;
};

}  // namespace owl::desktop
