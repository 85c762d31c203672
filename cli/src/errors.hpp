#pragma once

#include <string>

#include "user_error.hpp"

namespace owl::cli {

using frontend::failure;
using frontend::usage_error;

// Exit statuses of owlctl; scripts rely on them, so they never change meaning.
inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_FAILED = frontend::STATUS_FAILED;
inline constexpr int EXIT_USAGE = frontend::STATUS_USAGE;
inline constexpr int EXIT_NO_UNIT = 3;
// `diff` only: the two sides differ.
inline constexpr int EXIT_DIFFERENT = 1;

// What owlctl says after a refused or dry-run write, and after a write to a simulated unit.
inline constexpr const char* NOTHING_WRITTEN = "nothing was written";
inline constexpr const char* DRY_RUN_NOTE = "dry run: nothing was written";
inline constexpr const char* SIMULATOR_NOTE =
    "note: simulated units start afresh in every run of owlctl, so this write lasts only until "
    "owlctl exits";

// The EXIT STATUS section of every manual page.
inline constexpr const char* EXIT_STATUS =
    "EXIT STATUS\n"
    "    0  success\n"
    "    1  refused or failed; the reasons are on standard error\n"
    "    2  usage error\n"
    "    3  no such unit, or no unit found in time\n";

// A failure that ends the command with a message on standard error and the given status.
using CliError = frontend::UserError;

inline CliError no_unit(const std::string& message) {
  return {EXIT_NO_UNIT, message};
}

}  // namespace owl::cli
