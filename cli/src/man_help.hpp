#pragma once

#include <CLI/CLI.hpp>
#include <map>
#include <string>

// Help text laid out like a manual page: NAME, SYNOPSIS, DESCRIPTION, OPTIONS, COMMANDS, then the
// command's footer (EXIT STATUS, EXAMPLES).
namespace owl::cli {

class ManHelp : public CLI::Formatter {
 public:
  ManHelp();
  // The DESCRIPTION section of the (sub)command with this name.
  void describe(const std::string& command, std::string text);
  std::string make_help(const CLI::App* app, std::string name,
                        CLI::AppFormatMode mode) const override;

 private:
  std::map<std::string, std::string> descriptions_;
};

}  // namespace owl::cli
