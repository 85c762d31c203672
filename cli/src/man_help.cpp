#include "man_help.hpp"

#include <sstream>
#include <utility>

namespace owl::cli {
namespace {

std::string indent(const std::string& text) {
  std::stringstream in(text);
  std::string out;
  for (std::string line; std::getline(in, line);) {
    out += line.empty() ? "\n" : "    " + line + "\n";
  }
  return out;
}

}  // namespace

ManHelp::ManHelp() {
  label("Positionals", "ARGUMENTS");
  label("Options", "OPTIONS");
  label("SUBCOMMAND", "COMMAND");
  column_width(34);
}

void ManHelp::describe(const std::string& command, std::string text) {
  descriptions_[command] = std::move(text);
}

std::string ManHelp::make_help(const CLI::App* app, std::string name,
                               CLI::AppFormatMode mode) const {
  if (mode == CLI::AppFormatMode::Sub) return CLI::Formatter::make_help(app, name, mode);
  std::string usage = make_usage(app, name);
  if (const auto colon = usage.find(':'); colon != std::string::npos) usage.erase(0, colon + 2);
  std::string out =
      "NAME\n" + indent(name + " - " + app->get_description()) + "\nSYNOPSIS\n" + indent(usage);
  if (auto it = descriptions_.find(app->get_name()); it != descriptions_.end()) {
    out += "\nDESCRIPTION\n" + indent(it->second);
  }
  std::string lists = make_positionals(app) + make_groups(app, mode) + make_subcommands(app, mode);
  // CLI11 heads these lists with its group names; a manual page uses section titles.
  for (const auto& [from, to] :
       {std::pair<std::string, std::string>{"\nARGUMENTS:\n", "\nARGUMENTS\n"},
        {"\nOptions:\n", "\nOPTIONS\n"},
        {"\nSubcommands:\n", "\nCOMMANDS\n"}}) {
    if (const auto at = lists.find(from); at != std::string::npos)
      lists.replace(at, from.size(), to);
  }
  out += lists;
  if (!app->get_footer().empty()) out += "\n" + app->get_footer() + "\n";
  return out;
}

}  // namespace owl::cli
