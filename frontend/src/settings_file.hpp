#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "records.hpp"
#include "show_file.hpp"

// The settings form in the user interface's field names: assignments from the command line,
// the JSON file form, and comparisons. Shared by owlctl and the desktop, so a file written by one
// is read the same way by the other. Pure functions; failures throw UserError.
namespace owl::frontend {

// The file form of UiSettings: every field under its UI name, in wire order.
nlohmann::ordered_json settings_to_json(const UiSettings& settings);

// A settings file as read: the read-only fields it leaves out hold no value.
struct SettingsFile {
  UiSettings settings;
  std::set<std::string> read_only_given;  // which of serial, rf_mode, min_freq, max_freq it has

  bool gives(const std::string& field) const { return read_only_given.count(field) > 0; }
  // The file's settings with every read-only field taken from the unit, as a write sends them.
  UiSettings for_unit(const UiSettings& unit) const;
  // The file's settings with the read-only fields it leaves out taken from the unit.
  UiSettings filled_from(const UiSettings& unit) const;
};

// Reads the file form back. Refuses (status 1) anything but exactly the expected fields with the
// expected types, listing every fault, one line each, as "origin: path: problem"; the read-only
// fields may be left out since the unit keeps its own. The unit's own form, as `show` prints it,
// and a show file are refused with a pointer to what to use instead.
SettingsFile settings_from_json(const nlohmann::json& value, const std::string& origin);

// The same checks as settings_from_json, as data: every problem with the path of its value
// ("dely_ms", "channels[3].frequency"), none when the object is a valid settings file. This is
// the settings check a show file's units are read with.
std::vector<ShowProblem> settings_problems(const nlohmann::ordered_json& value);

// Parses JSON text and reads it with settings_from_json; bad JSON is refused (status 1).
SettingsFile settings_from_json_text(std::string_view text, const std::string& origin);

// What loading the file into one unit does beyond a plain write, said before anything is written.
struct LoadNotes {
  std::optional<std::string> refusal;  // why the file must not be loaded into this unit
  std::vector<std::string> warnings;   // what the write will not do as the file says
};

// `names_kept`: the unit keeps its own name (--keep-name, or a load into every unit);
// `any_unit`: the user said the file may come from another unit. Option values are compared as
// the engine reads them (see canonical_value).
LoadNotes load_notes(const SettingsFile& file, const std::string& key, const UiSettings& unit,
                     bool names_kept, bool any_unit, const EnumOptions& options);

// One FIELD=VALUE from the command line, e.g. "delay_ms=120" or "channel.3.frequency=216000".
struct Assignment {
  std::string field;
  std::string value;
};

// Splits at the first '='; a missing '=' or empty field name is a usage error (status 2).
Assignment parse_assignment(std::string_view text);

// Applies one assignment to the form. Unknown fields, read-only fields, channel numbers outside
// the form's channels and malformed numbers or booleans are usage errors (status 2). Enumeration
// texts are passed on as given: the engine checks them.
void apply_assignment(UiSettings& settings, const Assignment& assignment);

// The value of a field named as in an assignment, rendered as `show`/`diff` print it.
std::string field_value(const UiSettings& settings, std::string_view field);

// The names apply_assignment accepts for top-level fields, in wire order.
std::vector<std::string> editable_field_names();

// The items with separator between each two of them.
std::string join(const std::vector<std::string>& items, std::string_view separator);

struct Difference {
  std::string field;
  std::string left;
  std::string right;
};

// An option or encryption text as the engine reads it: option names ignore case and a decimal
// code stands for the name with that code; hex digits ignore case. Other fields are unchanged.
std::string canonical_value(std::string_view field, const std::string& text,
                            const EnumOptions& options);

// Every field whose values differ as the engine reads them, in wire order, then the channels by
// number; a channel that one side lacks shows "-" there. Values are shown in canonical form.
std::vector<Difference> diff_settings(const UiSettings& left, const UiSettings& right,
                                      const EnumOptions& options);

}  // namespace owl::frontend
