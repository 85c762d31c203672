#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "backup.hpp"
#include "doctor.hpp"
#include "errors.hpp"
#include "form.hpp"
#include "man_help.hpp"
#include "owl_client.hpp"
#include "records_json.hpp"
#include "session.hpp"

namespace owl::cli {
namespace {

namespace fs = std::filesystem;

// The engine reports a write's outcome within about 7 s; this only guards against a lost event.
constexpr auto CONFIRM_TIMEOUT = std::chrono::seconds(20);
constexpr auto REPORT_TIMEOUT = std::chrono::seconds(3);

struct Options {
  bool simulator = false;
  double wait_seconds = 5.0;
  bool json = false;
  std::string key;
  std::string other;
  std::string file;
  std::vector<std::string> args;
  std::vector<std::string> assignments;
  bool keep_name = false;
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

std::string read_file(const std::string& path) {
  if (path == "-") {
    return {std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
  }
  std::error_code error;
  if (fs::is_directory(path, error)) throw failure(path + ": is a directory");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw failure("cannot read " + path + ": " + std::strerror(errno));
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes through a temporary file so that a failed save never leaves half a file behind.
void write_file(const std::string& path, const std::string& text) {
  if (path == "-") {
    print_out(text);
    return;
  }
  const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
      std::remove(temporary.c_str());
      throw failure("cannot write " + path + ": " + std::strerror(errno));
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
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
    session_.wait_for_units(options_.simulator, wanted, Clock::now() + wait);
  }

  Session& session() { return session_; }

  std::vector<UnitInfo> units() { return client::Client::instance().units_wait(); }

  // The unit with its reported settings, or status 3 with what was found instead.
  UnitInfo unit(const std::string& key) {
    const auto all = units();
    for (const auto& unit : all) {
      if (unit.key != key) continue;
      if (!unit.settings) throw no_unit("unit " + key + " has not reported its settings yet");
      return unit;
    }
    std::vector<std::string> keys;
    for (const auto& unit : all) keys.push_back(unit.key);
    throw no_unit("no unit " + key + " found" +
                  (keys.empty() ? std::string(within()) : " (units: " + join(keys, ", ") + ")") +
                  port_problem_hint());
  }

  std::string within() const {
    std::ostringstream text;
    text << " within " << options_.wait_seconds << " s";
    return text.str();
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

// What check_settings must see to decide as the write will: the write keeps the unit's name or
// charge when asked to, so the check must too.
UiSettings as_written(UiSettings form, const UiSettings& current, bool keep_name,
                      bool keep_charge) {
  if (keep_name) form.unit_name = current.unit_name;
  if (keep_charge) form.charge = current.charge;
  return form;
}

void refuse_if_problems(const std::string& key, const std::vector<std::string>& problems) {
  if (problems.empty()) return;
  for (const auto& problem : problems) print_err(key + ": " + problem);
  throw CliError(EXIT_FAILED, "");
}

void back_up(const Options& options, const std::string& key, const UiSettings& current) {
  if (options.no_backup) return;
  const auto root = backup_root(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
  const auto path = write_backup(root, key, current, std::time(nullptr));
  print_err("saved the settings of " + key + " to " + path.string() + " (undo with: owlctl load " +
            key + " " + path.string() + ")");
}

// Waits for every unit's write outcome and then for the settings it reported after it.
std::map<std::string, UiSettings> confirm(Engine& engine, const std::vector<std::string>& keys,
                                          std::size_t start) {
  Spinner spinner("waiting for " + join(keys, ", ") + " to confirm the write");
  Session& session = engine.session();
  std::map<std::string, UiSettings> reported;
  std::vector<std::string> failures;
  const auto deadline = Clock::now() + CONFIRM_TIMEOUT;
  for (const auto& key : keys) {
    std::size_t cursor = start;
    const auto outcome = session.wait_for(
        cursor,
        [&](const UiEvent& event) {
          if (const auto* result = std::get_if<ui_event::WriteResult>(&event)) {
            return result->key == key;
          }
          const auto* stopped = std::get_if<ui_event::Stopped>(&event);
          return stopped != nullptr && stopped->key == key;
        },
        deadline);
    if (!outcome) {
      failures.push_back(key + ": no confirmation arrived");
      continue;
    }
    if (const auto* stopped = std::get_if<ui_event::Stopped>(&*outcome)) {
      failures.push_back(key + ": the unit went away: " + stopped->reason);
      continue;
    }
    const auto& result = std::get<ui_event::WriteResult>(*outcome);
    if (!result.ok) {
      failures.push_back(key + ": " + result.message);
      continue;
    }
    auto is_report = [&](const UiEvent& event) {
      const auto* settings = std::get_if<ui_event::Settings>(&event);
      return settings != nullptr && settings->key == key;
    };
    auto report = session.wait_for(cursor, is_report, Clock::now() + REPORT_TIMEOUT);
    if (!report) {
      client::Client::instance().refresh_unit_wait(key);
      report = session.wait_for(cursor, is_report, Clock::now() + REPORT_TIMEOUT);
    }
    reported[key] =
        report ? std::get<ui_event::Settings>(*report).settings : *engine.unit(key).settings;
  }
  if (!failures.empty()) {
    for (const auto& failure_text : failures) print_err(failure_text);
    throw CliError(EXIT_FAILED, "");
  }
  return reported;
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
  if (units.empty()) throw no_unit("no unit found" + engine.within() + engine.port_problem_hint());
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

int run_load(const Options& options, Session& session) {
  std::string key;
  std::string file;
  if (options.all) {
    if (options.args.size() != 1) throw usage_error("load --all takes one FILE");
    file = options.args[0];
  } else {
    if (options.args.size() != 2) throw usage_error("load takes KEY FILE, or --all FILE");
    key = options.args[0];
    file = options.args[1];
  }
  // The file is read before the engine starts, so a bad file can never lead to a write.
  const UiSettings form = settings_from_json_text(read_file(file), file);
  Engine engine(options, session);
  engine.start(options.all ? std::vector<std::string>{} : std::vector<std::string>{key});
  auto& client = client::Client::instance();
  std::vector<std::string> keys;
  std::map<std::string, UiSettings> current;
  if (options.all) {
    for (const auto& unit : engine.units()) {
      if (!unit.settings) throw no_unit("unit " + unit.key + " has not reported its settings yet");
      keys.push_back(unit.key);
      current[unit.key] = *unit.settings;
    }
    if (keys.empty()) throw no_unit("no unit found" + engine.within() + engine.port_problem_hint());
  } else {
    current[key] = *engine.unit(key).settings;
    keys.push_back(key);
  }
  // Every unit is checked before anything is written, so a refusal leaves no stray backup.
  bool refused = false;
  for (const auto& unit_key : keys) {
    const bool keep_name = options.all || options.keep_name;
    const auto problems = client.check_settings_wait(
        unit_key, as_written(form, current[unit_key], keep_name, options.keep_charge));
    for (const auto& problem : problems) print_err(unit_key + ": " + problem);
    refused = refused || !problems.empty();
  }
  if (refused) throw failure("nothing was written");
  for (const auto& unit_key : keys) back_up(options, unit_key, current[unit_key]);
  const std::size_t start = engine.session().cursor();
  if (options.all) {
    const auto reports = client.write_all_settings_wait(form, options.keep_charge);
    for (const auto& report : reports) {
      for (const auto& problem : report.problems) {
        print_err((report.key.empty() ? std::string() : report.key + ": ") + problem);
      }
    }
    if (!reports.empty()) throw failure("nothing was written");
  } else {
    refuse_if_problems(
        key, client.write_settings_wait(key, form, options.keep_name, options.keep_charge));
  }
  confirm(engine, keys, start);
  for (const auto& unit_key : keys) print_out(unit_key + ": confirmed\n");
  return EXIT_OK;
}

int run_diff(const Options& options, Session& session) {
  std::error_code error;
  const bool against_file = fs::exists(options.other, error);
  std::optional<nlohmann::json> file_value;
  UiSettings right;
  if (against_file) {
    try {
      file_value = nlohmann::json::parse(read_file(options.other));
    } catch (const nlohmann::json::parse_error& parse_error) {
      throw failure(options.other + ": not valid JSON: " + parse_error.what());
    }
    right = settings_from_json(*file_value, options.other);
  }
  Engine engine(options, session);
  engine.start(against_file ? std::vector<std::string>{options.key}
                            : std::vector<std::string>{options.key, options.other});
  const UiSettings left = *engine.unit(options.key).settings;
  if (against_file) {
    // A file may leave out what the unit keeps anyway; that is no difference.
    if (!file_value->contains("serial")) right.serial = left.serial;
    if (!file_value->contains("min_freq")) right.min_freq = left.min_freq;
    if (!file_value->contains("max_freq")) right.max_freq = left.max_freq;
  } else {
    right = *engine.unit(options.other).settings;
  }
  for (const auto& difference : diff_settings(left, right)) {
    print_out(difference.field + ": " + difference.left + " | " + difference.right + "\n");
  }
  return EXIT_OK;
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
  session.start(options.simulator, [json](const UiEvent& event) {
    print_out((json ? dump_json(event_to_json(event)) : event_line(event)) + "\n");
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

const char* const EXIT_STATUS =
    "EXIT STATUS\n"
    "    0  success\n"
    "    1  refused or failed; the reasons are on standard error\n"
    "    2  usage error\n"
    "    3  no such unit, or no unit found in time\n";

std::string footer(const std::string& examples) {
  return std::string(EXIT_STATUS) + "\nEXAMPLES\n" + examples;
}

int run(int argc, char** argv, Session& session) {
  Options options;
  auto help = std::make_shared<ManHelp>();
  CLI::App app("configure OWL wireless audio receiver units", "owlctl");
  app.formatter(help);
  app.fallthrough();
  app.require_subcommand(1);
  app.add_flag("--simulator", options.simulator,
               "use two simulated units (SIM0001, SIM0002) instead of hardware");
  app.add_option("--wait", options.wait_seconds, "seconds to wait for units to appear (default 5)")
      ->check(CLI::NonNegativeNumber);
  help->describe("owlctl",
                 "Starts the OWL engine, waits until the units connected by USB have reported\n"
                 "their settings, runs one command and exits. Units are named by their key: the\n"
                 "USB serial number, or SIM0001/SIM0002 with --simulator. Every write is\n"
                 "confirmed by the unit before owlctl exits, and the previous settings are\n"
                 "saved under $XDG_DATA_HOME/owl/backups/KEY/ first.\n"
                 "Run `owlctl COMMAND --help` for each command's manual.");
  app.footer(footer("    owlctl list\n    owlctl --simulator set SIM0001 delay_ms=120\n"));

  auto* list = app.add_subcommand("list", "list the units found");
  list->add_flag("--json", options.json, "print the unit records as a JSON array");
  help->describe("list",
                 "One line per unit: key, unit name, where it is connected (device path or\n"
                 "\"simulator\"), the identity it reported, and its channel count.");
  list->footer(footer("    owlctl list\n    owlctl --simulator list --json\n"));

  auto* show = app.add_subcommand("show", "print a unit's settings as JSON");
  show->add_option("KEY", options.key, "the unit")->required();
  help->describe("show",
                 "Prints the settings the unit last reported, in the unit's own field\n"
                 "names, as the engine renders them.");
  show->footer(footer("    owlctl show 0001A3F2\n"));

  const std::string assignment_help =
      "Fields, by the names `save` writes: unit_name, voice_prompts, boot_announce,\n"
      "delay_ms, hph_mode, led, charge, squelch, ab_button, star_button, rf_mode,\n"
      "compander, battery_type, encryption (6 hex digits), audio_eq, gain_boost, and per\n"
      "channel channel.N.frequency (kHz), channel.N.delay, channel.N.voting,\n"
      "channel.N.enable (true/false). Option names are case-insensitive (stereo, STEREO).\n"
      "serial, min_freq and max_freq are the unit's own and cannot be changed.";
  auto* check = app.add_subcommand("check", "check changes to a unit's settings without writing");
  check->add_option("KEY", options.key, "the unit")->required();
  check->add_option("FIELD=VALUE", options.assignments, "the changes")->required();
  check->add_flag("--keep-name", options.keep_name, "check as if the unit keeps its name");
  check->add_flag("--keep-charge", options.keep_charge,
                  "check as if the unit keeps its charge mode");
  help->describe("check",
                 "Applies the changes to the unit's current settings and asks the engine\n"
                 "whether the unit would accept them. Nothing is written.\n\n" +
                     assignment_help);
  check->footer(footer("    owlctl check 0001A3F2 delay_ms=120 channel.3.frequency=216000\n"));

  auto* set = app.add_subcommand("set", "change fields of a unit's settings");
  set->add_option("KEY", options.key, "the unit")->required();
  set->add_option("FIELD=VALUE", options.assignments, "the changes")->required();
  set->add_flag("--keep-name", options.keep_name, "keep the unit's current name");
  set->add_flag("--keep-charge", options.keep_charge, "keep the unit's current charge mode");
  set->add_flag("--no-backup", options.no_backup, "do not save the current settings first");
  help->describe("set",
                 "Applies the changes to the unit's current settings, checks them, saves\n"
                 "the current settings as a backup, writes, waits until the unit confirms,\n"
                 "and prints each changed field as the unit reported it back.\n\n" +
                     assignment_help);
  set->footer(
      footer("    owlctl set 0001A3F2 delay_ms=120 hph_mode=stereo\n"
             "    owlctl set 0001A3F2 channel.2.enable=true channel.2.frequency=216000\n"));

  auto* save = app.add_subcommand("save", "save a unit's settings to a file");
  save->add_option("KEY", options.key, "the unit")->required();
  save->add_option("FILE", options.file, "where to write (- for standard output)")->required();
  help->describe("save",
                 "Writes the unit's settings as a JSON object with the field names that\n"
                 "`set` accepts; `load` writes such a file back.");
  save->footer(footer("    owlctl save 0001A3F2 stage-left.json\n"));

  auto* load = app.add_subcommand("load", "write a settings file to a unit or to every unit");
  load->add_option("ARGS", options.args, "KEY FILE, or FILE with --all (- reads standard input)")
      ->required()
      ->expected(1, 2);
  load->add_flag("--all", options.all, "write to every unit; each keeps its own name");
  load->add_flag("--keep-name", options.keep_name, "keep the unit's current name");
  load->add_flag("--keep-charge", options.keep_charge, "keep each unit's current charge mode");
  load->add_flag("--no-backup", options.no_backup, "do not save the current settings first");
  help->describe("load",
                 "Reads a file made by `save` (or a backup) and writes it to the unit, or with\n"
                 "--all to every unit at once: if any unit refuses, nothing is written to any.\n"
                 "A malformed file (bad JSON, wrong types, unknown or missing fields) is refused\n"
                 "before anything is written. Waits until every unit confirms.");
  load->footer(
      footer("    owlctl load 0001A3F2 stage-left.json\n    owlctl load --all show.json\n"));

  auto* watch = app.add_subcommand("watch", "print the engine's events until interrupted");
  watch->add_flag("--json", options.json, "print one JSON object per line");
  help->describe("watch",
                 "Prints one line per event (unit announced, stopped, settings, identity,\n"
                 "write result, port problems) until SIGINT or SIGTERM, then exits 0.");
  watch->footer(footer("    owlctl watch\n    owlctl --simulator watch --json\n"));

  auto* diff = app.add_subcommand("diff", "compare a unit's settings with a file or another unit");
  diff->add_option("KEY", options.key, "the unit")->required();
  diff->add_option("OTHER", options.other, "a settings file, or another unit's key")->required();
  help->describe("diff",
                 "Prints each field that differs as `FIELD: LEFT | RIGHT`, the unit named\n"
                 "by KEY on the left. OTHER is read as a file when such a file exists.");
  diff->footer(
      footer("    owlctl diff 0001A3F2 stage-left.json\n    owlctl diff 0001A3F2 0001A3F3\n"));

  auto* doctor = app.add_subcommand("doctor", "find what keeps you from reaching the units");
  help->describe("doctor",
                 "Looks at this machine without starting the engine: unit ports in sysfs,\n"
                 "whether you may open them, whether the udev rule is installed, and whether\n"
                 "ModemManager is running; each problem comes with what to do. Exits 1 when\n"
                 "a problem was found.");
  doctor->footer(footer("    owlctl doctor\n"));

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    print_out(app.help());
    return EXIT_OK;
  } catch (const CLI::CallForAllHelp&) {
    print_out(app.help("", CLI::AppFormatMode::All));
    return EXIT_OK;
  } catch (const CLI::ParseError& error) {
    print_err(std::string(error.what()) + " (see owlctl --help)");
    return EXIT_USAGE;
  }

  if (list->parsed()) return run_list(options, session);
  if (show->parsed()) return run_show(options, session);
  if (check->parsed()) return run_check_or_set(options, session, false);
  if (set->parsed()) return run_check_or_set(options, session, true);
  if (save->parsed()) return run_save(options, session);
  if (load->parsed()) return run_load(options, session);
  if (watch->parsed()) return run_watch(options, session);
  if (diff->parsed()) return run_diff(options, session);
  if (doctor->parsed()) return run_doctor(options);
  throw usage_error("no command given (see owlctl --help)");
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
