#include "show_commands.hpp"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <utility>
#include <variant>

#include "backup.hpp"
#include "doctor.hpp"
#include "input.hpp"
#include "owl_client.hpp"
#include "records_json.hpp"
#include "settings_file.hpp"
#include "show_file.hpp"
#include "ui_fields.hpp"

namespace owl::cli {
namespace {

namespace fs = std::filesystem;
using namespace owl::frontend;
using Json = nlohmann::ordered_json;

void say(CommandContext& context, const std::string& text) {
  context.err << "owlctl: " << text << "\n";
}

client::Client& engine() {
  return client::Client::instance();
}

// Every connected unit with its settings. A unit that has not reported yet cannot be compared or
// written, so it ends the command when the command needs it (`needed`; every unit by default).
std::map<std::string, UiSettings> connected_units(
    const std::optional<std::vector<std::string>>& needed = std::nullopt) {
  std::map<std::string, UiSettings> units;
  for (const auto& unit : engine().units_wait()) {
    if (unit.settings) {
      units.emplace(unit.key, *unit.settings);
    } else if (!needed || std::find(needed->begin(), needed->end(), unit.key) != needed->end()) {
      throw no_unit("unit " + unit.key + " has not reported its settings yet");
    }
  }
  return units;
}

UiSettings unit_settings(const std::map<std::string, UiSettings>& units, const std::string& key) {
  const auto it = units.find(key);
  if (it != units.end()) return it->second;
  std::vector<std::string> keys;
  for (const auto& [other, settings] : units) keys.push_back(other);
  throw no_unit("no unit " + key + " found" +
                (keys.empty() ? std::string() : " (units: " + join(keys, ", ") + ")"));
}

// What check_settings must see to decide as the write will: the engine's own merge.
UiSettings as_written(const UiSettings& form, const UiSettings& current, const WriteFlags& flags) {
  return owl::as_written(form, current, flags.keep_name, flags.keep_charge);
}

// The channels a unit has after the write: its own number of them, those the form lacks keeping
// their values, as the engine writes them.
UiSettings with_unit_channels(UiSettings form, const UiSettings& current) {
  const std::size_t count = current.channels.size();
  if (form.channels.size() > count) form.channels.resize(count);
  for (std::size_t i = form.channels.size(); i < count; ++i) {
    form.channels.push_back(current.channels[i]);
  }
  return form;
}

// One unit's part of a write: what it has, what is sent, and what that changes.
struct Plan {
  std::string key;
  UiSettings current;
  UiSettings form;
  std::vector<Difference> changes;
};

// Checks every unit's write and says every refusal; throws when any unit refuses, so that a
// refusal leaves no unit written and no stray backup.
void check_plans(CommandContext& context, std::vector<Plan>& plans, const WriteFlags& flags,
                 bool refused_already) {
  const EnumOptions options = engine().enum_options();
  bool refused = refused_already;
  for (Plan& plan : plans) {
    const UiSettings written = as_written(plan.form, plan.current, flags);
    for (const auto& problem : engine().check_settings_wait(plan.key, written)) {
      say(context, plan.key + ": " + problem);
      refused = true;
    }
    plan.changes = diff_settings(plan.current, with_unit_channels(written, plan.current), options);
  }
  if (refused) throw failure(NOTHING_WRITTEN);
}

void print_changes(CommandContext& context, const std::vector<Plan>& plans) {
  for (const Plan& plan : plans) {
    if (plan.changes.empty()) context.out << plan.key << ": no change\n";
    for (const auto& change : plan.changes) {
      context.out << plan.key << ": " << change.field << ": " << change.left << " -> "
                  << change.right << "\n";
    }
  }
}

std::string back_up(CommandContext& context, const std::string& key, const UiSettings& current) {
  const auto path = write_backup(context.backup_root, key, current, std::time(nullptr));
  say(context, "saved the settings of " + key + " to " + path.string() +
                   " (undo with: owlctl undo " + key + ")");
  return path.string();
}

// Waits for every unit's write outcome and then for the settings it reported after it.
void confirm(CommandContext& context, const std::vector<std::string>& keys, std::size_t start) {
  Spinner spinner("waiting for " + join(keys, ", ") + " to confirm the write");
  // The registry holds the confirmed settings once each unit reported them after the write.
  const auto done = await_confirmations(context.session, keys, start);
  if (!done.failures.empty()) {
    for (const auto& text : done.failures) say(context, text);
    throw failure("");
  }
}

// Backs up and writes every unit whose settings change, then waits for them all to confirm.
// With --dry-run it only says what would change.
int carry_out(CommandContext& context, std::vector<Plan>& plans, const WriteFlags& flags,
              const std::string& unchanged = "already as asked; not written") {
  if (flags.dry_run) {
    print_changes(context, plans);
    say(context, DRY_RUN_NOTE);
    return EXIT_OK;
  }
  std::vector<const Plan*> changing;
  for (const Plan& plan : plans) {
    if (plan.changes.empty()) {
      say(context, plan.key + ": " + unchanged);
    } else {
      changing.push_back(&plan);
    }
  }
  if (changing.empty()) return EXIT_OK;
  // Every backup before the first write: a backup that cannot be made stops all of them.
  if (!flags.no_backup) {
    for (const Plan* plan : changing) back_up(context, plan->key, plan->current);
  }
  const std::size_t start = context.session.cursor();
  std::vector<std::string> written;
  for (const Plan* plan : changing) {
    const auto problems =
        engine().write_settings_wait(plan->key, plan->form, flags.keep_name, flags.keep_charge);
    if (!problems.empty()) {
      // Checked a moment ago, so only a unit that changed in between gets here.
      for (const auto& problem : problems) say(context, plan->key + ": " + problem);
      if (!written.empty()) confirm(context, written, start);
      throw failure(written.empty() ? NOTHING_WRITTEN
                                    : "written only to " + join(written, ", ") +
                                          "; undo them with owlctl undo KEY");
    }
    written.push_back(plan->key);
  }
  confirm(context, written, start);
  for (const auto& key : written) context.out << key << ": confirmed\n";
  if (context.simulator) say(context, SIMULATOR_NOTE);
  return EXIT_OK;
}

std::vector<Assignment> parse_assignments(const std::vector<std::string>& texts) {
  std::vector<Assignment> out;
  for (const auto& text : texts) out.push_back(parse_assignment(text));
  return out;
}

// The show, or every reason it is refused, each with the path of the offending value.
Show read_show_or_refuse(CommandContext& context, const std::string& path, int status,
                         const std::string& outcome) {
  auto result = read_show(path, settings_problems);
  if (auto* show = std::get_if<Show>(&result)) return std::move(*show);
  for (const auto& problem : std::get<std::vector<ShowProblem>>(result)) {
    say(context, path + ": " + problem.text());
  }
  throw CliError(status, outcome);
}

SettingsFile unit_file(const std::string& path, std::size_t index, const ShowUnit& unit) {
  return settings_from_json(unit.settings,
                            path + ": units[" + std::to_string(index) + "].settings");
}

// Like diff(1), 1 means "there are differences", so trouble reading a file says 2.
template <class F>
int as_diff(F&& run) {
  try {
    return run();
  } catch (const CliError& error) {
    if (error.status() != EXIT_FAILED) throw;
    throw CliError(EXIT_USAGE, error.what());
  } catch (const client::EnginePanic& panic) {
    throw CliError(EXIT_USAGE, std::string("the engine failed: ") + panic.what());
  }
}

std::string utc_text(std::time_t time) {
  std::tm parts{};
  gmtime_r(&time, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
  return text;
}

// Subcommand positional arguments that only some forms take.
void optional_positionals(CLI::App& command) {
  for (auto* option : command.get_options()) {
    if (option->get_positional()) option->required(false);
  }
}

}  // namespace

int write_units(CommandContext& context, const std::vector<UnitWrite>& writes,
                const WriteFlags& flags) {
  std::vector<Plan> plans;
  for (const auto& write : writes) plans.push_back({write.key, write.current, write.form, {}});
  check_plans(context, plans, flags, false);
  return carry_out(context, plans, flags);
}

int save_all(CommandContext& context, const std::string& path, const std::string& name) {
  context.start({});
  const auto units = connected_units();
  if (units.empty()) throw context.none_found();
  Show show;
  show.name = name.empty() && path != "-" ? fs::path(path).stem().string() : name;
  std::error_code error;
  const auto status = fs::status(path, error);
  std::vector<std::string> kept;
  if (path != "-" && fs::is_regular_file(status)) {
    // Saving onto a show updates it: its coordination data, locks and the units not connected
    // now are part of the plan and stay. Anything else under the name is not overwritten.
    auto read = read_show(path, settings_problems);
    if (auto* problems = std::get_if<std::vector<ShowProblem>>(&read)) {
      throw failure(path + " exists and is not a show that can be updated (" +
                    problems->front().text() + "); nothing saved, choose another name");
    }
    show = std::get<Show>(std::move(read));
    if (!name.empty()) show.name = name;
    for (const auto& unit : show.units) {
      if (!units.count(unit.key)) kept.push_back(unit.key);
    }
  }
  std::vector<std::string> keys;
  for (const auto& [key, settings] : units) {
    const auto known = std::find_if(show.units.begin(), show.units.end(),
                                    [&](const ShowUnit& u) { return u.key == key; });
    if (known != show.units.end()) {
      known->settings = settings_to_json(settings);
    } else {
      show.units.push_back({key, false, settings_to_json(settings)});
    }
    keys.push_back(key);
  }
  if (path == "-") {
    context.out << show_to_text(show);
    return EXIT_OK;
  }
  if (fs::is_directory(status)) throw failure(path + ": is a directory");
  // A rename would put a file in place of a device or FIFO; they are written into, as a shell
  // would.
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    std::ofstream out(path, std::ios::binary);
    out << show_to_text(show);
    out.flush();
    if (!out) throw failure("cannot write " + path);
  } else if (const auto problem = write_show(path, show)) {
    throw failure(*problem);
  }
  say(context, "saved the settings of " + join(keys, ", ") + " to " + path);
  if (!kept.empty())
    say(context, "kept as they were in the show (not connected): " + join(kept, ", "));
  return EXIT_OK;
}

int load_show(CommandContext& context, const std::string& path,
              const std::vector<std::string>& only, const WriteFlags& flags) {
  // The show is read before the engine starts, so a bad file can never lead to a write.
  const Show show = read_show_or_refuse(context, path, EXIT_FAILED, NOTHING_WRITTEN);
  std::vector<std::string> in_show;
  for (const auto& unit : show.units) in_show.push_back(unit.key);
  for (const auto& key : only) {
    if (std::find(in_show.begin(), in_show.end(), key) == in_show.end()) {
      throw usage_error("--only " + key + ": no such unit in " + path +
                        " (units: " + join(in_show, ", ") + ")");
    }
  }
  const auto chosen = [&](const std::string& key) {
    return only.empty() || std::find(only.begin(), only.end(), key) != only.end();
  };
  std::vector<std::string> wanted;
  for (const auto& key : in_show) {
    if (chosen(key)) wanted.push_back(key);
  }
  context.start(wanted);
  const auto units = connected_units(wanted);
  std::vector<std::string> absent;
  for (const auto& key : wanted) {
    if (units.count(key) == 0) absent.push_back(key);
  }
  for (const auto& key : absent) say(context, key + ": in the show, not connected; not written");
  if (only.empty()) {
    for (const auto& [key, settings] : units) {
      if (std::find(in_show.begin(), in_show.end(), key) == in_show.end()) {
        say(context, key + ": connected, not in the show; not written");
      }
    }
  } else if (!absent.empty()) {
    throw no_unit("--only names units that are not connected: " + join(absent, ", ") + "; " +
                  NOTHING_WRITTEN);
  }
  if (absent.size() == wanted.size()) {
    throw no_unit("none of the units in " + path + " is connected; " + NOTHING_WRITTEN);
  }
  const EnumOptions options = engine().enum_options();
  std::vector<Plan> plans;
  bool refused = false;
  for (std::size_t i = 0; i < show.units.size(); ++i) {
    const ShowUnit& unit = show.units[i];
    const auto current = units.find(unit.key);
    if (!chosen(unit.key) || current == units.end()) continue;
    const SettingsFile file = unit_file(path, i, unit);
    const auto notes =
        load_notes(file, unit.key, current->second, flags.keep_name, flags.any_unit, options);
    if (notes.refusal) say(context, unit.key + ": " + *notes.refusal);
    for (const auto& warning : notes.warnings) say(context, unit.key + ": " + warning);
    refused = refused || notes.refusal.has_value();
    plans.push_back({unit.key, current->second, file.for_unit(current->second), {}});
  }
  check_plans(context, plans, flags, refused);
  return carry_out(context, plans, flags, "already as in the show; not written");
}

int set_all(CommandContext& context, const std::vector<std::string>& texts,
            const WriteFlags& flags) {
  const auto assignments = parse_assignments(texts);
  context.start({});
  const auto units = connected_units();
  if (units.empty()) throw context.none_found();
  std::vector<Plan> plans;
  std::vector<std::pair<std::string, CliError>> errors;
  for (const auto& [key, current] : units) {
    UiSettings form = current;
    try {
      for (const auto& assignment : assignments) apply_assignment(form, assignment);
      plans.push_back({key, current, form, {}});
    } catch (const CliError& error) {
      errors.emplace_back(key, error);
    }
  }
  if (!errors.empty()) {
    const bool same_for_all =
        plans.empty() && std::all_of(errors.begin(), errors.end(), [&](const auto& item) {
          return std::string(item.second.what()) == errors.front().second.what();
        });
    if (same_for_all) throw errors.front().second;
    // One unit may lack a channel another has: every unit is named before giving up.
    for (const auto& [key, error] : errors) say(context, key + ": " + error.what());
    throw CliError(errors.front().second.status(), NOTHING_WRITTEN);
  }
  check_plans(context, plans, flags, false);
  return carry_out(context, plans, flags);
}

int diff_show(CommandContext& context, const std::string& path, bool json) {
  return as_diff([&] {
    const Show show = read_show_or_refuse(context, path, EXIT_USAGE, "");
    std::vector<std::string> keys;
    for (const auto& unit : show.units) keys.push_back(unit.key);
    context.start(keys);
    const auto units = connected_units(keys);
    const EnumOptions options = engine().enum_options();
    bool different = false;
    Json report = Json::array();
    std::string text;
    const auto add = [&](const std::string& key, const char* state, const std::string& line,
                         Json differences = Json::array()) {
      report.push_back({{"key", key}, {"state", state}, {"differences", std::move(differences)}});
      text += line;
    };
    for (std::size_t i = 0; i < show.units.size(); ++i) {
      const ShowUnit& unit = show.units[i];
      const auto current = units.find(unit.key);
      if (current == units.end()) {
        different = true;
        add(unit.key, "not connected", unit.key + ": in the show, not connected\n");
        continue;
      }
      // The show may leave out only what the unit keeps anyway; that is no difference.
      const UiSettings wanted = unit_file(path, i, unit).filled_from(current->second);
      const auto differences = diff_settings(current->second, wanted, options);
      std::string lines;
      Json items = Json::array();
      for (const auto& difference : differences) {
        lines += unit.key + ": " + difference.field + ": " + difference.left + " | " +
                 difference.right + "\n";
        items.push_back(
            {{"field", difference.field}, {"unit", difference.left}, {"show", difference.right}});
      }
      different = different || !differences.empty();
      add(unit.key, differences.empty() ? "same" : "different", lines, std::move(items));
    }
    for (const auto& [key, settings] : units) {
      if (std::find(keys.begin(), keys.end(), key) != keys.end()) continue;
      different = true;
      add(key, "not in show", key + ": connected, not in the show\n");
    }
    context.out << (json ? dump_json(report, 2) + "\n" : text);
    return different ? EXIT_DIFFERENT : EXIT_OK;
  });
}

// Without a place for backups, a relative path would look in the current folder instead.
void need_backup_root(const CommandContext& context) {
  if (context.backup_root.empty()) {
    throw failure(
        "no backups: neither XDG_DATA_HOME nor HOME is set, so there is no backup folder");
  }
}

int list_backups_command(CommandContext& context, const std::string& key) {
  need_backup_root(context);
  context.start(key.empty() ? std::vector<std::string>{} : std::vector<std::string>{key});
  const auto units = connected_units(std::vector<std::string>{});
  // Keys by their folder name, which is all a folder says about whose backups it holds.
  std::map<std::string, std::string> keys;
  if (!key.empty()) {
    keys[key_directory_name(key)] = key;
  } else {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(context.backup_root, error)) {
      if (entry.is_directory())
        keys[entry.path().filename().string()] = entry.path().filename().string();
    }
    for (const auto& [unit_key, settings] : units) {
      if (keys.count(key_directory_name(unit_key)) > 0)
        keys[key_directory_name(unit_key)] = unit_key;
    }
  }
  const EnumOptions options = engine().enum_options();
  bool any = false;
  for (const auto& [folder, unit_key] : keys) {
    const auto backups = list_backups(context.backup_root, unit_key);
    if (backups.empty()) continue;
    any = true;
    const auto current = units.find(unit_key);
    const bool connected = current != units.end();
    context.out << unit_key
                << (connected ? " (connected; each backup with what restoring it would change)"
                              : " (not connected)")
                << "\n";
    for (const auto& backup : backups) {
      context.out << "  " << utc_text(backup.time) << "  " << backup.path.string() << "\n";
      if (!connected) continue;
      try {
        const SettingsFile file = read_backup(backup.path);
        const auto changes = diff_settings(
            current->second, with_unit_channels(file.for_unit(current->second), current->second),
            options);
        if (changes.empty()) context.out << "    same as the unit now\n";
        for (const auto& change : changes) {
          context.out << "    " << change.field << ": " << change.left << " -> " << change.right
                      << "\n";
        }
      } catch (const std::exception& error) {
        context.out << "    cannot be read: " << error.what() << "\n";
      }
    }
  }
  if (!any) {
    say(context, key.empty() ? "no backups in " + context.backup_root.string()
                             : "no backups of " + key + " in " +
                                   (context.backup_root / key_directory_name(key)).string());
  }
  return EXIT_OK;
}

int undo(CommandContext& context, const std::string& key, const WriteFlags& flags) {
  need_backup_root(context);
  const auto backups = list_backups(context.backup_root, key);
  if (backups.empty()) {
    throw failure("no backup of " + key + " in " +
                  (context.backup_root / key_directory_name(key)).string() + "; nothing to undo");
  }
  // The newest backup holds the settings from before the last write, or, after an undo, those
  // the undo replaced: undoing twice gives the last write back.
  const fs::path& newest = backups.front().path;
  const SettingsFile file = read_backup(newest);
  context.start({key});
  const UiSettings current = unit_settings(connected_units({{key}}), key);
  const auto notes = load_notes(file, key, current, false, true, engine().enum_options());
  for (const auto& warning : notes.warnings) say(context, key + ": " + warning);
  std::vector<Plan> plans{{key, current, file.for_unit(current), {}}};
  check_plans(context, plans, flags, false);
  if (plans.front().changes.empty() && !flags.dry_run) {
    say(context, key + " already has the settings of " + newest.string() + "; nothing to undo");
    return EXIT_OK;
  }
  if (!flags.dry_run) say(context, "restoring " + key + " from " + newest.string());
  // Always backed up first, whatever --no-backup says elsewhere: that backup is the undo's undo.
  WriteFlags with_backup = flags;
  with_backup.no_backup = false;
  return carry_out(context, plans, with_backup);
}

// The unit's settings now and with the FIELD=VALUE assignments applied; refuses bad assignments
// before the engine starts.
std::pair<UiSettings, UiSettings> assigned(CommandContext& context, const std::string& key,
                                           const std::vector<std::string>& texts) {
  const auto assignments = parse_assignments(texts);
  context.start({key});
  const UiSettings current = unit_settings(connected_units({{key}}), key);
  UiSettings form = current;
  for (const auto& assignment : assignments) apply_assignment(form, assignment);
  return {current, form};
}

int set_dry_run(CommandContext& context, const std::string& key,
                const std::vector<std::string>& texts, const WriteFlags& flags) {
  const auto [current, form] = assigned(context, key, texts);
  std::vector<Plan> plans{{key, current, form, {}}};
  check_plans(context, plans, flags, false);
  return carry_out(context, plans, flags);
}

int load_dry_run(CommandContext& context, const CommandWords& words) {
  if (words.args.size() != (words.load_all ? 1U : 2U)) {
    throw usage_error("load takes KEY FILE, --all FILE or --show SHOW (see owlctl load --help)");
  }
  const std::string path = words.load_all ? words.args[0] : words.args[1];
  const SettingsFile file =
      settings_from_json_text(read_input(path, STDIN_FILENO), input_name(path));
  WriteFlags flags{true, true, words.keep_name || words.load_all, words.keep_charge,
                   words.any_unit};
  const auto wanted =
      words.load_all ? std::vector<std::string>{} : std::vector<std::string>{words.args[0]};
  context.start(wanted);
  const auto units = words.load_all ? connected_units() : connected_units(wanted);
  std::map<std::string, UiSettings> chosen;
  if (words.load_all) {
    chosen = units;
    if (chosen.empty()) throw context.none_found();
  } else {
    chosen[words.args[0]] = unit_settings(units, words.args[0]);
  }
  const EnumOptions options = engine().enum_options();
  std::vector<Plan> plans;
  bool refused = false;
  for (const auto& [key, current] : chosen) {
    const auto notes = load_notes(file, key, current, flags.keep_name, flags.any_unit, options);
    if (notes.refusal) say(context, key + ": " + *notes.refusal);
    for (const auto& warning : notes.warnings) say(context, key + ": " + warning);
    refused = refused || notes.refusal.has_value();
    plans.push_back({key, current, file.for_unit(current), {}});
  }
  check_plans(context, plans, flags, refused);
  return carry_out(context, plans, flags);
}

int check_json(CommandContext& context, const std::string& key,
               const std::vector<std::string>& texts, const WriteFlags& flags) {
  const auto [current, form] = assigned(context, key, texts);
  const auto problems = engine().check_settings_wait(key, as_written(form, current, flags));
  const Json report = {{"key", key}, {"acceptable", problems.empty()}, {"problems", problems}};
  context.out << dump_json(report, 2) << "\n";
  return problems.empty() ? EXIT_OK : EXIT_FAILED;
}

int diff_json(CommandContext& context, const std::string& key, const std::string& other) {
  return as_diff([&] {
    std::error_code error;
    // As plain diff decides: "-", an existing file, or what looks like a path.
    const bool against_file =
        other == "-" || fs::exists(other, error) || other.find('/') != std::string::npos ||
        (other.size() > 5 && other.compare(other.size() - 5, 5, ".json") == 0);
    std::optional<SettingsFile> file;
    if (against_file) {
      file = settings_from_json_text(read_input(other, STDIN_FILENO), input_name(other));
    }
    const auto wanted =
        against_file ? std::vector<std::string>{key} : std::vector<std::string>{key, other};
    context.start(wanted);
    const auto units = connected_units(wanted);
    const UiSettings left = unit_settings(units, key);
    const UiSettings right = file ? file->filled_from(left) : unit_settings(units, other);
    Json report = Json::array();
    const auto differences = diff_settings(left, right, engine().enum_options());
    for (const auto& difference : differences) {
      report.push_back(
          {{"field", difference.field}, {"left", difference.left}, {"right", difference.right}});
    }
    context.out << dump_json(report, 2) << "\n";
    return differences.empty() ? EXIT_OK : EXIT_DIFFERENT;
  });
}

int doctor_json(std::ostream& out) {
  const auto findings = run_doctor(doctor_roots_from_environment(), real_access_check);
  Json report = Json::array();
  bool problems = false;
  for (const auto& finding : findings) {
    report.push_back(
        {{"problem", finding.problem}, {"text", finding.text}, {"action", finding.action}});
    problems = problems || finding.problem;
  }
  out << dump_json(report, 2) << "\n";
  return problems ? EXIT_FAILED : EXIT_OK;
}

void add_show_commands(CLI::App& app, ManHelp& help, ShowOptions& options) {
  auto* save = app.get_subcommand("save");
  optional_positionals(*save);
  save->add_flag("--all", options.all, "save every unit into a show file");
  save->add_option("--name", options.name, "the show's name (default: the file name)")
      ->option_text("NAME");

  auto* set = app.get_subcommand("set");
  optional_positionals(*set);
  set->add_flag("--all", options.all, "change the fields on every unit");
  set->add_flag("--dry-run", options.dry_run, "print what would change and write nothing");

  auto* load = app.get_subcommand("load");
  load->add_option("--show", options.show, "write each unit in this show file")
      ->option_text("SHOW");
  load->add_option("--only", options.only, "with --show: only these units")->option_text("KEY...");
  load->add_flag("--dry-run", options.dry_run, "print what would change and write nothing");

  auto* diff = app.get_subcommand("diff");
  optional_positionals(*diff);
  diff->add_option("--show", options.show, "compare the units with this show file")
      ->option_text("SHOW");
  diff->add_flag("--json", options.json, "print the differences as JSON");

  app.get_subcommand("check")->add_flag("--json", options.json,
                                        "print key, acceptable and problems as JSON");
  app.get_subcommand("doctor")->add_flag("--json", options.json,
                                         "print the findings as a JSON array");

  auto* backups = app.add_subcommand("backups", "list the backups taken before writes");
  backups->add_option("KEY", options.unit, "only this unit's backups");
  help.describe("backups",
                "Lists the backups owlctl took before each write, newest first, per unit:\n"
                "the time (UTC) and the file. For a connected unit, each backup is\n"
                "followed by what restoring it would change (`FIELD: NOW -> BACKUP`).\n"
                "Backups are kept under $XDG_DATA_HOME/owl/backups/KEY/ (or\n"
                "~/.local/share/owl/backups/KEY/), shared with the desktop program.\n"
                "`owlctl undo KEY` restores the newest; `owlctl load KEY FILE` any other.");
  backups->footer(std::string(EXIT_STATUS) +
                  "\nEXAMPLES\n    owlctl backups\n    owlctl backups 0001A3F2\n");

  auto* undo_command = app.add_subcommand("undo",
                                          "restore a unit's settings from before the "
                                          "last write");
  undo_command->add_option("KEY", options.unit, "the unit")->required();
  undo_command->add_flag("--dry-run", options.dry_run, "print what would change and write nothing");
  help.describe("undo",
                "Restores the newest backup of the unit: its settings from before the last\n"
                "write. The settings it replaces are backed up first, so a second undo\n"
                "gives the last write back. Checks, writes and waits for the confirmation\n"
                "like `load`; with --dry-run only prints what would change.");
  undo_command->footer(std::string(EXIT_STATUS) +
                       "\nEXAMPLES\n    owlctl undo 0001A3F2 --dry-run\n    owlctl undo "
                       "0001A3F2\n");
}

std::optional<int> run_show_command(const std::string& command, const ShowOptions& options,
                                    const CommandWords& words, CommandContext& context) {
  const WriteFlags flags{options.dry_run, words.no_backup, words.keep_name, words.keep_charge,
                         words.any_unit};
  if (command == "backups") return list_backups_command(context, options.unit);
  if (command == "undo") return undo(context, options.unit, flags);
  if (command == "doctor")
    return options.json ? std::optional(doctor_json(context.out)) : std::nullopt;
  if (command == "save") {
    if (options.all) {
      if (words.key.empty() || !words.file.empty()) {
        throw usage_error("save --all takes one argument: the show file (see owlctl save --help)");
      }
      return save_all(context, words.key, options.name);
    }
    if (words.key.empty() || words.file.empty()) {
      throw usage_error("save takes KEY FILE, or --all SHOW (see owlctl save --help)");
    }
    if (!options.name.empty()) throw usage_error("--name is for save --all");
    return std::nullopt;
  }
  if (command == "set") {
    if (options.all) {
      // The first FIELD=VALUE took the place of the key.
      std::vector<std::string> assignments = words.assignments;
      if (!words.key.empty()) assignments.insert(assignments.begin(), words.key);
      if (assignments.empty()) throw usage_error("set --all takes FIELD=VALUE...");
      return set_all(context, assignments, flags);
    }
    if (words.key.empty() || words.assignments.empty()) {
      throw usage_error(
          "set takes KEY FIELD=VALUE..., or --all FIELD=VALUE... (see owlctl set "
          "--help)");
    }
    if (options.dry_run) return set_dry_run(context, words.key, words.assignments, flags);
    return std::nullopt;
  }
  if (command == "load") {
    if (!options.show.empty()) {
      if (!words.args.empty() || words.load_all) {
        throw usage_error("load --show takes only the show file (see owlctl load --help)");
      }
      if (words.load_json) throw usage_error("--json is for load KEY FILE and load --all FILE");
      return load_show(context, options.show, options.only, flags);
    }
    if (!options.only.empty()) throw usage_error("--only is for load --show");
    if (options.dry_run && words.load_json) throw usage_error("--json does not go with --dry-run");
    if (options.dry_run) return load_dry_run(context, words);
    return std::nullopt;
  }
  if (command == "diff") {
    if (!options.show.empty()) {
      if (!words.key.empty()) {
        throw usage_error("diff --show takes only the show file (see owlctl diff --help)");
      }
      return diff_show(context, options.show, options.json);
    }
    if (words.key.empty() || words.other.empty()) {
      throw usage_error(
          "diff takes KEY FILE, KEY OTHER_KEY or --show SHOW (see owlctl diff "
          "--help)");
    }
    if (options.json) return diff_json(context, words.key, words.other);
    return std::nullopt;
  }
  if (command == "check" && options.json) {
    return check_json(context, words.key, words.assignments, flags);
  }
  return std::nullopt;
}

}  // namespace owl::cli
