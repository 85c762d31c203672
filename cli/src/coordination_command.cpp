#include "coordination_command.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <tuple>
#include <variant>

#include "analysis.hpp"
#include "backup.hpp"
#include "doctor.hpp"
#include "errors.hpp"
#include "owl_client.hpp"
#include "planner.hpp"
#include "records_json.hpp"
#include "scan.hpp"
#include "settings_file.hpp"
#include "show_commands.hpp"
#include "show_file.hpp"
#include "texts.hpp"
#include "unit_wait.hpp"

namespace owl::cli {
namespace {

namespace fs = std::filesystem;
using frontend::backup_root;
using frontend::join;
using frontend::settings_to_json;
using frontend::write_backup;
using nlohmann::ordered_json;

constexpr std::uint32_t DEFAULT_STEP_KHZ = 25;
// Wider steps plan nothing useful; the cap keeps the grid arithmetic far from overflow.
constexpr std::uint64_t MAX_STEP_KHZ = 100000;
constexpr std::uint64_t MAX_KHZ = 0xFFFFFFFFu;

const char* const PLAN_EXIT_STATUS =
    "EXIT STATUS\n"
    "    0  no conflict (with --max: the set was found)\n"
    "    1  there are conflicts\n"
    "    2  usage error, or a show or scan file cannot be read\n"
    "    3  no unit found in time\n";

const char* const COORDINATE_EXIT_STATUS =
    "EXIT STATUS\n"
    "    0  every channel was placed (and, with --apply, written and confirmed)\n"
    "    1  a channel could not be placed, or the write was refused or failed\n"
    "    2  usage error, or a show or scan file cannot be read\n"
    "    3  no unit found in time\n";

// What a command works on: the scenario for the library and where it came from.
struct Input {
  coord::Scenario scenario;
  std::optional<frontend::Show> show;
  fs::path show_path;
  std::optional<frontend::ScanRef> scan;      // as a show written from this input names it
  std::map<std::string, UiSettings> current;  // connected units only
};

std::uint64_t parse_whole(const std::string& text, const std::string& option, std::uint64_t max,
                          const std::string& what) {
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc{} || ptr != end || value > max) {
    throw usage_error(option + " takes " + what + ", not '" + text + "'");
  }
  return value;
}

std::uint32_t parse_khz(const std::string& text, const std::string& option) {
  const bool mhz = text.find('.') != std::string::npos;
  return static_cast<std::uint32_t>(
      parse_whole(text, option, MAX_KHZ,
                  std::string("a frequency in kHz, a whole number such as 470000") +
                      (mhz ? " (MHz times 1000)" : "")));
}

std::uint32_t step_of(const CoordinationOptions& options) {
  if (!options.step_given) return DEFAULT_STEP_KHZ;
  const auto step = parse_whole(options.step, "--step", MAX_STEP_KHZ,
                                "a step in kHz, a multiple of 5 such as 25");
  if (step == 0 || step % 5 != 0) {
    throw usage_error("--step must be a positive multiple of 5 kHz, not " + options.step);
  }
  return static_cast<std::uint32_t>(step);
}

double threshold_of(const CoordinationOptions& options) {
  if (!options.threshold_given) return coord::DEFAULT_SCAN_THRESHOLD_DBM;
  double value = 0;
  const std::string& text = options.threshold;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc{} || ptr != end || !std::isfinite(value)) {
    throw usage_error("--threshold takes a level in dBm such as -80, not '" + text + "'");
  }
  return value;
}

void check_scan_options(const CoordinationOptions& options) {
  if (options.threshold_given && options.scan.empty()) {
    throw usage_error("--threshold goes with --scan CSV (a show's own scan keeps its threshold)");
  }
}

frontend::Show read_show_file(const std::string& path, std::ostream& err) {
  auto read = frontend::read_show(path, frontend::settings_problems);
  if (auto* show = std::get_if<frontend::Show>(&read)) return std::move(*show);
  const auto& problems = std::get<std::vector<frontend::ShowProblem>>(read);
  for (std::size_t i = 0; i + 1 < problems.size(); ++i) {
    err << "owlctl: " << path << ": " << problems[i].text() << "\n";
  }
  throw usage_error(path + ": " + problems.back().text());
}

std::uint32_t json_khz(const nlohmann::ordered_json& object, const char* field) {
  const auto it = object.find(field);
  if (it == object.end() || !it->is_number_unsigned()) return 0;
  return static_cast<std::uint32_t>(it->get<std::uint64_t>());
}

coord::UnitPlan plan_from_show_unit(const frontend::ShowUnit& unit) {
  coord::UnitPlan plan{unit.key,
                       json_khz(unit.settings, "min_freq"),
                       json_khz(unit.settings, "max_freq"),
                       {},
                       unit.locked};
  const auto channels = unit.settings.find("channels");
  if (channels == unit.settings.end() || !channels->is_array()) return plan;
  for (const auto& channel : *channels) {
    const auto enable = channel.find("channel_enable");
    plan.channels.push_back({json_khz(channel, "frequency"), enable != channel.end() &&
                                                                 enable->is_boolean() &&
                                                                 enable->get<bool>()});
  }
  return plan;
}

coord::UnitPlan plan_from_settings(const std::string& key, const UiSettings& settings) {
  coord::UnitPlan plan{key, settings.min_freq, settings.max_freq, {}, false};
  for (const auto& channel : settings.channels) {
    plan.channels.push_back({channel.frequency, channel.channel_enable});
  }
  return plan;
}

// Scan ranges as exclusions: --scan when given, else the show's own scan.
void add_scan(Input& input, const CoordinationOptions& options, std::uint32_t step) {
  std::optional<fs::path> file;
  double threshold = coord::DEFAULT_SCAN_THRESHOLD_DBM;
  if (!options.scan.empty()) {
    file = options.scan;
    threshold = threshold_of(options);
    input.scan =
        frontend::ScanRef{fs::absolute(options.scan).lexically_normal().string(), threshold};
  } else if (input.show && input.show->scan) {
    file = frontend::scan_file(*input.show, input.show_path);
    threshold = input.show->scan->threshold_dbm;
    input.scan = input.show->scan;
  }
  if (!file) return;
  const auto read = coord::read_scan_csv(file->string());
  if (!read.error.empty()) throw usage_error(read.error);
  for (auto& range : coord::scan_exclusions(read.points, threshold, step)) {
    input.scenario.exclusions.push_back(std::move(range));
  }
}

Input from_show(const CoordinationOptions& options, std::uint32_t step, bool with_units,
                std::ostream& err) {
  Input input;
  input.show = read_show_file(options.show, err);
  input.show_path = options.show;
  const frontend::Show& show = *input.show;
  input.scenario.profile = show.profile;
  input.scenario.exclusions = show.exclusions;
  input.scenario.other_carriers = show.other_carriers;
  if (with_units) {
    for (const auto& unit : show.units) input.scenario.units.push_back(plan_from_show_unit(unit));
  }
  add_scan(input, options, step);
  return input;
}

std::vector<UnitInfo> connected_units(Connection& connection) {
  if (!connection.started) {
    connection.session.start(connection.simulator);
    connection.started = true;
    const auto wait = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(connection.wait_seconds));
    const auto sysfs = doctor_roots_from_environment().sysfs;
    connection.session.wait_for_units(
        connection.simulator, {}, [sysfs] { return candidate_ports(sysfs); }, Clock::now() + wait);
  }
  auto units = client::Client::instance().units_wait();
  if (units.empty()) {
    throw no_unit(
        "no unit found; run `owlctl doctor` to see what keeps the units away, or plan a show "
        "file offline with --show");
  }
  for (const auto& unit : units) {
    if (!unit.settings) throw no_unit(text::no_settings_yet(unit.key));
  }
  return units;
}

Input from_units(const CoordinationOptions& options, std::uint32_t step, Connection& connection) {
  Input input;
  // Read first: a scan that cannot be read should not wait for the units.
  add_scan(input, options, step);
  for (const auto& unit : connected_units(connection)) {
    input.scenario.units.push_back(plan_from_settings(unit.key, *unit.settings));
    input.current[unit.key] = *unit.settings;
  }
  return input;
}

std::string mhz(std::uint32_t khz) {
  return coord::mhz_text(khz);
}

std::string source_text(const coord::Source& source) {
  if (source.is_other()) return source.note.empty() ? "other carrier" : source.note;
  return source.key + " channel " + std::to_string(source.channel);
}

std::string sources_text(const coord::Carrier& carrier) {
  std::vector<std::string> parts;
  for (const auto& source : carrier.sources) parts.push_back(source_text(source));
  return join(parts, ", ");
}

ordered_json carrier_json(const coord::Carrier& carrier) {
  ordered_json units = ordered_json::array();
  for (const auto& source : carrier.sources) {
    if (source.is_other()) continue;
    units.push_back({{"key", source.key}, {"channel", source.channel}});
  }
  return {{"frequency_khz", carrier.frequency_khz}, {"units", std::move(units)}};
}

ordered_json conflict_json(const coord::Conflict& conflict) {
  ordered_json out = ordered_json::object();
  out["kind"] = std::string(coord::kind_name(conflict.kind));
  out["victim_khz"] = conflict.victim_khz;
  if (conflict.product_khz) out["product_khz"] = *conflict.product_khz;
  out["generators_khz"] = conflict.generators_khz;
  return out;
}

ordered_json conflicts_json(const coord::Analysis& analysis) {
  ordered_json out = ordered_json::array();
  for (const auto& conflict : analysis.conflicts) out.push_back(conflict_json(conflict));
  return out;
}

void print_conflicts(const coord::Analysis& analysis, const std::string& title, std::ostream& out) {
  if (analysis.conflicts.empty()) {
    out << "no conflicts\n";
    return;
  }
  out << title << " (" << analysis.conflicts.size() << "):\n";
  for (const auto& conflict : analysis.conflicts) {
    out << "  " << coord::describe(conflict, analysis) << "\n";
  }
  if (!analysis.complete) {
    out << "  ... and more intermodulation conflicts: only the first " << coord::MAX_CONFLICTS
        << " are listed\n";
  }
}

void print_analysis(const coord::Analysis& analysis, bool json, std::ostream& out) {
  if (json) {
    ordered_json carriers = ordered_json::array();
    for (const auto& carrier : analysis.carriers) carriers.push_back(carrier_json(carrier));
    ordered_json shared = ordered_json::array();
    for (const auto& carrier : analysis.shared) shared.push_back(carrier_json(carrier));
    ordered_json document = ordered_json::object();
    document["carriers"] = std::move(carriers);
    document["shared"] = std::move(shared);
    document["conflicts"] = conflicts_json(analysis);
    // Present only when the list was cut short, so the usual document keeps its three keys.
    if (!analysis.complete) document["conflicts_complete"] = false;
    out << dump_json(document, 2) << "\n";
    return;
  }
  out << "carriers (" << analysis.carriers.size() << "):\n";
  for (const auto& carrier : analysis.carriers) {
    out << "  " << mhz(carrier.frequency_khz) << " MHz  " << sources_text(carrier) << "\n";
  }
  if (!analysis.shared.empty()) {
    out << "shared (" << analysis.shared.size() << "):\n";
    for (const auto& carrier : analysis.shared) {
      out << "  " << mhz(carrier.frequency_khz) << " MHz  " << sources_text(carrier) << "\n";
    }
  }
  if (!analysis.duplicates.empty()) {
    out << "duplicates (" << analysis.duplicates.size() << "):\n";
    for (const auto& duplicate : analysis.duplicates) {
      std::vector<std::string> channels;
      for (const unsigned channel : duplicate.channels) channels.push_back(std::to_string(channel));
      out << "  " << mhz(duplicate.frequency_khz) << " MHz  " << duplicate.key << " channels "
          << join(channels, ", ") << "\n";
    }
  }
  print_conflicts(analysis, "conflicts", out);
}

int run_max(const CoordinationOptions& options, std::ostream& out, std::ostream& err) {
  if (!options.from_given || !options.to_given) {
    throw usage_error("--max needs --from KHZ and --to KHZ, e.g. --max --from 470000 --to 494000");
  }
  const std::uint32_t from = parse_khz(options.from, "--from");
  const std::uint32_t to = parse_khz(options.to, "--to");
  if (from > to) {
    throw usage_error("--from " + options.from + " is above --to " + options.to +
                      "; the range runs from the lower frequency to the higher");
  }
  const std::uint32_t step = step_of(options);
  Input input;
  if (!options.show.empty()) {
    input = from_show(options, step, false, err);
  } else {
    add_scan(input, options, step);
  }
  const coord::MaxSet set =
      coord::max_compatible_set(input.scenario, from, to, coord::PlanOptions{step, 0});
  if (!set.problems.empty()) throw usage_error(join(set.problems, "; "));
  if (options.json) {
    ordered_json document = ordered_json::object();
    document["frequencies_khz"] = set.frequencies_khz;
    document["count"] = set.frequencies_khz.size();
    out << dump_json(document, 2) << "\n";
    return EXIT_OK;
  }
  for (const std::uint32_t khz : set.frequencies_khz) out << mhz(khz) << " MHz\n";
  out << set.frequencies_khz.size()
      << (set.frequencies_khz.size() == 1 ? " compatible frequency in "
                                          : " compatible frequencies in ")
      << mhz(from) << "-" << mhz(to) << " MHz on the " << step << " kHz grid\n";
  return EXIT_OK;
}

int plan(const CoordinationOptions& options, Connection& connection, std::ostream& out,
         std::ostream& err) {
  check_scan_options(options);
  if (options.max) return run_max(options, out, err);
  if (options.from_given || options.to_given) {
    throw usage_error("--from and --to go with --max");
  }
  const std::uint32_t step = step_of(options);
  const Input input = options.show.empty() ? from_units(options, step, connection)
                                           : from_show(options, step, true, err);
  const coord::Analysis analysis = coord::analyse(input.scenario);
  print_analysis(analysis, options.json, out);
  return analysis.conflicts.empty() ? EXIT_OK : EXIT_FAILED;
}

void lock_kept(Input& input, const std::vector<std::string>& keep) {
  for (const auto& key : keep) {
    bool found = false;
    for (auto& unit : input.scenario.units) {
      if (unit.key != key) continue;
      unit.locked = true;
      found = true;
    }
    if (found) continue;
    std::vector<std::string> keys;
    for (const auto& unit : input.scenario.units) keys.push_back(unit.key);
    throw usage_error("--keep " + key + ": no such unit" +
                      (keys.empty() ? std::string(" (there are no units)")
                                    : " (units: " + join(keys, ", ") + ")"));
  }
}

void print_plan(const coord::Plan& plan, bool json, std::ostream& out) {
  if (json) {
    ordered_json assignments = ordered_json::array();
    for (const auto& a : plan.assignments) {
      assignments.push_back(
          {{"key", a.key}, {"channel", a.channel}, {"from_khz", a.from_khz}, {"to_khz", a.to_khz}});
    }
    ordered_json unplaced = ordered_json::array();
    for (const auto& u : plan.unplaced) {
      unplaced.push_back({{"key", u.key}, {"channel", u.channel}, {"reason", u.reason}});
    }
    ordered_json document = ordered_json::object();
    document["assignments"] = std::move(assignments);
    document["unplaced"] = std::move(unplaced);
    document["conflicts"] = conflicts_json(plan.analysis);
    out << dump_json(document, 2) << "\n";
    return;
  }
  // Locked and placed channels in one list, by key and channel.
  std::vector<std::tuple<std::string, unsigned, std::string>> lines;
  for (const auto& unit : plan.result.units) {
    if (!unit.locked) continue;
    for (std::size_t c = 0; c < unit.channels.size(); ++c) {
      if (!unit.channels[c].enabled) continue;
      lines.emplace_back(unit.key, static_cast<unsigned>(c + 1),
                         mhz(unit.channels[c].frequency_khz) + " MHz (locked)");
    }
  }
  std::size_t moved = 0;
  for (const auto& a : plan.assignments) {
    lines.emplace_back(a.key, a.channel,
                       mhz(a.from_khz) + " -> " + mhz(a.to_khz) + " MHz" +
                           (a.from_khz == a.to_khz ? " (unchanged)" : ""));
    if (a.from_khz != a.to_khz) ++moved;
  }
  std::sort(lines.begin(), lines.end());
  for (const auto& [key, channel, text] : lines) {
    out << key << " channel " << channel << ": " << text << "\n";
  }
  if (!plan.unplaced.empty()) {
    out << "not placed (" << plan.unplaced.size() << "):\n";
    for (const auto& u : plan.unplaced) {
      out << "  " << u.key << " channel " << u.channel << ": " << u.reason << "\n";
    }
  }
  out << plan.assignments.size() << " of " << plan.assignments.size() + plan.unplaced.size()
      << " channels placed, " << moved << " moved\n";
  print_conflicts(plan.analysis, "conflicts left", out);
}

// The show a coordination writes: the input show, or one made from the connected units, with
// the new frequencies and the scan that was used.
frontend::Show result_show(const Input& input, const coord::Plan& plan, const fs::path& out_path) {
  frontend::Show show;
  if (input.show) {
    show = *input.show;
  } else {
    for (const auto& [key, settings] : input.current) {
      show.units.push_back({key, false, settings_to_json(settings)});
    }
  }
  std::map<std::string, frontend::ShowUnit*> by_key;
  for (auto& unit : show.units) by_key[unit.key] = &unit;
  for (const auto& a : plan.assignments) {
    by_key.at(a.key)->settings["channels"].at(a.channel - 1)["frequency"] = a.to_khz;
  }
  show.scan = input.scan;
  // A relative scan path is read from the show's folder, so it must not change meaning when the
  // show is written elsewhere.
  if (show.scan && input.show && fs::path(show.scan->path).is_relative()) {
    const auto from = fs::absolute(input.show_path).parent_path().lexically_normal();
    const auto to = fs::absolute(out_path).parent_path().lexically_normal();
    if (from != to) show.scan->path = (from / show.scan->path).lexically_normal().string();
  }
  return show;
}

void apply_plan(const coord::Plan& plan, const Input& input, const CoordinationOptions& options,
                Connection& connection, std::ostream& out, std::ostream& err) {
  std::map<std::string, UiSettings> forms;
  for (const auto& a : plan.assignments) {
    if (a.from_khz == a.to_khz) continue;
    auto [it, fresh] = forms.try_emplace(a.key, input.current.at(a.key));
    it->second.channels.at(a.channel - 1).frequency = a.to_khz;
  }
  if (forms.empty()) {
    err << "owlctl: every channel keeps its frequency; nothing to write\n";
    return;
  }
  std::vector<UnitWrite> writes;
  for (auto& [key, form] : forms) writes.push_back({key, input.current.at(key), std::move(form)});
  // With --json the proposal is the output; what the write says goes with the messages.
  CommandContext context{connection.session,
                         [](const std::vector<std::string>&) {},
                         [] { return no_unit("no unit found"); },
                         backup_root(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")),
                         connection.simulator,
                         options.json ? err : out,
                         err};
  WriteFlags flags;
  flags.dry_run = options.dry_run;
  write_units(context, writes, flags);
}

int coordinate(const CoordinationOptions& options, Connection& connection, std::ostream& out,
               std::ostream& err) {
  check_scan_options(options);
  if (!options.out.empty() && options.apply) {
    throw usage_error("--out and --apply exclude each other: write a show file or the units");
  }
  if (!options.show.empty() && options.apply) {
    throw usage_error(
        "--apply writes the connected units, --show plans a show file offline; write the "
        "result with --out and then load it into the units");
  }
  const std::uint32_t step = step_of(options);
  const std::uint64_t seed = options.seed_given ? parse_whole(options.seed, "--seed", UINT64_MAX,
                                                              "a whole number such as 7")
                                                : 0;
  Input input = options.show.empty() ? from_units(options, step, connection)
                                     : from_show(options, step, true, err);
  lock_kept(input, options.keep);
  const coord::Plan plan = coord::coordinate(input.scenario, coord::PlanOptions{step, seed});
  if (!plan.problems.empty()) throw usage_error(join(plan.problems, "; "));
  print_plan(plan, options.json, out);
  const bool all_placed = plan.unplaced.empty();
  if (!options.out.empty()) {
    if (options.dry_run) {
      err << "owlctl: dry run: " << options.out << " was not written\n";
    } else {
      if (const auto problem =
              frontend::write_show(options.out, result_show(input, plan, options.out))) {
        throw failure(*problem);
      }
      err << "owlctl: wrote " << options.out << "\n";
    }
  }
  if (options.apply) {
    if (!all_placed) {
      throw failure(
          "not every channel could be placed, so nothing was written; keep fewer units with "
          "--keep, or change the plan and try again");
    }
    apply_plan(plan, input, options, connection, out, err);
  }
  return all_placed ? EXIT_OK : EXIT_FAILED;
}

std::string footer(const char* exit_status, const std::string& examples) {
  return std::string(exit_status) + "\nEXAMPLES\n" + examples;
}

void add_scan_options(CLI::App& command, CoordinationOptions& options) {
  command.add_option("--scan", options.scan, "a venue scan as CSV (frequency,level_dbm per line)")
      ->option_text("CSV");
  command
      .add_option("--threshold", options.threshold,
                  "scan level in dBm from which a signal counts (default -80)")
      ->option_text("DBM")
      ->each([&options](const std::string&) { options.threshold_given = true; });
}

void add_plan_command(CLI::App& app, ManHelp& help, CoordinationOptions& options) {
  auto* plan = app.add_subcommand("plan", "check the frequencies for spacing and intermodulation");
  plan->add_option("--show", options.show, "analyse this show file offline, without units")
      ->option_text("SHOW");
  add_scan_options(*plan, options);
  plan->add_flag("--max", options.max, "find the largest compatible set in --from..--to");
  plan->add_option("--from", options.from, "lowest frequency for --max, in kHz")
      ->option_text("KHZ")
      ->each([&options](const std::string&) { options.from_given = true; });
  plan->add_option("--to", options.to, "highest frequency for --max, in kHz")
      ->option_text("KHZ")
      ->each([&options](const std::string&) { options.to_given = true; });
  plan->add_option("--step", options.step,
                   "grid step in kHz for --max and scan ranges, a multiple of 5 (default 25)")
      ->option_text("KHZ")
      ->each([&options](const std::string&) { options.step_given = true; });
  plan->add_flag("--json", options.json, "print the result as JSON");
  help.synopsis("plan",
                "owlctl plan [--show SHOW] [--scan CSV [--threshold DBM]] [--json]\n"
                "owlctl plan --max --from KHZ --to KHZ [--step KHZ] [--show SHOW] [--json]");
  help.describe(
      "plan",
      "Lists the carriers (every distinct frequency of an enabled channel, and the show's\n"
      "other carriers), the frequencies that several units share, and every conflict:\n"
      "carriers closer than the carrier spacing (spacing), a carrier near a third-order\n"
      "product 2a-b (im3_2tone) or a+b-c (im3_3tone) or a fifth-order product 3a-2b\n"
      "(im5_2tone), a carrier in an exclusion or in a strong signal of the scan (exclusion,\n"
      "scan), and a channel outside its unit's range or off the 5 kHz step (band).\n\n"
      "Without --show it looks at the connected units with the default profile (spacing\n"
      "300 kHz, im3 2-tone 100 kHz, im3 3-tone 50 kHz, im5 off). With --show it reads the\n"
      "show file instead, with its profile, exclusions, other carriers and scan, and\n"
      "starts no engine: no unit needs to be connected. --scan (a relative path is taken\n"
      "from the current folder) and --threshold replace the show's scan.\n\n"
      "With --max, it finds the largest set of frequencies on the grid (multiples of\n"
      "--step) from --from to --to that has no conflict, with the show's profile,\n"
      "exclusions and other carriers when --show is given: how many packs fit in a TV\n"
      "channel. Frequencies on the command line are in kHz; text output is in MHz.\n\n"
      "JSON: {\"carriers\": [{\"frequency_khz\", \"units\": [{\"key\", \"channel\"}]}],\n"
      "\"shared\": [...], \"conflicts\": [{\"kind\", \"victim_khz\", \"product_khz\",\n"
      "\"generators_khz\"}]}, product_khz only for products; with --max\n"
      "{\"frequencies_khz\": [...], \"count\": N}. docs/coordination.md explains the rules.");
  plan->footer(footer(PLAN_EXIT_STATUS,
                      "    owlctl plan\n"
                      "    owlctl plan --show main-stage.json --json\n"
                      "    owlctl plan --show main-stage.json --scan venue.csv --threshold -75\n"
                      "    owlctl plan --max --from 470000 --to 476000\n"));
}

void add_coordinate_command(CLI::App& app, ManHelp& help, CoordinationOptions& options) {
  auto* coordinate = app.add_subcommand("coordinate", "propose compatible frequencies");
  coordinate->add_option("--show", options.show, "coordinate this show file offline")
      ->option_text("SHOW");
  add_scan_options(*coordinate, options);
  coordinate->add_option("--keep", options.keep, "leave this unit's frequencies as they are")
      ->option_text("KEY");
  coordinate->add_option("--step", options.step, "grid step in kHz, a multiple of 5 (default 25)")
      ->option_text("KHZ")
      ->each([&options](const std::string&) { options.step_given = true; });
  coordinate->add_option("--seed", options.seed, "another seed gives another plan (default 0)")
      ->option_text("N")
      ->each([&options](const std::string&) { options.seed_given = true; });
  coordinate->add_flag("--json", options.json, "print the proposal as JSON");
  coordinate->add_option("--out", options.out, "write the result as a show file")
      ->option_text("SHOW");
  coordinate->add_flag("--apply", options.apply, "write the new frequencies to the units");
  coordinate->add_flag("--dry-run", options.dry_run,
                       "with --apply or --out: check and print, but write nothing");
  help.synopsis("coordinate",
                "owlctl coordinate [--show SHOW] [--scan CSV [--threshold DBM]] [--keep KEY]...\n"
                "                  [--step KHZ] [--seed N] [--json] [--out SHOW | --apply]");
  help.describe(
      "coordinate",
      "Proposes a frequency for every enabled channel of every unit that is not locked\n"
      "in the show or kept with --keep, such that no rule of `owlctl plan` is broken:\n"
      "within each unit's range, on the grid (multiples of --step), outside exclusions\n"
      "and scan signals, clear of the kept units and other carriers, and never two\n"
      "channels on one frequency. A channel keeps its frequency when that already fits.\n"
      "Prints `KEY channel N: OLD -> NEW MHz` per channel, the channels that could not\n"
      "be placed with the rule that blocks them, and the conflicts left. The same input\n"
      "and --seed give the same proposal.\n\n"
      "Without --show it coordinates the connected units; with --show a show file,\n"
      "offline, with the show's profile, exclusions, other carriers, scan and locks.\n"
      "--out writes the result as a show file (from connected units: a show of them).\n"
      "--apply writes the new frequencies to the connected units, after the proposal\n"
      "was printed: every unit is checked first, each changed unit's settings are saved\n"
      "as a backup, and owlctl waits until every unit confirms; if any unit refuses, or\n"
      "a channel could not be placed, nothing is written. Only the frequencies change.\n\n"
      "JSON: {\"assignments\": [{\"key\", \"channel\", \"from_khz\", \"to_khz\"}],\n"
      "\"unplaced\": [{\"key\", \"channel\", \"reason\"}], \"conflicts\": [...]}, the\n"
      "conflicts as `owlctl plan --json` gives them, for the result.");
  coordinate->footer(footer(COORDINATE_EXIT_STATUS,
                            "    owlctl coordinate --show main-stage.json --out coordinated.json\n"
                            "    owlctl coordinate --keep 0001A3F2 --apply\n"
                            "    owlctl --simulator coordinate --json\n"));
}

}  // namespace

void add_coordination_commands(CLI::App& app, ManHelp& help, CoordinationOptions& options) {
  add_plan_command(app, help, options);
  add_coordinate_command(app, help, options);
}

int run_plan(const CoordinationOptions& options, Connection& connection, std::ostream& out,
             std::ostream& err) {
  // 1 means "there are conflicts", so failing to analyse at all says 2.
  try {
    return plan(options, connection, out, err);
  } catch (const CliError& error) {
    if (error.status() != EXIT_FAILED) throw;
    throw CliError(EXIT_USAGE, error.what());
  } catch (const client::EnginePanic& panic) {
    throw CliError(EXIT_USAGE, std::string("the engine failed: ") + panic.what());
  }
}

int run_coordinate(const CoordinationOptions& options, Connection& connection, std::ostream& out,
                   std::ostream& err) {
  return coordinate(options, connection, out, err);
}

}  // namespace owl::cli
