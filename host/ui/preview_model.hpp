#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "records.hpp"

// What a multi-unit write would change, field by field, and the settings that result from
// writing only some of those fields. Qt Core only, so it is tested without a window.
namespace owl::desktop {

// One unit of a planned write: what it holds now and what the plan would give it.
struct PreviewUnit {
  QString key;
  UiSettings old_settings;
  UiSettings new_settings;
};

// A unit's settings chosen in the preview, ready to write.
struct PreviewChoice {
  QString key;
  UiSettings settings;
};

struct FieldChange {
  QString field;  // "delay_ms", "channel.3", or "channels" when the channel count changes
  QString label;  // "Delay", "Channel 3", "Channels"
  QString old_text;
  QString new_text;
};

// The fields whose values differ, in form order, channels last. Frequencies read in MHz.
std::vector<FieldChange> changed_fields(const UiSettings& old_settings,
                                        const UiSettings& new_settings);

// old_settings with the named fields (as changed_fields names them) taken from new_settings.
// Names that do not apply (a channel number the settings lack) change nothing.
UiSettings apply_fields(const UiSettings& old_settings, const UiSettings& new_settings,
                        const QStringList& fields);

// How one channel reads in the preview and the differences list: "216.000 MHz, on, delay".
QString channel_text(const UiChannel& channel);

}  // namespace owl::desktop
