#pragma once

#include "analysis.hpp"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The show file: one JSON file for a whole rig, read and written the same way by owlctl and the
// desktop. Pure codec: no units, no engine, no shared state, so any thread may call it. Each unit's
// settings object is kept as JSON and checked by the caller's settings reader (see SettingsCheck),
// so the field rules of a settings file live in one place.
namespace owl::frontend {

inline constexpr const char* SHOW_FORMAT = "owl-show";
inline constexpr std::int64_t SHOW_VERSION = 1;
inline constexpr std::size_t MAX_SHOW_BYTES = std::size_t{4} << 20U;

// The coordination records are the coordination library's own, so a show feeds it unchanged.
// Exclusions read from a show never have from_scan set; scan ranges come from the scan file.
using CoordinationProfile = coord::Profile;
using Exclusion = coord::Exclusion;
using OtherCarrier = coord::OtherCarrier;

struct ScanRef {
  std::string path;              // as written in the file; resolve with scan_file()
  double threshold_dbm = -80.0;  // finite; coordination takes it as a double

  friend bool operator==(const ScanRef&, const ScanRef&) = default;
};

struct ShowUnit {
  std::string key;  // non-empty, unique within the show
  bool locked = false;
  // A settings-file object (with serial, min_freq and max_freq), in its own key order.
  nlohmann::ordered_json settings = nlohmann::ordered_json::object();

  friend bool operator==(const ShowUnit&, const ShowUnit&) = default;
};

struct Show {
  std::string name;
  CoordinationProfile profile;
  std::vector<Exclusion> exclusions;
  std::vector<OtherCarrier> other_carriers;
  std::optional<ScanRef> scan;
  std::vector<ShowUnit> units;

  friend bool operator==(const Show&, const Show&) = default;
};

// One reason a file is refused. `path` names the offending value inside the document
// ("units[2].settings.dely_ms"); it is empty for the file as a whole. The caller names the file.
struct ShowProblem {
  std::string path;
  std::string message;

  // "units[2].settings.dely_ms: unknown field", or just the message when path is empty.
  std::string text() const;
  friend bool operator==(const ShowProblem&, const ShowProblem&) = default;
};

// Checks one unit's settings object, which is already known to be a JSON object with serial,
// min_freq and max_freq. Returns its problems with paths relative to that object ("dely_ms",
// "channels[3].frequency"); read_show puts "units[N].settings." in front. Must not throw for
// bad content: owlctl's settings-file reader is meant to be wrapped here.
using SettingsCheck = std::function<std::vector<ShowProblem>(const nlohmann::ordered_json&)>;

// Either the show or every problem found (never an empty list). Nothing is partially returned:
// a caller that gets problems has nothing to write to any unit.
using ShowReadResult = std::variant<Show, std::vector<ShowProblem>>;

// Reads a show file. Refuses, before reading a byte, anything that is not a regular file
// (a FIFO does not block) or is larger than MAX_SHOW_BYTES. Then refuses bad JSON (with line and
// column), duplicate object keys, nesting deeper than any show has, wrong types, unknown or
// missing fields, a format other than "owl-show", a version above SHOW_VERSION, an exclusion
// that ends before it starts, an empty or duplicate unit key, and every problem check_settings
// reports. A single-unit settings file is named as such. check_settings must not be empty
// (std::invalid_argument): a show is never read without checking its units' settings.
ShowReadResult read_show(const std::filesystem::path& path, const SettingsCheck& check_settings);

// The same for text already in memory (a file's contents); the size limit still applies.
ShowReadResult parse_show(std::string_view text, const SettingsCheck& check_settings);

// For a settings-file reader: true when the parsed document is a show file, so that the reader
// can say so (SHOW_NOT_SETTINGS) instead of listing its fields as unknown.
bool is_show_document(const nlohmann::json& document);
inline constexpr const char* SHOW_NOT_SETTINGS =
    "this is a show file, not a single-unit settings file";

// The file named by show.scan, with a relative path taken from the show file's folder.
// nullopt when the show has no scan.
std::optional<std::filesystem::path> scan_file(const Show& show,
                                               const std::filesystem::path& show_path);

// The exact text write_show writes: UTF-8, 2-space indent, keys in the file's fixed order,
// defaults written out, a final newline. Text that is not valid UTF-8 (a name as a unit sent it)
// is written with U+FFFD in its place. Throws std::invalid_argument for a show read_show would
// refuse for its shape (empty or duplicate key, exclusion ending before it starts, settings not
// an object with serial, min_freq and max_freq, empty scan path): those come from the program,
// not from a user's file.
std::string show_to_text(const Show& show);

// Writes the show atomically: a temporary file in the same folder, flushed to disk, then renamed
// over `path`, so `path` holds either its old contents or the new ones. The scan path is written
// as it is; a caller saving into another folder passes an absolute one. Returns the failure as
// a user-facing text ("cannot write /x/show.json: ..."), or nullopt on success; no temporary file
// is left behind on failure. A file being replaced keeps its permissions; a symbolic link at
// `path` is replaced by the file, not followed.
std::optional<std::string> write_show(const std::filesystem::path& path, const Show& show);

}  // namespace owl::frontend
