#pragma once

#include <CLI/CLI.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "man_help.hpp"
#include "session.hpp"

// `owlctl plan` and `owlctl coordinate`: frequency coordination of the connected units or of a
// show file, through the coordination library.
namespace owl::cli {

// The command line as given; numbers stay text until they are checked, so that a bad value gets
// a plain message rather than CLI11's.
struct CoordinationOptions {
  std::string show;
  std::string scan;
  std::string threshold;
  std::string step;
  std::string seed;
  std::vector<std::string> keep;
  std::string out;
  bool apply = false;
  bool dry_run = false;
  bool json = false;
  bool max = false;
  std::string from;
  std::string to;
  // Which options were given, as an empty value is a mistake and not the default.
  bool threshold_given = false;
  bool step_given = false;
  bool seed_given = false;
  bool from_given = false;
  bool to_given = false;
};

// How the commands reach connected units. The engine starts on first use only: with --show or
// --max nothing is started at all.
struct Connection {
  Session& session;
  bool simulator = false;
  double wait_seconds = 5.0;
  bool started = false;
};

// Adds `plan` and `coordinate` to the command line; their help texts go into `help`.
void add_coordination_commands(CLI::App& app, ManHelp& help, CoordinationOptions& options);

// Exit status: 0 no conflict, 1 conflicts, 2 usage error or unreadable input, 3 no unit.
// Failures are thrown as CliError.
int run_plan(const CoordinationOptions& options, Connection& connection, std::ostream& out,
             std::ostream& err);

// Exit status: 0 every channel placed (and written, with --apply), 1 not every channel placed or
// the write was refused or failed, 2 usage error or unreadable input, 3 no unit.
int run_coordinate(const CoordinationOptions& options, Connection& connection, std::ostream& out,
                   std::ostream& err);

}  // namespace owl::cli
