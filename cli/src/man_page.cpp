#include "man_page.hpp"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace owl::cli {
namespace {

struct Section {
  std::string title;
  std::vector<std::string> lines;
};

// A help text is a series of sections: a title in capitals at the start of a line, then
// indented lines.
std::vector<Section> split_sections(const std::string& help) {
  std::vector<Section> sections;
  std::stringstream in(help);
  for (std::string line; std::getline(in, line);) {
    const bool title = !line.empty() && std::isupper(static_cast<unsigned char>(line[0])) &&
                       std::all_of(line.begin(), line.end(), [](char c) {
                         return std::isupper(static_cast<unsigned char>(c)) || c == ' ';
                       });
    if (title) {
      sections.push_back({line, {}});
    } else if (!sections.empty()) {
      sections.back().lines.push_back(line);
    }
  }
  for (auto& section : sections) {
    while (!section.lines.empty() &&
           section.lines.back().find_first_not_of(' ') == std::string::npos)
      section.lines.pop_back();
  }
  return sections;
}

std::size_t indent_of(const std::string& line) {
  const auto first = line.find_first_not_of(' ');
  return first == std::string::npos ? line.size() : first;
}

bool blank(const std::string& line) {
  return indent_of(line) == line.size();
}

std::string trim(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Text as roff shows it literally: no requests at line starts, no escapes, real minus signs
// in options, and quotes that stay ASCII.
std::string escape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '\\':
        out += "\\e";
        break;
      case '-':
        out += "\\-";
        break;
      case '`':
        out += "\\(ga";
        break;
      case '\'':
        out += "\\(aq";
        break;
      case '"':
        out += "\\(dq";
        break;
      default:
        out += c;
    }
  }
  if (!out.empty() && out[0] == '.') out.insert(0, "\\&");
  return out;
}

// A line "  NAME    description" of a CLI11 list, or "    0  success" of a table.
bool split_item(const std::string& line, std::string& name, std::string& text) {
  const std::string body = trim(line);
  const auto gap = body.find("  ");
  if (gap == std::string::npos) {
    name = body;
    text.clear();
    return false;
  }
  name = body.substr(0, gap);
  text = trim(body.substr(gap));
  return true;
}

void item(std::string& out, const std::string& name, const std::string& text) {
  out += ".TP\n\\fB" + escape(name) + "\\fR\n" + (text.empty() ? "" : escape(text) + "\n");
}

void render_body(std::string& out, const Section& section) {
  const auto& lines = section.lines;
  if (section.title == "SYNOPSIS" || section.title == "EXAMPLES") {
    out += ".PP\n.nf\n";
    for (const auto& line : lines) {
      if (!blank(line)) out += escape(trim(line)) + "\n";
    }
    out += ".fi\n";
    return;
  }
  // CLI11's lists put their entries two columns in; a long entry's description continues on
  // deeper lines.
  const bool list = std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return !blank(line) && indent_of(line) < 4;
  });
  if (list) {
    std::string name;
    std::string text;
    bool open = false;
    for (const auto& line : lines) {
      if (blank(line)) continue;
      if (indent_of(line) < 4) {
        if (open) item(out, name, text);
        split_item(line, name, text);
        open = true;
      } else if (open) {
        text += (text.empty() ? "" : " ") + trim(line);
      }
    }
    if (open) item(out, name, text);
    return;
  }
  // A table such as EXIT STATUS: every line a word, two spaces, and its meaning.
  const bool table = std::all_of(lines.begin(), lines.end(), [](const std::string& line) {
    std::string name;
    std::string text;
    return blank(line) || (split_item(line, name, text) && name.find(' ') == std::string::npos);
  });
  if (table && !lines.empty()) {
    for (const auto& line : lines) {
      std::string name;
      std::string text;
      if (split_item(line, name, text)) item(out, name, text);
    }
    return;
  }
  // Prose: a blank line ends a paragraph; roff fills the lines of each.
  bool paragraph = false;
  for (const auto& line : lines) {
    if (blank(line)) {
      paragraph = false;
      continue;
    }
    if (!paragraph) out += ".PP\n";
    paragraph = true;
    out += escape(trim(line)) + "\n";
  }
}

const Section* find_section(const std::vector<Section>& sections, const std::string& title) {
  for (const auto& section : sections) {
    if (section.title == title) return &section;
  }
  return nullptr;
}

std::string sentence_case(const std::string& title) {
  std::string out = title;
  std::transform(out.begin() + 1, out.end(), out.begin() + 1, [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  });
  return out;
}

void render_command(std::string& out, const std::string& name, const std::string& help,
                    const std::vector<Section>& main_sections) {
  out += ".SS \"" + escape(name) + "\"\n";
  for (const auto& section : split_sections(help)) {
    if (section.title == "NAME") {
      // "owlctl list - list the units found": the purpose leads the subsection.
      const std::string line = section.lines.empty() ? "" : trim(section.lines.front());
      const auto dash = line.find(" - ");
      if (dash != std::string::npos) out += escape(line.substr(dash + 3)) + "\n";
      continue;
    }
    // What every command's help repeats from the main page (EXIT STATUS) is said once there.
    const Section* same = find_section(main_sections, section.title);
    if (same != nullptr && same->lines == section.lines) continue;
    if (section.title != "SYNOPSIS" && section.title != "DESCRIPTION") {
      out += ".PP\n\\fI" + escape(sentence_case(section.title)) + "\\fR\n";
    }
    out += ".RS\n";
    render_body(out, section);
    out += ".RE\n";
  }
}

}  // namespace

std::vector<std::string> help_command_names(const std::string& main_help) {
  std::vector<std::string> names;
  for (const auto& section : split_sections(main_help)) {
    if (section.title != "COMMANDS") continue;
    for (const auto& line : section.lines) {
      if (blank(line) || indent_of(line) >= 4) continue;
      std::string name;
      std::string text;
      split_item(line, name, text);
      names.push_back(name);
    }
  }
  return names;
}

std::string help_to_man(const ManPageHeader& header, const std::string& main_help,
                        const std::vector<std::pair<std::string, std::string>>& command_helps) {
  const auto sections = split_sections(main_help);
  std::string out = ".TH \"" + escape(header.title) + "\" 1 \"" + escape(header.date) + "\" \"" +
                    escape(header.version) + "\" \"User Commands\"\n";
  // Field and option names must not be broken at line ends, nor words spread out to the margin.
  out += ".nh\n.ad l\n";
  for (const auto& section : sections) {
    out += ".SH \"" + escape(section.title) + "\"\n";
    if (section.title == "NAME") {
      // whatis(1) reads this line: "name \- purpose", unfilled.
      for (const auto& line : section.lines) {
        if (!blank(line)) out += escape(trim(line)) + "\n";
      }
    } else if (section.title == "COMMANDS") {
      for (const auto& [name, help] : command_helps) render_command(out, name, help, sections);
    } else {
      render_body(out, section);
    }
  }
  if (!header.see_also.empty()) out += ".SH \"SEE ALSO\"\n" + header.see_also + "\n";
  return out;
}

}  // namespace owl::cli
