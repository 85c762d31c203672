#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

#include "records.hpp"

// The rules of editing in the window, without the window: which unit the form shows, the edits
// kept for units not shown (drafts), whether the form is dirty, which check answer is the
// current one, a write waiting for a check, and what each unit was last asked to write. Qt Core
// only, so the rules are tested on their own.
namespace owl::desktop {

enum class WriteRequest { None, One, All };

class EditSession {
 public:
  const QString& selected() const { return selected_; }
  // The form holds edits that are not written to the selected unit.
  bool dirty() const { return dirty_; }

  // Shows another unit; the form of the one left is kept as its draft when it was edited.
  void select(const QString& key, const std::optional<UiSettings>& form);
  bool has_draft(const QString& key) const { return drafts_.contains(key); }
  UiSettings draft(const QString& key) const { return drafts_.value(key); }
  // A draft of the selected unit makes the form dirty; dropping it makes it clean.
  void set_draft(const QString& key, const UiSettings& settings);
  void drop_draft(const QString& key);
  // Units with edits not written: the drafts and, with a form, the selected unit if dirty.
  QStringList unsaved(const std::optional<UiSettings>& form) const;

  // The user edited the form. True when that cancelled a write waiting for the check.
  bool edited();
  // The form was loaded again: earlier answers are void and nothing is being checked.
  bool reloaded();

  bool check_pending() const { return check_pending_; }
  void expect_check() { check_pending_ = true; }
  void no_check() { check_pending_ = false; }
  // The number for a check about to be sent; only the answer with the newest number counts.
  quint64 next_check() { return ++check_sequence_; }
  // nullopt for an answer about another unit or an older form; otherwise the write that waited
  // for it (taken, so it starts at most once).
  std::optional<WriteRequest> check_answered(const QString& key, quint64 sequence);

  WriteRequest waiting() const { return waiting_; }
  void wait(WriteRequest what) { waiting_ = what; }
  // True when a write was waiting.
  bool cancel_waiting();

  // A write goes out; `clears_form` when the form is exactly what is written, so that the
  // confirmation leaves it clean.
  void write_started(const QString& key, const UiSettings& settings, bool clears_form);
  void write_refused(const QString& key) { in_flight_.remove(key); }
  void writes_refused() { in_flight_.clear(); }
  // True when the form should show the unit's own settings again.
  bool write_done(const QString& key, bool ok);
  // A unit stopped: the form's edits are kept; a unit that was writing keeps what it was sent.
  void unit_stopped(const QString& key, bool was_writing, const std::optional<UiSettings>& form);
  // Nothing of the unit is kept.
  void forget(const QString& key);

 private:
  QString selected_;
  QMap<QString, UiSettings> drafts_;
  bool dirty_ = false;
  bool edited_since_write_ = false;
  bool check_pending_ = false;
  quint64 check_sequence_ = 0;
  WriteRequest waiting_ = WriteRequest::None;
  // What each unit was last asked to write, so that a unit that goes away during the write
  // still has its draft when it comes back.
  QMap<QString, UiSettings> in_flight_;
};

}  // namespace owl::desktop
