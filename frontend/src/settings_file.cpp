#include "settings_file.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <set>
#include <variant>

#include "text.hpp"
#include "ui_fields.hpp"
#include "user_error.hpp"

namespace owl::frontend {
namespace {

// The record's one field table, shared with the engine's codec.
using Field = UiField;
constexpr const auto& FIELDS = UI_FIELDS;

using ChannelRef = std::variant<std::uint32_t UiChannel::*, bool UiChannel::*>;

struct ChannelField {
  std::string_view name;      // in the file form
  std::string_view cli_name;  // in assignments and diff output
  ChannelRef ref;
};

const std::array<ChannelField, 4> CHANNEL_FIELDS{{
    {"frequency", "frequency", &UiChannel::frequency},
    {"delay_enable", "delay", &UiChannel::delay_enable},
    {"voting_enable", "voting", &UiChannel::voting_enable},
    {"channel_enable", "enable", &UiChannel::channel_enable},
}};

const ChannelField* find_channel_field(std::string_view name) {
  for (const auto& field : CHANNEL_FIELDS) {
    if (field.cli_name == name || field.name == name) return &field;
  }
  return nullptr;
}

template <class T>
T parse_number(std::string_view field, std::string_view text) {
  T value{};
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc{} || ptr != end) {
    throw usage_error(std::string(field) + ": expected a whole number from 0 to " +
                      std::to_string(std::numeric_limits<T>::max()) + ", got '" +
                      std::string(text) + "'");
  }
  return value;
}

bool parse_bool(std::string_view field, std::string_view text) {
  const std::string word = ascii_lower(text);
  if (word == "true" || word == "yes" || word == "on" || word == "1") return true;
  if (word == "false" || word == "no" || word == "off" || word == "0") return false;
  throw usage_error(std::string(field) + ": expected true or false, got '" + std::string(text) +
                    "'");
}

std::string render(bool value) {
  return value ? "true" : "false";
}
std::string render(const std::string& value) {
  return value;
}
template <class T>
std::string render(T value) {
  return std::to_string(value);
}

// "channel.N.FIELD" → (N, field); nullopt when the text does not start with "channel.".
struct ChannelPath {
  std::size_t index;  // 0-based
  const ChannelField* field;
};

std::optional<ChannelPath> parse_channel_path(std::string_view name, std::size_t channel_count) {
  constexpr std::string_view PREFIX = "channel.";
  if (name.substr(0, PREFIX.size()) != PREFIX) return std::nullopt;
  const std::string_view rest = name.substr(PREFIX.size());
  const auto dot = rest.find('.');
  if (dot == std::string_view::npos) {
    throw usage_error("'" + std::string(name) +
                      "' names no field; use channel.N.frequency, channel.N.delay, "
                      "channel.N.voting or channel.N.enable");
  }
  const std::string_view number_text = rest.substr(0, dot);
  std::size_t number = 0;
  const char* end = number_text.data() + number_text.size();
  auto [ptr, ec] = std::from_chars(number_text.data(), end, number);
  if (number_text.empty() || ec != std::errc{} || ptr != end) {
    throw usage_error("'" + std::string(name) + "': channel number '" + std::string(number_text) +
                      "' is not a number");
  }
  const ChannelField* field = find_channel_field(rest.substr(dot + 1));
  if (field == nullptr) {
    throw usage_error("'" + std::string(name) +
                      "' names no field; a channel has frequency, delay, voting and enable");
  }
  if (number < 1 || number > channel_count) {
    throw usage_error("'" + std::string(name) + "': this unit has channels 1 to " +
                      std::to_string(channel_count));
  }
  return ChannelPath{number - 1, field};
}

// Keys only the unit's own form has, as `show` prints it.
constexpr std::array<std::string_view, 4> UNIT_FORM_KEYS = {"unitName", "unitSerialNum",
                                                            "structVer", "voicePromptsEnable"};
constexpr const char* UNIT_FORM_MESSAGE =
    "this is `owlctl show` output; save a settings file with `owlctl save`";

// The squelch levels are stored as these numbers, not as their position in the list of names.
constexpr std::array<unsigned, 3> SQUELCH_CODES = {10, 40, 80};

// A code as the engine reads it: digits with an optional leading '+', at most 255.
std::optional<unsigned> option_code(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  unsigned value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc{} || ptr != end || value > 255) return std::nullopt;
  return value;
}

std::string channels(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " channel" : " channels");
}

std::string channel_span(std::size_t first, std::size_t last) {
  return first == last ? "channel " + std::to_string(first)
                       : "channels " + std::to_string(first) + "-" + std::to_string(last);
}

// Collects every problem of a settings object with the path of the value, so that a show file
// can name "units[2].settings.dely_ms" and a settings file can list all its faults at once.
class Reader {
 public:
  std::vector<ShowProblem> problems;

  void add(std::string path, std::string message) {
    problems.push_back({std::move(path), std::move(message)});
  }

  template <class T>
  T read_unsigned(const nlohmann::json& value, const std::string& path) {
    if (!value.is_number_unsigned() || value.get<std::uint64_t>() > std::numeric_limits<T>::max()) {
      add(path, "must be a whole number from 0 to " +
                    std::to_string(std::numeric_limits<T>::max()) + ", not " + shown(value));
      return T{};
    }
    return static_cast<T>(value.get<std::uint64_t>());
  }

  bool read_bool(const nlohmann::json& value, const std::string& path) {
    if (!value.is_boolean()) {
      add(path, "must be true or false, not " + shown(value));
      return false;
    }
    return value.get<bool>();
  }

  std::string read_string(const nlohmann::json& value, const std::string& path) {
    if (!value.is_string()) {
      add(path, "must be a string, not " + shown(value));
      return {};
    }
    return value.get<std::string>();
  }

  template <class Record, class Ref>
  void read_member(Record& record, Ref ref, const nlohmann::json& value, const std::string& path) {
    using T = std::remove_reference_t<decltype(record.*ref)>;
    if constexpr (std::is_same_v<T, bool>) {
      record.*ref = read_bool(value, path);
    } else if constexpr (std::is_same_v<T, std::string>) {
      record.*ref = read_string(value, path);
    } else {
      record.*ref = read_unsigned<T>(value, path);
    }
  }

  UiChannel read_channel(const nlohmann::json& value, const std::string& where) {
    UiChannel channel;
    if (!value.is_object()) {
      add(where, "must be an object");
      return channel;
    }
    for (const auto& item : value.items()) {
      const bool known = std::any_of(CHANNEL_FIELDS.begin(), CHANNEL_FIELDS.end(),
                                     [&](const ChannelField& f) { return f.name == item.key(); });
      if (!known) add(where + "." + item.key(), "unknown field");
    }
    for (const auto& field : CHANNEL_FIELDS) {
      const std::string name(field.name);
      const std::string path = where + "." + name;
      if (!value.contains(name)) {
        add(path, "missing field");
        continue;
      }
      std::visit([&](auto ref) { read_member(channel, ref, value.at(name), path); }, field.ref);
    }
    return channel;
  }

 private:
  // A value as it stands in the file, cut short: the message must stay one readable line.
  static std::string shown(const nlohmann::json& value) {
    std::string text = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (text.size() > 40) text = text.substr(0, 37) + "...";
    return text;
  }
};

// Reads a settings object, recording every problem; the settings are meaningful only when
// there is none.
SettingsFile read_settings(const nlohmann::json& value, Reader& reader) {
  SettingsFile file;
  if (!value.is_object()) {
    reader.add("", "expected a JSON object of settings fields");
    return file;
  }
  if (is_show_document(value)) {
    reader.add("", SHOW_NOT_SETTINGS);
    return file;
  }
  if (!value.contains("unit_name") &&
      std::any_of(UNIT_FORM_KEYS.begin(), UNIT_FORM_KEYS.end(),
                  [&](std::string_view key) { return value.contains(std::string(key)); })) {
    reader.add("", UNIT_FORM_MESSAGE);
    return file;
  }
  for (const auto& item : value.items()) {
    if (item.key() != "channels" && find_ui_field(item.key()) == nullptr) {
      reader.add(item.key(), "unknown field");
    }
  }
  UiSettings& settings = file.settings;
  for (const auto& field : FIELDS) {
    const std::string name(field.name);
    if (!value.contains(name)) {
      if (field.editable) reader.add(name, "missing field");
      continue;
    }
    if (!field.editable) file.read_only_given.insert(name);
    std::visit([&](auto ref) { reader.read_member(settings, ref, value.at(name), name); },
               field.ref);
  }
  if (!value.contains("channels")) {
    reader.add("channels", "missing field");
  } else if (const auto& channels = value.at("channels"); !channels.is_array()) {
    reader.add("channels", "must be an array");
  } else {
    for (std::size_t i = 0; i < channels.size(); ++i) {
      settings.channels.push_back(
          reader.read_channel(channels[i], "channels[" + std::to_string(i) + "]"));
    }
  }
  return file;
}

}  // namespace

std::string join(const std::vector<std::string>& items, std::string_view separator) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i != 0) out += separator;
    out += items[i];
  }
  return out;
}

nlohmann::ordered_json settings_to_json(const UiSettings& settings) {
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  for (const auto& field : FIELDS) {
    std::visit([&](auto ref) { out[std::string(field.name)] = settings.*ref; }, field.ref);
  }
  auto channels = nlohmann::ordered_json::array();
  for (const auto& channel : settings.channels) {
    nlohmann::ordered_json item = nlohmann::ordered_json::object();
    for (const auto& field : CHANNEL_FIELDS) {
      std::visit([&](auto ref) { item[std::string(field.name)] = channel.*ref; }, field.ref);
    }
    channels.push_back(std::move(item));
  }
  out["channels"] = std::move(channels);
  return out;
}

UiSettings SettingsFile::for_unit(const UiSettings& unit) const {
  UiSettings out = settings;
  for (const auto& field : FIELDS) {
    if (unit_keeps(field, false, false))
      std::visit([&](auto ref) { out.*ref = unit.*ref; }, field.ref);
  }
  return out;
}

UiSettings SettingsFile::filled_from(const UiSettings& unit) const {
  UiSettings out = settings;
  for (const auto& field : FIELDS) {
    if (!field.editable && !gives(std::string(field.name))) {
      std::visit([&](auto ref) { out.*ref = unit.*ref; }, field.ref);
    }
  }
  return out;
}

SettingsFile settings_from_json(const nlohmann::json& value, const std::string& origin) {
  Reader reader;
  SettingsFile file = read_settings(value, reader);
  if (!reader.problems.empty()) {
    std::vector<std::string> lines;
    for (const auto& problem : reader.problems) lines.push_back(origin + ": " + problem.text());
    throw failure(join(lines, "\n"));
  }
  return file;
}

std::vector<ShowProblem> settings_problems(const nlohmann::ordered_json& value) {
  // The reader works on the plain json type; key order does not matter for checking.
  Reader reader;
  (void)read_settings(nlohmann::json(value), reader);
  return std::move(reader.problems);
}

SettingsFile settings_from_json_text(std::string_view text, const std::string& origin) {
  nlohmann::json value;
  try {
    value = nlohmann::json::parse(text);
  } catch (const nlohmann::json::parse_error& error) {
    // what() starts with the library's "[json.exception.parse_error.101] ", no help to a user.
    std::string_view detail = error.what();
    if (const auto end = detail.find("] ");
        !detail.empty() && detail[0] == '[' && end != std::string_view::npos) {
      detail.remove_prefix(end + 2);
    }
    throw failure(origin + ": not valid JSON: " + std::string(detail));
  }
  return settings_from_json(value, origin);
}

LoadNotes load_notes(const SettingsFile& file, const std::string& key, const UiSettings& unit,
                     bool names_kept, bool any_unit, const EnumOptions& options) {
  LoadNotes notes;
  const UiSettings& wanted = file.settings;
  if (file.gives("serial") && wanted.serial != unit.serial && !names_kept && !any_unit) {
    notes.refusal = "the file was saved from the unit with serial " +
                    std::to_string(wanted.serial) + ", but " + key + " has serial " +
                    std::to_string(unit.serial) + ": loading it would give " + key +
                    " that unit's name (" + wanted.unit_name +
                    ") and settings; give --keep-name to keep the name " + unit.unit_name +
                    ", or --any-unit to load the file as it is";
  }
  const std::string asked = canonical_value("rf_mode", wanted.rf_mode, options);
  const std::string kept = canonical_value("rf_mode", unit.rf_mode, options);
  if (file.gives("rf_mode") && asked != kept) {
    notes.warnings.push_back("the file asks for rf_mode " + asked +
                             ", but the RF mode cannot be changed: " + key + " keeps " + kept);
  }
  const std::size_t given = wanted.channels.size();
  const std::size_t has = unit.channels.size();
  if (given != has) {
    const std::string counts =
        "file has " + channels(given) + ", " + key + " has " + std::to_string(has) + ": ";
    notes.warnings.push_back(
        given > has
            ? counts + channel_span(has + 1, given) +
                  (given - has == 1 ? " is not written" : " are not written")
            : counts + channel_span(given + 1, has) +
                  (has - given == 1 ? " keeps the unit's value" : " keep the unit's values"));
  }
  return notes;
}

Assignment parse_assignment(std::string_view text) {
  const auto equals = text.find('=');
  if (equals == std::string_view::npos || equals == 0) {
    throw usage_error("'" + std::string(text) + "' is not FIELD=VALUE");
  }
  return {std::string(text.substr(0, equals)), std::string(text.substr(equals + 1))};
}

void apply_assignment(UiSettings& settings, const Assignment& assignment) {
  const std::string& name = assignment.field;
  const std::string& text = assignment.value;
  if (auto path = parse_channel_path(name, settings.channels.size())) {
    UiChannel& channel = settings.channels[path->index];
    std::visit(
        [&](auto ref) {
          using T = std::remove_reference_t<decltype(channel.*ref)>;
          if constexpr (std::is_same_v<T, bool>) {
            channel.*ref = parse_bool(name, text);
          } else {
            channel.*ref = parse_number<T>(name, text);
          }
        },
        path->field->ref);
    return;
  }
  const Field* field = find_ui_field(name);
  if (field == nullptr) {
    throw usage_error("unknown field '" + name + "'; fields are " +
                      join(editable_field_names(), ", ") +
                      " and channel.N.frequency, channel.N.delay, channel.N.voting, "
                      "channel.N.enable");
  }
  if (!field->editable) {
    throw usage_error(name + " is read-only: the unit reports it and keeps its own value");
  }
  std::visit(
      [&](auto ref) {
        using T = std::remove_reference_t<decltype(settings.*ref)>;
        if constexpr (std::is_same_v<T, bool>) {
          settings.*ref = parse_bool(name, text);
        } else if constexpr (std::is_same_v<T, std::string>) {
          settings.*ref = text;
        } else {
          settings.*ref = parse_number<T>(name, text);
        }
      },
      field->ref);
}

std::string field_value(const UiSettings& settings, std::string_view field_name) {
  if (auto path = parse_channel_path(field_name, settings.channels.size())) {
    const UiChannel& channel = settings.channels[path->index];
    return std::visit([&](auto ref) { return render(channel.*ref); }, path->field->ref);
  }
  const Field* field = find_ui_field(field_name);
  if (field == nullptr) throw usage_error("unknown field '" + std::string(field_name) + "'");
  return std::visit([&](auto ref) { return render(settings.*ref); }, field->ref);
}

std::vector<std::string> editable_field_names() {
  std::vector<std::string> names;
  for (const auto& field : FIELDS) {
    if (field.editable) names.emplace_back(field.name);
  }
  return names;
}

std::string canonical_value(std::string_view field, const std::string& text,
                            const EnumOptions& options) {
  if (field == "encryption") return ascii_upper(text);
  const UiField* row = find_ui_field(field);
  if (row == nullptr || row->options == nullptr) return text;
  const std::vector<std::string>& names = options.*(row->options);
  const std::string name = ascii_upper(text);
  if (std::find(names.begin(), names.end(), name) != names.end()) return name;
  const auto code = option_code(text);
  if (!code) return text;
  if (field == "squelch") {
    for (std::size_t i = 0; i < SQUELCH_CODES.size() && i < names.size(); ++i) {
      if (SQUELCH_CODES[i] == *code) return names[i];
    }
  } else if (*code < names.size()) {
    return names[*code];
  }
  return std::to_string(*code);
}

std::vector<Difference> diff_settings(const UiSettings& left, const UiSettings& right,
                                      const EnumOptions& options) {
  std::vector<Difference> out;
  for (const auto& field : FIELDS) {
    std::visit(
        [&](auto ref) {
          using T = std::remove_cvref_t<decltype(left.*ref)>;
          std::string l = render(left.*ref);
          std::string r = render(right.*ref);
          if constexpr (std::is_same_v<T, std::string>) {
            l = canonical_value(field.name, l, options);
            r = canonical_value(field.name, r, options);
          }
          if (l != r) out.push_back({std::string(field.name), l, r});
        },
        field.ref);
  }
  if (left.channels.size() != right.channels.size()) {
    out.push_back({"channel_count", std::to_string(left.channels.size()),
                   std::to_string(right.channels.size())});
  }
  const std::size_t count = std::max(left.channels.size(), right.channels.size());
  for (std::size_t i = 0; i < count; ++i) {
    for (const auto& field : CHANNEL_FIELDS) {
      const std::string name =
          "channel." + std::to_string(i + 1) + "." + std::string(field.cli_name);
      std::visit(
          [&](auto ref) {
            const bool has_left = i < left.channels.size();
            const bool has_right = i < right.channels.size();
            const std::string l = has_left ? render(left.channels[i].*ref) : "-";
            const std::string r = has_right ? render(right.channels[i].*ref) : "-";
            if (!has_left || !has_right || left.channels[i].*ref != right.channels[i].*ref) {
              out.push_back({name, l, r});
            }
          },
          field.ref);
    }
  }
  return out;
}

}  // namespace owl::frontend
