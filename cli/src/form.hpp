#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "records.hpp"

// The settings form in the user interface's field names: assignments from the command line,
// the JSON file form, and comparisons. Pure functions; failures throw CliError.
namespace owl::cli {

// The file form of UiSettings: every field under its UI name, in wire order.
nlohmann::ordered_json settings_to_json(const UiSettings& settings);

// Reads the file form back. Refuses (status 1) anything but exactly the expected fields with the
// expected types; `serial`, `min_freq` and `max_freq` may be left out since the unit keeps its own.
// `origin` names the source in messages.
UiSettings settings_from_json(const nlohmann::json& value, const std::string& origin);

// Parses JSON text and reads it with settings_from_json; bad JSON is refused (status 1).
UiSettings settings_from_json_text(std::string_view text, const std::string& origin);

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

// Every field whose values differ, in wire order, then the channels by number; a channel that one
// side lacks shows "-" there.
std::vector<Difference> diff_settings(const UiSettings& left, const UiSettings& right);

}  // namespace owl::cli
