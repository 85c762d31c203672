#include "ui/edit_session.hpp"

#include <utility>

namespace owl::desktop {

void EditSession::select(const QString& key, const std::optional<UiSettings>& form) {
  if (!selected_.isEmpty() && dirty_ && form) drafts_.insert(selected_, *form);
  selected_ = key;
  dirty_ = drafts_.contains(key);
}

void EditSession::set_draft(const QString& key, const UiSettings& settings) {
  drafts_.insert(key, settings);
  if (key == selected_) dirty_ = true;
}

void EditSession::drop_draft(const QString& key) {
  drafts_.remove(key);
  if (key == selected_) dirty_ = false;
}

QStringList EditSession::unsaved(const std::optional<UiSettings>& form) const {
  QStringList keys = drafts_.keys();
  if (dirty_ && form && !selected_.isEmpty() && !keys.contains(selected_)) keys << selected_;
  keys.sort();
  return keys;
}

bool EditSession::edited() {
  const bool cancelled = cancel_waiting();
  dirty_ = true;
  edited_since_write_ = true;
  check_pending_ = true;
  // An answer still on its way was about the form before this edit.
  ++check_sequence_;
  return cancelled;
}

bool EditSession::reloaded() {
  const bool cancelled = cancel_waiting();
  ++check_sequence_;
  check_pending_ = false;
  return cancelled;
}

std::optional<WriteRequest> EditSession::check_answered(const QString& key, quint64 sequence) {
  if (key != selected_ || sequence != check_sequence_) return std::nullopt;
  check_pending_ = false;
  return std::exchange(waiting_, WriteRequest::None);
}

bool EditSession::cancel_waiting() {
  return std::exchange(waiting_, WriteRequest::None) != WriteRequest::None;
}

void EditSession::write_started(const QString& key, const UiSettings& settings, bool clears_form) {
  in_flight_.insert(key, settings);
  if (key == selected_) edited_since_write_ = !clears_form;
}

bool EditSession::write_done(const QString& key, bool ok) {
  // A unit that now holds its kept edits has none left (a preview may have left some out).
  if (ok && key != selected_ && in_flight_.contains(key) && drafts_.value(key) == in_flight_[key])
    drafts_.remove(key);
  in_flight_.remove(key);
  // Edits made while the unit was confirming are the user's newer wishes; keep them.
  if (key != selected_ || !ok || edited_since_write_) return false;
  dirty_ = false;
  drafts_.remove(key);
  return true;
}

void EditSession::unit_stopped(const QString& key, bool was_writing,
                               const std::optional<UiSettings>& form) {
  if (key == selected_ && dirty_ && form) drafts_.insert(key, *form);
  if (!was_writing) return;
  if (!drafts_.contains(key) && in_flight_.contains(key)) drafts_.insert(key, in_flight_[key]);
  in_flight_.remove(key);
  if (key == selected_) dirty_ = drafts_.contains(key);
}

void EditSession::forget(const QString& key) {
  drafts_.remove(key);
  in_flight_.remove(key);
  if (key == selected_) dirty_ = false;
}

}  // namespace owl::desktop
