#include "man_help.hpp"

#include <algorithm>
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

// Edits (insert, delete, replace, swap two neighbours) that turn a into b.
std::size_t edit_distance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

std::optional<std::string> closest_name(std::string_view word,
                                        const std::vector<std::string>& names) {
  std::optional<std::string> best;
  std::size_t best_distance = 0;
  for (const auto& name : names) {
    const std::size_t distance = edit_distance(word, name);
    // Two edits for longer words, one for short ones: "ls" is not a typo of "set".
    const std::size_t allowed = std::min<std::size_t>(2, std::max<std::size_t>(name.size(), 2) / 2);
    if (distance <= allowed && (!best || distance < best_distance)) {
      best = name;
      best_distance = distance;
    }
  }
  return best;
}

ManHelp::ManHelp() {
  label("Positionals", "ARGUMENTS");
  label("Options", "OPTIONS");
  label("SUBCOMMAND", "COMMAND");
  column_width(34);
}

void ManHelp::describe(const std::string& command, std::string text) {
  descriptions_[command] = std::move(text);
}

void ManHelp::synopsis(const std::string& command, std::string text) {
  synopses_[command] = std::move(text);
}

std::string ManHelp::make_option_opts(const CLI::Option* option) const {
  return option->get_option_text().empty() ? "" : " " + option->get_option_text();
}

std::string ManHelp::make_help(const CLI::App* app, std::string name,
                               CLI::AppFormatMode mode) const {
  if (mode == CLI::AppFormatMode::Sub) return CLI::Formatter::make_help(app, name, mode);
  std::string usage;
  if (auto it = synopses_.find(app->get_name()); it != synopses_.end()) {
    usage = it->second + "\n";
  } else {
    usage = make_usage(app, name);
    if (const auto colon = usage.find(':'); colon != std::string::npos) usage.erase(0, colon + 2);
  }
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
