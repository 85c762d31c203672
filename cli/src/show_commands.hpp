#pragma once

#include <CLI/CLI.hpp>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "errors.hpp"
#include "man_help.hpp"
#include "records.hpp"
#include "session.hpp"

// The commands that work on many units or on what was written before: show files (save --all,
// load --show, diff --show), set --all, backups and undo, --dry-run on every writing command, and
// --json for check, diff and doctor.
namespace owl::cli {

// What the options these commands add were given on the command line.
struct ShowOptions {
  bool all = false;               // save --all, set --all
  std::string show;               // load --show, diff --show
  std::vector<std::string> only;  // load --show --only
  std::string name;               // save --all --name
  bool dry_run = false;           // set, load, undo
  bool json = false;              // check, diff, doctor
  std::string unit;               // backups [KEY], undo KEY
};

// What main parsed for its own commands, which these commands extend.
struct CommandWords {
  std::string key;
  std::string file;
  std::string other;
  std::vector<std::string> args;
  std::vector<std::string> assignments;
  bool load_all = false;
  bool keep_name = false;
  bool keep_charge = false;
  bool any_unit = false;
  bool no_backup = false;
  bool load_json = false;
};

// How the commands reach the units and the user. main starts the engine once per run; a test
// starts it once and runs several commands on the same simulated units.
struct CommandContext {
  Session& session;
  // Starts the engine and waits for the units (those named, or all when none are).
  std::function<void(const std::vector<std::string>& wanted)> start;
  // The failure for "no unit at all", with what may keep the units away.
  std::function<CliError()> none_found;
  std::filesystem::path backup_root;
  bool simulator = false;
  std::ostream& out;
  std::ostream& err;
};

struct WriteFlags {
  bool dry_run = false;
  bool no_backup = false;
  bool keep_name = false;
  bool keep_charge = false;
  bool any_unit = false;
};

// One unit's write: the settings it has and those to send.
struct UnitWrite {
  std::string key;
  UiSettings current;
  UiSettings form;
};

// The one road for writing many units, each its own settings: every unit is checked first and
// any refusal writes none; then each unit that changes is backed up, written, and confirmed.
// With flags.dry_run it prints what would change and writes nothing. Returns the exit status;
// failures throw CliError.
int write_units(CommandContext& context, const std::vector<UnitWrite>& writes,
                const WriteFlags& flags);

// Adds --all to save and set, --show/--only to load and diff, --dry-run to the writing commands,
// --json to check, diff and doctor, and the commands backups and undo. Called after main added
// its commands; their positional arguments become optional and are counted when run.
void add_show_commands(CLI::App& app, ManHelp& help, ShowOptions& options);

// Runs `command` when it is one of these or uses their options; nullopt leaves it to main.
std::optional<int> run_show_command(const std::string& command, const ShowOptions& options,
                                    const CommandWords& words, CommandContext& context);

// The commands, for main and for tests. Each returns the exit status or throws CliError.
int save_all(CommandContext& context, const std::string& path, const std::string& name);
int load_show(CommandContext& context, const std::string& path,
              const std::vector<std::string>& only, const WriteFlags& flags);
int set_all(CommandContext& context, const std::vector<std::string>& assignments,
            const WriteFlags& flags);
int diff_show(CommandContext& context, const std::string& path, bool json);
int list_backups_command(CommandContext& context, const std::string& key);
int undo(CommandContext& context, const std::string& key, const WriteFlags& flags);

// Plain set and load with --dry-run: what they would write, checked, and nothing written.
int set_dry_run(CommandContext& context, const std::string& key,
                const std::vector<std::string>& assignments, const WriteFlags& flags);
int load_dry_run(CommandContext& context, const CommandWords& words);

// --json forms of check, diff and doctor.
int check_json(CommandContext& context, const std::string& key,
               const std::vector<std::string>& assignments, const WriteFlags& flags);
int diff_json(CommandContext& context, const std::string& key, const std::string& other);
int doctor_json(std::ostream& out);

}  // namespace owl::cli
