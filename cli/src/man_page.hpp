#pragma once

#include <string>
#include <utility>
#include <vector>

// owlctl(1) is made from the program's own help texts, so the manual cannot say anything else
// than `owlctl --help` and `owlctl COMMAND --help`.
namespace owl::cli {

struct ManPageHeader {
  std::string title;     // OWLCTL
  std::string version;   // owlctl 0.1.0
  std::string date;      // 2026-12-07
  std::string see_also;  // roff for the SEE ALSO section; empty for none
};

// The command names listed in the COMMANDS section of the main help, in order.
std::vector<std::string> help_command_names(const std::string& main_help);

// One page in man(7) format: the sections of the main help, with COMMANDS replaced by one
// subsection per command that holds that command's help (less what repeats the main help).
std::string help_to_man(const ManPageHeader& header, const std::string& main_help,
                        const std::vector<std::pair<std::string, std::string>>& command_helps);

}  // namespace owl::cli
