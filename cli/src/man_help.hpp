#pragma once

#include <CLI/CLI.hpp>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Help text laid out like a manual page: NAME, SYNOPSIS, DESCRIPTION, OPTIONS, COMMANDS, then the
// command's footer (EXIT STATUS, EXAMPLES).
namespace owl::cli {

class ManHelp : public CLI::Formatter {
 public:
  ManHelp();
  // The DESCRIPTION section of the (sub)command with this name.
  void describe(const std::string& command, std::string text);
  // A SYNOPSIS written by hand, one form per line, for commands whose arguments depend on options.
  void synopsis(const std::string& command, std::string text);
  std::string make_help(const CLI::App* app, std::string name,
                        CLI::AppFormatMode mode) const override;
  // Only the value's name where one was given: "TEXT REQUIRED" and the like say nothing to a user.
  std::string make_option_opts(const CLI::Option* option) const override;

 private:
  std::map<std::string, std::string> descriptions_;
  std::map<std::string, std::string> synopses_;
};

// The name closest to a mistyped word, when it is near enough to be what was meant.
std::optional<std::string> closest_name(std::string_view word,
                                        const std::vector<std::string>& names);

}  // namespace owl::cli
