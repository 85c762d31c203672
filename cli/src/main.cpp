#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "backup.hpp"
#include "coordination_command.hpp"
#include "doctor.hpp"
#include "errors.hpp"
#include "input.hpp"
#include "man_help.hpp"
#include "owl_client.hpp"
#include "records_json.hpp"
#include "session.hpp"
#include "settings_file.hpp"
#include "show_commands.hpp"
#include "texts.hpp"
#include "ui_fields.hpp"

namespace owl::cli {
using namespace owl::frontend;
namespace {

namespace fs = std::filesystem;

// Longer waits are typos; they would also overflow the engine's clock arithmetic.
constexpr double MAX_WAIT_SECONDS = 3600;

constexpr const char* NO_UNIT_ADVICE =
    "; run `owlctl doctor` to see what keeps the units away (docs/hardware.md explains the "
    "set-up), or try owlctl without hardware: owlctl --simulator list";
constexpr const char* LOAD_USAGE = "load takes KEY FILE, or --all FILE";

struct Options {
  bool simulator = false;
  std::string wait_text;
  double wait_seconds = 5.0;
  bool json = false;
  std::string key;
  std::string other;
  std::string file;
  std::vector<std::string> args;
  std::vector<std::string> assignments;
  bool keep_name = false;
  bool any_unit = false;
  bool keep_charge = false;
  bool no_backup = false;
  bool all = false;
};

void print_out(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void print_err(const std::string& text) {
  const std::string line = "owlctl: " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

// Writes into what is not a regular file, such as /dev/null or a FIFO, as a shell would.
void write_into(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.flush();
  if (!out) throw failure("cannot write " + path + ": " + std::strerror(errno));
}

// Writes through a temporary file so that a failed save never leaves half a file behind. The
// rename replaces its target, so it is aimed at the file a link points to, and never at a device
// or FIFO: as root, that would turn /dev/null into a plain file.
void write_file(const std::string& path, const std::string& text) {
  if (path == "-") {
    print_out(text);
    return;
  }
  std::error_code error;
  fs::path target = path;
  // Followed by hand: a link to a file not made yet is one too. 40 is the kernel's own limit.
  for (int hops = 0; hops < 40 && fs::is_symlink(target, error); ++hops) {
    const fs::path next = fs::read_symlink(target, error);
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  const auto status = fs::status(target, error);
  if (fs::is_directory(status)) throw failure(path + ": is a directory");
  if (fs::exists(status) && !fs::is_regular_file(status)) return write_into(path, text);
  const std::string temporary = target.string() + ".tmp-" + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
      std::remove(temporary.c_str());
      throw failure("cannot write " + path + ": " + std::strerror(errno));
    }
  }
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    std::remove(temporary.c_str());
    throw failure("cannot write " + path + ": " + reason);
  }
}

class Engine {
 public:
  Engine(const Options& options, Session& session) : options_(options), session_(session) {}

  void start(const std::vector<std::string>& wanted, Session::Tap tap = {}) {
    session_.start(options_.simulator, std::move(tap));
    const auto wait = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(options_.wait_seconds));
    const auto sysfs = doctor_roots_from_environment().sysfs;
    session_.wait_for_units(
        options_.simulator, wanted, [sysfs] { return candidate_ports(sysfs); },
        Clock::now() + wait);
  }

  Session& session() { return session_; }

  std::vector<UnitInfo> units() { return client::Client::instance().units_wait(); }

  // The unit with its reported settings, or status 3 with what was found instead.
  UnitInfo unit(const std::string& key) {
    const auto all = units();
    for (const auto& unit : all) {
      if (unit.key != key) continue;
      if (!unit.settings) throw not_reported(key);
      return unit;
    }
    std::vector<std::string> keys;
    for (const auto& unit : all) keys.push_back(unit.key);
    throw no_unit("no unit " + key + " found" +
                  (keys.empty() ? nothing_found()
                                : " (units: " + join(keys, ", ") + ")" + port_problem_hint()));
  }

  static CliError not_reported(const std::string& key) {
    return no_unit(text::no_settings_yet(key));
  }

  // No unit at all, with why and where to turn.
  CliError none_found() { return no_unit("no unit found" + nothing_found()); }

  std::string nothing_found() {
    const std::string hint = port_problem_hint();
    if (options_.simulator) return hint;
    return hint.empty() ? std::string(NO_UNIT_ADVICE) : hint;
  }

  std::string port_problem_hint() {
    const auto problems = session_.port_problems();
    if (problems.empty()) return "";
    return "; ports that could not be opened: " + join(problems, "; ") + " (run `owlctl doctor`)";
  }

 private:
  const Options& options_;
  Session& session_;
};

void refuse_if_problems(const std::string& key, const std::vector<std::string>& problems) {
  if (problems.empty()) return;
  for (const auto& problem : problems) print_err(key + ": " + problem);
  throw CliError(EXIT_FAILED, "");
}

// The backup's path; none with --no-backup.
std::optional<std::string> back_up(const Options& options, const std::string& key,
                                   const UiSettings& current) {
  if (options.no_backup) return std::nullopt;
  const auto root = backup_root(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
  std::filesystem::path path;
  try {
    path = write_backup(root, key, current, std::time(nullptr));
  } catch (const CliError& error) {
    throw failure(std::string(error.what()) + " (use --no-backup to write without a backup)");
  }
  print_err("saved the settings of " + key + " to " + path.string() + " (undo with: owlctl undo " +
            key + ")");
  return path.string();
}

void note_if_simulated(const Options& options) {
  if (options.simulator) print_err(SIMULATOR_NOTE);
}

// Waits for every unit's write outcome and then for the settings it reported after it.
std::map<std::string, UiSettings> confirm(Engine& engine, const std::vector<std::string>& keys,
                                          std::size_t start) {
  Spinner spinner("waiting for " + join(keys, ", ") + " to confirm the write");
  auto done = await_confirmations(engine.session(), keys, start);
  if (!done.failures.empty()) {
    for (const auto& failure_text : done.failures) print_err(failure_text);
    throw CliError(EXIT_FAILED, "");
  }
  for (const auto& key : keys) {
    if (!done.reported.count(key)) done.reported[key] = *engine.unit(key).settings;
  }
  return done.reported;
}

int run_list(const Options& options, Session& session) {
  Engine engine(options, session);
  engine.start({});
  const auto units = engine.units();
  if (options.json) {
    auto out = nlohmann::ordered_json::array();
    for (const auto& unit : units) out.push_back(unit_to_json(unit));
    print_out(dump_json(out, 2) + "\n");
  } else {
    for (const auto& unit : units) print_out(unit_line(unit) + "\n");
  }
  if (units.empty()) throw engine.none_found();
  return EXIT_OK;
}

int run_show(const Options& options, Session& session) {
  Engine engine(options, session);
  engine.start({options.key});
  print_out(engine.unit(options.key).settings_json + "\n");
  return EXIT_OK;
}

// Assignments applied to the unit's current settings, the changed field names in order.
UiSettings edited(const UiSettings& current, const std::vector<Assignment>& assignments) {
  UiSettings form = current;
  for (const auto& assignment : assignments) apply_assignment(form, assignment);
  return form;
}

std::vector<Assignment> parse_assignments(const std::vector<std::string>& texts) {
  std::vector<Assignment> out;
  for (const auto& text : texts) out.push_back(parse_assignment(text));
  return out;
}

int run_check_or_set(const Options& options, Session& session, bool write) {
  const auto assignments = parse_assignments(options.assignments);
  Engine engine(options, session);
  engine.start({options.key});
  const UiSettings current = *engine.unit(options.key).settings;
  const UiSettings form = edited(current, assignments);
  auto& client = client::Client::instance();
  refuse_if_problems(options.key, client.check_settings_wait(
                                      options.key, as_written(form, current, options.keep_name,
                                                              options.keep_charge)));
  if (!write) {
    print_out(options.key + ": the changes are acceptable\n");
    return EXIT_OK;
  }
  back_up(options, options.key, current);
  const std::size_t start = engine.session().cursor();
  refuse_if_problems(options.key, client.write_settings_wait(options.key, form, options.keep_name,
                                                             options.keep_charge));
  const auto reported = confirm(engine, {options.key}, start);
  note_if_simulated(options);
  std::vector<std::string> printed;
  for (const auto& assignment : assignments) {
    if (std::find(printed.begin(), printed.end(), assignment.field) != printed.end()) continue;
    printed.push_back(assignment.field);
    print_out(assignment.field + "=" + field_value(reported.at(options.key), assignment.field) +
              "\n");
  }
  return EXIT_OK;
}

int run_save(const Options& options, Session& session) {
  Engine engine(options, session);
  engine.start({options.key});
  const auto unit = engine.unit(options.key);
  write_file(options.file, dump_json(settings_to_json(*unit.settings), 2) + "\n");
  if (options.file != "-") print_err("saved the settings of " + unit.key + " to " + options.file);
  return EXIT_OK;
}

using PerUnit = std::map<std::string, std::vector<std::string>>;

// Says for every unit, before anything is written, what the load would not do as the file says
// and why it would be refused; checking all first means a refusal leaves no stray backup.
// Throws when any unit refuses; returns each unit's warnings.
PerUnit check_load(const Options& options, const SettingsFile& file,
                   const std::map<std::string, UiSettings>& current) {
  auto& client = client::Client::instance();
  const bool keep_name = options.all || options.keep_name;
  const EnumOptions enum_options = client.enum_options();
  bool refused = false;
  PerUnit warnings;
  for (const auto& [key, unit] : current) {
    const auto notes = load_notes(file, key, unit, keep_name, options.any_unit, enum_options);
    if (notes.refusal) print_err(key + ": " + *notes.refusal);
    for (const auto& warning : notes.warnings) print_err(key + ": " + warning);
    warnings[key] = notes.warnings;
    const auto problems = client.check_settings_wait(
        key, as_written(file.for_unit(unit), unit, keep_name, options.keep_charge));
    for (const auto& problem : problems) print_err(key + ": " + problem);
    refused = refused || notes.refusal || !problems.empty();
  }
  if (refused) throw failure(NOTHING_WRITTEN);
  return warnings;
}

// `load --json` output: one object per unit, once every unit confirmed.
nlohmann::ordered_json load_report(const std::vector<std::string>& keys,
                                   const std::map<std::string, std::optional<std::string>>& backups,
                                   const PerUnit& warnings) {
  auto out = nlohmann::ordered_json::array();
  for (const auto& key : keys) {
    nlohmann::ordered_json item = nlohmann::ordered_json::object();
    item["key"] = key;
    item["confirmed"] = true;
    const auto& backup = backups.at(key);
    item["backup"] = backup ? nlohmann::ordered_json(*backup) : nullptr;
    item["warnings"] = warnings.at(key);
    out.push_back(std::move(item));
  }
  return out;
}

int run_load(const Options& options, Session& session) {
  std::string key;
  std::string path;
  if (options.args.size() != (options.all ? 1u : 2u)) {
    const std::size_t count = options.args.size();
    throw usage_error(std::string(LOAD_USAGE) + ", not " + std::to_string(count) +
                      (count == 1 ? " argument" : " arguments") + " (see owlctl load --help)");
  }
  if (options.all) {
    path = options.args[0];
  } else {
    key = options.args[0];
    path = options.args[1];
  }
  // The file is read before the engine starts, so a bad file can never lead to a write.
  const SettingsFile file =
      settings_from_json_text(read_input(path, STDIN_FILENO), input_name(path));
  Engine engine(options, session);
  engine.start(options.all ? std::vector<std::string>{} : std::vector<std::string>{key});
  auto& client = client::Client::instance();
  std::vector<std::string> keys;
  std::map<std::string, UiSettings> current;
  if (options.all) {
    for (const auto& unit : engine.units()) {
      if (!unit.settings) throw Engine::not_reported(unit.key);
      keys.push_back(unit.key);
      current[unit.key] = *unit.settings;
    }
    if (keys.empty()) throw engine.none_found();
  } else {
    current[key] = *engine.unit(key).settings;
    keys.push_back(key);
  }
  const auto warnings = check_load(options, file, current);
  std::map<std::string, std::optional<std::string>> backups;
  for (const auto& unit_key : keys)
    backups[unit_key] = back_up(options, unit_key, current[unit_key]);
  const std::size_t start = engine.session().cursor();
  if (options.all) {
    // The engine restores each unit's own read-only fields; any unit's serve to fill the form.
    const auto reports =
        client.write_all_settings_wait(file.for_unit(current[keys[0]]), options.keep_charge);
    for (const auto& report : reports) {
      for (const auto& problem : report.problems) {
        print_err((report.key.empty() ? std::string() : report.key + ": ") + problem);
      }
    }
    if (!reports.empty()) throw failure(NOTHING_WRITTEN);
  } else {
    refuse_if_problems(key, client.write_settings_wait(key, file.for_unit(current[key]),
                                                       options.keep_name, options.keep_charge));
  }
  confirm(engine, keys, start);
  if (options.json) {
    print_out(dump_json(load_report(keys, backups, warnings), 2) + "\n");
  } else {
    for (const auto& unit_key : keys) print_out(unit_key + ": confirmed\n");
  }
  note_if_simulated(options);
  return EXIT_OK;
}

// OTHER names a file when it is "-", exists, or looks like a path; otherwise a unit.
bool names_a_file(const std::string& other) {
  std::error_code error;
  return other == "-" || fs::exists(other, error) || other.find('/') != std::string::npos ||
         (other.size() > 5 && other.compare(other.size() - 5, 5, ".json") == 0);
}

int compare(const Options& options, Session& session) {
  const bool against_file = names_a_file(options.other);
  std::optional<SettingsFile> file;
  if (against_file) {
    file =
        settings_from_json_text(read_input(options.other, STDIN_FILENO), input_name(options.other));
  }
  Engine engine(options, session);
  engine.start(against_file ? std::vector<std::string>{options.key}
                            : std::vector<std::string>{options.key, options.other});
  const UiSettings left = *engine.unit(options.key).settings;
  // A file may leave out what the unit keeps anyway; that is no difference.
  const UiSettings right = file ? file->filled_from(left) : *engine.unit(options.other).settings;
  const auto differences = diff_settings(left, right, client::Client::instance().enum_options());
  for (const auto& difference : differences) {
    print_out(difference.field + ": " + difference.left + " | " + difference.right + "\n");
  }
  return differences.empty() ? EXIT_OK : EXIT_DIFFERENT;
}

// Like diff(1), 1 means "there are differences", so trouble reading the file says 2.
int run_diff(const Options& options, Session& session) {
  try {
    return compare(options, session);
  } catch (const CliError& error) {
    if (error.status() != EXIT_FAILED) throw;
    throw CliError(EXIT_USAGE, error.what());
  } catch (const client::EnginePanic& panic) {
    throw CliError(EXIT_USAGE, std::string("the engine failed: ") + panic.what());
  }
}

int run_watch(const Options& options, Session& session) {
  // Blocked before the engine starts its threads, which inherit the mask, so that only this
  // thread receives them and can end the program cleanly.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  const bool json = options.json;
  // The tap runs on the engine's one forwarding thread, which alone touches the filter.
  session.start(options.simulator, [json, filter = WatchFilter()](const UiEvent& event) mutable {
    if (!filter.shows(event)) return;
    print_out(watch_line(event, std::chrono::system_clock::now(), json) + "\n");
  });
  const timespec tick{0, 200'000'000};
  while (!session.closed()) {
    const int signal = sigtimedwait(&signals, nullptr, &tick);
    if (signal == SIGINT || signal == SIGTERM) return EXIT_OK;
  }
  throw failure("the engine closed the event stream");
}

int run_doctor(const Options&) {
  const auto findings = run_doctor(doctor_roots_from_environment(), real_access_check);
  print_out(format_findings(findings));
  const bool problems =
      std::any_of(findings.begin(), findings.end(), [](const Finding& f) { return f.problem; });
  return problems ? EXIT_FAILED : EXIT_OK;
}

const char* const DIFF_EXIT_STATUS =
    "EXIT STATUS\n"
    "    0  no differences\n"
    "    1  there are differences\n"
    "    2  usage error, or the file cannot be read or is no settings file\n"
    "    3  no such unit, or no unit found in time\n";

std::string footer(const std::string& examples, const char* exit_status = EXIT_STATUS) {
  return std::string(exit_status) + "\nEXAMPLES\n" + examples;
}

double parse_wait(const std::string& text) {
  double seconds = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, seconds);
  if (text.empty() || ec != std::errc{} || ptr != end || !std::isfinite(seconds) || seconds < 0 ||
      seconds > MAX_WAIT_SECONDS) {
    std::ostringstream message;
    message << "--wait takes a number of seconds from 0 to " << MAX_WAIT_SECONDS << ", not '"
            << text << "'";
    throw usage_error(message.str());
  }
  return seconds;
}

// The first word on the command line that is not a global option: the command the user meant.
// CLI11 would call an unknown one "a subcommand is required" or an unexpected argument.
std::optional<std::string> unknown_command(int argc, char** argv,
                                           const std::vector<std::string>& commands) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--wait") {
      ++i;
      continue;
    }
    if (word.empty() || word[0] == '-') continue;
    if (std::find(commands.begin(), commands.end(), word) != commands.end()) return std::nullopt;
    const auto near = closest_name(word, commands);
    return "unknown command '" + word + "'" +
           (near ? " (did you mean '" + *near + "'?)" : "; commands are " + join(commands, ", "));
  }
  return std::nullopt;
}

// Commands that print what the units report: list and show.
void add_reading_commands(CLI::App& app, ManHelp& help, Options& options) {
  auto* list = app.add_subcommand("list", "list the units found");
  list->add_flag("--json", options.json, "print the unit records as a JSON array");
  help.describe("list",
                "One line per unit: key, unit name, where it is connected (device path or\n"
                "\"simulator\"), the identity it reported, and its channel count.");
  list->footer(footer("    owlctl list\n    owlctl --simulator list --json\n"));

  auto* show = app.add_subcommand("show", "print a unit's settings as JSON");
  show->add_option("KEY", options.key, "the unit")->required();
  help.describe("show",
                "Prints the settings the unit last reported, in the unit's own field\n"
                "names (unitName, abButton, ...), as the engine renders them. This is for\n"
                "reading: `load` does not take it. To keep settings in a file that `load`\n"
                "and `diff` read, use `owlctl save`.");
  show->footer(footer("    owlctl show 0001A3F2\n"));
}

// The fields `check` and `set` take, for their manuals.
// Greedy word wrap at the width of the rest of the help.
std::string wrap(const std::string& text, std::size_t width = 78) {
  std::istringstream words(text);
  std::string out;
  std::string line;
  for (std::string word; words >> word;) {
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      out += line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  }
  return out + line;
}

// From the field table, so a new field is listed without touching this.
std::string assignment_help() {
  std::vector<std::string> own;
  for (const UiField& field : UI_FIELDS) {
    if (!field.editable) own.emplace_back(field.name);
  }
  const std::string last = own.back();
  own.pop_back();
  return wrap("Fields, by the names `save` writes: " + join(editable_field_names(), ", ") +
              ", and per channel channel.N.frequency (kHz), channel.N.delay, channel.N.voting, "
              "channel.N.enable (true/false). encryption takes 6 hex digits. Option names are "
              "case-insensitive (stereo, STEREO). " +
              join(own, ", ") + " and " + last + " are the unit's own and cannot be changed.");
}

void add_check_command(CLI::App& app, ManHelp& help, Options& options) {
  auto* check = app.add_subcommand("check", "check changes to a unit's settings without writing");
  check->add_option("KEY", options.key, "the unit")->required();
  check->add_option("FIELD=VALUE", options.assignments, "the changes")->required();
  check->add_flag("--keep-name", options.keep_name, "check as if the unit keeps its name");
  check->add_flag("--keep-charge", options.keep_charge,
                  "check as if the unit keeps its charge mode");
  help.describe("check",
                "Applies the changes to the unit's current settings and asks the engine\n"
                "whether the unit would accept them. Nothing is written.\n\n" +
                    assignment_help());
  check->footer(
      footer("    owlctl check 0001A3F2 delay_ms=120 channel.3.frequency=216000\n"
             "    owlctl check --json 0001A3F2 delay_ms=450\n"));
}

void add_set_command(CLI::App& app, ManHelp& help, Options& options) {
  auto* set = app.add_subcommand("set", "change fields of a unit's settings");
  set->add_option("KEY", options.key, "the unit");
  set->add_option("FIELD=VALUE", options.assignments, "the changes");
  set->add_flag("--keep-name", options.keep_name, "keep the unit's current name");
  set->add_flag("--keep-charge", options.keep_charge, "keep the unit's current charge mode");
  set->add_flag("--no-backup", options.no_backup, "do not save the current settings first");
  help.describe("set",
                "Applies the changes to the unit's current settings, checks them, saves\n"
                "the current settings as a backup, writes, waits until the unit confirms,\n"
                "and prints each changed field as the unit reported it back. Simulated\n"
                "units start afresh in every run, so a write to one lasts only that run.\n\n"
                "With --all, the fields change on every unit and each unit keeps all its\n"
                "other fields (names and channels stay as they are): every unit is checked\n"
                "first, and if any refuses, nothing is written to any. Units that already\n"
                "have the values are not written. --dry-run prints what would change, one\n"
                "line per field (`KEY: FIELD: OLD -> NEW`), and writes nothing.\n\n" +
                    assignment_help());
  help.synopsis(
      "set", "owlctl set [OPTIONS] KEY FIELD=VALUE...\nowlctl set [OPTIONS] --all FIELD=VALUE...");
  set->footer(
      footer("    owlctl set 0001A3F2 delay_ms=120 hph_mode=stereo\n"
             "    owlctl set 0001A3F2 channel.2.enable=true channel.2.frequency=216000\n"
             "    owlctl set --all --dry-run delay_ms=120 hph_mode=stereo\n"
             "    owlctl set --all delay_ms=120 hph_mode=stereo\n"));
}

void add_save_command(CLI::App& app, ManHelp& help, Options& options) {
  auto* save = app.add_subcommand("save", "save a unit's settings to a file");
  save->add_option("KEY", options.key, "the unit");
  save->add_option("FILE", options.file, "where to write (- for standard output)");
  help.describe("save",
                "Writes the unit's settings as a JSON object with the field names that\n"
                "`set` accepts (unit_name, ab_button, ...): a settings file, which `load`\n"
                "writes back and `diff` compares. `show` prints another form, for reading.\n\n"
                "With --all, writes every connected unit into a show file: one JSON file\n"
                "for the whole rig (\"format\": \"owl-show\"), each unit under its key with\n"
                "its settings file, which `load --show` writes back and `diff --show`\n"
                "compares. Both forms replace FILE whole (through a temporary file).\n"
                "Saving --all onto an existing show updates it: its coordination data,\n"
                "locks and the units not connected now are kept; a file that is not a\n"
                "show is not overwritten.");
  help.synopsis("save", "owlctl save KEY FILE\nowlctl save --all [--name NAME] SHOW");
  save->footer(
      footer("    owlctl save 0001A3F2 stage-left.json\n"
             "    owlctl save --all --name \"Main stage, Friday\" friday.json\n"));
}

void add_load_command(CLI::App& app, ManHelp& help, Options& options) {
  auto* load = app.add_subcommand("load", "write a settings file to a unit or to every unit");
  // Counted in run_load, which says plainly what it takes.
  load->add_option("KEY FILE", options.args,
                   "the unit and the file; only the file with --all (- is standard input)");
  load->add_flag("--all", options.all, "write to every unit; each keeps its own name");
  load->add_flag("--keep-name", options.keep_name, "keep the unit's current name");
  load->add_flag("--any-unit", options.any_unit,
                 "load a file saved from another unit, name included");
  load->add_flag("--keep-charge", options.keep_charge, "keep each unit's current charge mode");
  load->add_flag("--no-backup", options.no_backup, "do not save the current settings first");
  load->add_flag("--json", options.json,
                 "print the outcome as a JSON array: key, confirmed, backup, warnings");
  help.synopsis("load",
                "owlctl load [OPTIONS] KEY FILE\nowlctl load [OPTIONS] --all FILE\n"
                "owlctl load [OPTIONS] --show SHOW [--only KEY...]");
  help.describe("load",
                "Reads a file made by `save` (or a backup) and writes it to the unit, or with\n"
                "--all to every unit at once: if any unit refuses, nothing is written to any.\n"
                "A file of at most 1 MiB is read; a malformed file (bad JSON, wrong types,\n"
                "unknown or missing fields, `owlctl show` output) is refused before anything\n"
                "is written. So is a file saved from a unit with another serial number,\n"
                "unless --keep-name or --any-unit says that is meant. Before writing, owlctl\n"
                "says on standard error what the write will not do as the file says: channels\n"
                "the unit does not have, channels the file lacks (they keep the unit's\n"
                "values), and a different rf_mode (the unit keeps its own). Waits until every\n"
                "unit confirms.\n\n"
                "With --show, writes each unit in a show file (made by `save --all`) that is\n"
                "connected, matched by key, each with its own settings; --only restricts it\n"
                "to the units named. It says which units of the show are not connected and\n"
                "which connected units are not in the show. The whole show is read first:\n"
                "any fault in it is refused with the path of the value\n"
                "(`units[2].settings.dely_ms: unknown field`), and if any unit refuses its\n"
                "settings, nothing is written to any. Units that already match are not\n"
                "written. --dry-run prints what would change (`KEY: FIELD: OLD -> NEW`)\n"
                "and writes nothing.");
  load->footer(
      footer("    owlctl load 0001A3F2 stage-left.json\n    owlctl load --all show.json\n"
             "    owlctl load --show friday.json --dry-run\n"
             "    owlctl load --show friday.json --only 0001A3F2 0001A3F3\n"));
}

// Commands that change settings or keep them in a file: check, set, save and load.
void add_writing_commands(CLI::App& app, ManHelp& help, Options& options) {
  add_check_command(app, help, options);
  add_set_command(app, help, options);
  add_save_command(app, help, options);
  add_load_command(app, help, options);
}

// Watching, comparing and diagnosing: watch, diff and doctor.
void add_other_commands(CLI::App& app, ManHelp& help, Options& options) {
  auto* watch = app.add_subcommand("watch", "print the engine's events until interrupted");
  watch->add_flag("--json", options.json, "print one JSON object per line");
  help.describe("watch",
                "Prints one line per event (unit announced, stopped, settings, identity,\n"
                "write result, port problems) until SIGINT or SIGTERM, then exits 0. Each\n"
                "line starts with the local time; a unit's settings and identity are printed\n"
                "when they first arrive and then only when they changed.");
  watch->footer(footer("    owlctl watch\n    owlctl --simulator watch --json\n"));

  auto* diff = app.add_subcommand("diff", "compare a unit's settings with a file or another unit");
  diff->add_option("KEY", options.key, "the unit");
  diff->add_option("OTHER", options.other,
                   "a settings file (- for standard input), or another unit's key");
  help.describe("diff",
                "Prints each field that differs as `FIELD: LEFT | RIGHT`, the unit named\n"
                "by KEY on the left. Values are compared as `load` reads them: option\n"
                "names and hex digits ignore case, and read-only fields the file leaves out\n"
                "are no difference. OTHER is a file when it is -, exists, contains a / or\n"
                "ends in .json; otherwise it is a unit's key. Exits 1 when there are\n"
                "differences, like diff(1).\n\n"
                "With --show, compares every unit in a show file with the connected unit of\n"
                "the same key (`KEY: FIELD: UNIT | SHOW`); a unit of the show that is not\n"
                "connected, and a connected unit not in the show, are differences too.\n"
                "--json prints the differences as JSON: for KEY OTHER an array of\n"
                "{field, left, right}; for --show one object per unit with key, state (same,\n"
                "different, not connected, not in show) and differences {field, unit, show}.");
  help.synopsis("diff",
                "owlctl diff [--json] KEY FILE\nowlctl diff [--json] KEY OTHER_KEY\n"
                "owlctl diff [--json] --show SHOW");
  diff->footer(
      footer("    owlctl diff 0001A3F2 stage-left.json\n    owlctl diff 0001A3F2 0001A3F3\n"
             "    owlctl diff --show friday.json\n",
             DIFF_EXIT_STATUS));

  auto* doctor = app.add_subcommand("doctor", "find what keeps you from reaching the units");
  help.describe("doctor",
                "Looks at this machine without starting the engine: unit ports in sysfs,\n"
                "whether you may open them, whether the udev rule is installed, and whether\n"
                "ModemManager is running; each problem comes with what to do. Exits 1 when\n"
                "a problem was found. --json prints the findings as an array of\n"
                "{problem, text, action}.");
  doctor->footer(footer("    owlctl doctor\n    owlctl doctor --json\n"));
}

// CLI11's wording for the common slips, said plainly.
std::string plain_parse_message(const CLI::ParseError& error) {
  const std::string text = error.what();
  const auto colon = text.find(": ");
  // By type: CLI11 gives an ExtrasError the name of the command it was raised in.
  if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr && colon != std::string::npos) {
    // CLI11 lists the extra words last first.
    std::vector<std::string> words;
    std::istringstream in(text.substr(colon + 2));
    for (std::string word; in >> word;) words.insert(words.begin(), word);
    return std::string(words.size() == 1 ? "unexpected argument '" : "unexpected arguments '") +
           join(words, " ") + "'";
  }
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr && colon != std::string::npos &&
      text.find(" missing", colon) != std::string::npos) {
    return text.substr(0, colon) + " needs a value";
  }
  return text;
}

// Parses the command line; a status when that already ended the run (help, version).
std::optional<int> parse(CLI::App& app, int argc, char** argv) {
  std::vector<std::string> commands;
  for (const auto* command : app.get_subcommands({})) commands.push_back(command->get_name());
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForVersion& version) {
    print_out(std::string(version.what()) + "\n");
    return EXIT_OK;
  } catch (const CLI::CallForHelp&) {
    print_out(app.help());
    return EXIT_OK;
  } catch (const CLI::CallForAllHelp&) {
    print_out(app.help("", CLI::AppFormatMode::All));
    return EXIT_OK;
  } catch (const CLI::ParseError& error) {
    if (const auto message = unknown_command(argc, argv, commands)) throw usage_error(*message);
    if (error.get_name() == "RequiredError" && app.get_subcommands().empty()) {
      throw usage_error("no command given; commands are " + join(commands, ", ") +
                        " (see owlctl --help)");
    }
    std::string command;
    for (const auto* sub : app.get_subcommands({})) {
      if (sub->parsed()) command = sub->get_name() + " ";
    }
    throw usage_error(plain_parse_message(error) + " (see owlctl " + command + "--help)");
  }
  return std::nullopt;
}

// The commands that take the common options, by name; the show and coordination commands
// have options of their own, and doctor needs no engine.
using CommandHandler = int (*)(const Options&, Session&);
constexpr std::array<std::pair<std::string_view, CommandHandler>, 8> UNIT_COMMANDS{{
    {"list", run_list},
    {"show", run_show},
    {"check", [](const Options& o, Session& s) { return run_check_or_set(o, s, false); }},
    {"set", [](const Options& o, Session& s) { return run_check_or_set(o, s, true); }},
    {"save", run_save},
    {"load", run_load},
    {"watch", run_watch},
    {"diff", run_diff},
}};

int run(int argc, char** argv, Session& session) {
  Options options;
  auto help = std::make_shared<ManHelp>();
  CLI::App app("configure OWL wireless audio receiver units", "owlctl");
  app.formatter(help);
  app.fallthrough();
  app.require_subcommand(1);
  // Before the commands are added: they take the flag over with its text.
  app.set_help_flag("-h,--help", "print this manual page and exit");
  app.set_version_flag(
      "--version",
      [] {
        return std::string("owlctl ") + OWLCTL_VERSION + " (engine " +
               client::Client::instance().core_version() + ")";
      },
      "print the versions of owlctl and the engine");
  app.add_flag("--simulator", options.simulator,
               "use two simulated units (SIM0001, SIM0002) instead of hardware");
  app.add_option("--wait", options.wait_text,
                 "seconds to wait for units to appear, 0 to 3600 (default 5)")
      ->option_text("SECONDS");
  help->describe("owlctl",
                 "Starts the OWL engine, waits until the units connected by USB have reported\n"
                 "their settings, runs one command and exits. Units are named by their key: the\n"
                 "USB serial number, or SIM0001/SIM0002 with --simulator. With hardware,\n"
                 "owlctl stops waiting as soon as the ports show that no further unit can\n"
                 "come. Simulated units start afresh in every run. Every write is\n"
                 "confirmed by the unit before owlctl exits, and the previous settings are\n"
                 "saved under $XDG_DATA_HOME/owl/backups/KEY/ first.\n"
                 "Run `owlctl COMMAND --help` for each command's manual.");
  app.footer(footer("    owlctl list\n    owlctl --simulator set SIM0001 delay_ms=120\n"));

  add_reading_commands(app, *help, options);
  add_writing_commands(app, *help, options);
  add_other_commands(app, *help, options);
  CoordinationOptions coordination;
  add_coordination_commands(app, *help, coordination);
  ShowOptions show_options;
  add_show_commands(app, *help, show_options);
  if (const auto status = parse(app, argc, argv)) return *status;
  // Counted, not tested for text: an empty value is a mistake, not the default.
  if (app.count("--wait") > 0) options.wait_seconds = parse_wait(options.wait_text);

  // require_subcommand(1): exactly one was given.
  const std::string command = app.get_subcommands().front()->get_name();
  Engine engine(options, session);
  CommandContext context{
      session,
      [&engine](const std::vector<std::string>& wanted) { engine.start(wanted); },
      [&engine] { return engine.none_found(); },
      backup_root(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")),
      options.simulator,
      std::cout,
      std::cerr};
  const CommandWords words{options.key,       options.file,        options.other,
                           options.args,      options.assignments, options.all,
                           options.keep_name, options.keep_charge, options.any_unit,
                           options.no_backup, options.json};
  if (const auto status = run_show_command(command, show_options, words, context)) return *status;
  for (const auto& [name, handler] : UNIT_COMMANDS) {
    if (command == name) return handler(options, session);
  }
  if (command == "plan" || command == "coordinate") {
    Connection connection{session, options.simulator, options.wait_seconds};
    return command == "plan" ? run_plan(coordination, connection, std::cout, std::cerr)
                             : run_coordinate(coordination, connection, std::cout, std::cerr);
  }
  return run_doctor(options);
}

}  // namespace
}  // namespace owl::cli

int main(int argc, char** argv) {
  // The engine calls into the session until the process ends, so it lives as long as main,
  // which never returns.
  owl::cli::Session session;
  int status = owl::cli::EXIT_FAILED;
  try {
    status = owl::cli::run(argc, argv, session);
  } catch (const owl::cli::CliError& error) {
    if (error.what()[0] != '\0') owl::cli::print_err(error.what());
    status = error.status();
  } catch (const owl::client::EnginePanic& panic) {
    owl::cli::print_err(std::string("the engine failed: ") + panic.what());
    status = owl::cli::EXIT_FAILED;
  } catch (const std::exception& error) {
    owl::cli::print_err(error.what());
    status = owl::cli::EXIT_FAILED;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  const bool output_lost = std::ferror(stdout) != 0;
  // The engine's threads run until the process ends and have no stop; leaving without running
  // static destructors keeps them from touching torn-down state.
  std::_Exit(output_lost && status == owl::cli::EXIT_OK ? owl::cli::EXIT_FAILED : status);
}
