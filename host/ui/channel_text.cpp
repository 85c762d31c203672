#include "ui/channel_text.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <limits>

namespace owl::desktop {

namespace {

// Up to this, a whole number is MHz: no unit tunes below 10 MHz, and a spreadsheet shows
// 217.000 as 217.
constexpr std::uint64_t KHZ_THRESHOLD = 10000;

enum Column { ChannelCol, FrequencyCol, DelayCol, VotingCol, EnabledCol, ColumnCount };

constexpr std::string_view POSITIONAL_HINT =
    "a line has 5 columns (Channel, Frequency (MHz), Delay, Voting, Enabled) or only a "
    "frequency";

char lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view trimmed(std::string_view s) {
  auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && space(s.front())) s.remove_prefix(1);
  while (!s.empty() && space(s.back())) s.remove_suffix(1);
  // A spreadsheet quotes a cell it thinks needs it.
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = trimmed(s.substr(1, s.size() - 2));
  return s;
}

std::string lowered(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), lower);
  return out;
}

bool ends_with_word(std::string& text, std::string_view word) {
  if (text.size() < word.size() || text.compare(text.size() - word.size(), word.size(), word) != 0)
    return false;
  text.resize(text.size() - word.size());
  text = std::string(trimmed(text));
  return true;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const auto at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

std::string range_text(std::uint32_t lo, std::uint32_t hi) {
  return mhz_string(lo) + "–" + mhz_string(hi) + " MHz";
}

std::optional<bool> read_flag(std::string_view text) {
  const std::string t = lowered(text);
  if (t == "yes" || t == "true" || t == "1" || t == "on") return true;
  if (t == "no" || t == "false" || t == "0" || t == "off") return false;
  return std::nullopt;
}

std::optional<Column> column_named(std::string_view heading) {
  std::string name = lowered(trimmed(heading));
  // "Frequency (MHz)": the unit in brackets says nothing the values do not.
  if (const auto bracket = name.find('('); bracket != std::string::npos) {
    name = std::string(trimmed(std::string_view(name).substr(0, bracket)));
  }
  // Not "no" or "on": a line of flags must not pass for a heading.
  static const std::pair<std::string_view, Column> names[] = {
      {"channel", ChannelCol}, {"channel number", ChannelCol},
      {"chan", ChannelCol},    {"ch", ChannelCol},
      {"#", ChannelCol},       {"number", ChannelCol},
      {"delay", DelayCol},     {"voting", VotingCol},
      {"vote", VotingCol},     {"enabled", EnabledCol},
      {"enable", EnabledCol},
  };
  for (const auto& [n, column] : names) {
    if (name == n) return column;
  }
  if (name.rfind("freq", 0) == 0 || name == "mhz" || name == "khz") return FrequencyCol;
  return std::nullopt;
}

// A first line is a heading when it names at least one column and holds no number.
bool is_heading(const std::vector<std::string_view>& cells) {
  bool named = false;
  for (auto cell : cells) {
    const auto t = trimmed(cell);
    if (!t.empty() && is_digit(t.front())) return false;
    named = named || column_named(t).has_value();
  }
  return named;
}

// The column each cell of a data line feeds, by the heading or by position.
struct Layout {
  std::vector<std::optional<Column>> columns;
};

std::optional<ChannelTextError> heading_layout(const std::vector<std::string_view>& cells,
                                               Layout& layout) {
  std::array<bool, ColumnCount> seen{};
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const auto name = trimmed(cells[i]);
    const int column = static_cast<int>(i) + 1;
    if (name.empty()) {
      layout.columns.push_back(std::nullopt);
      continue;
    }
    const auto c = column_named(name);
    if (!c) {
      return ChannelTextError{1, column,
                              "unknown column \"" + std::string(name) +
                                  "\"; the columns are Channel, Frequency (MHz), Delay, Voting, "
                                  "Enabled"};
    }
    if (seen[*c]) {
      return ChannelTextError{1, column, "column \"" + std::string(name) + "\" given twice"};
    }
    seen[*c] = true;
    layout.columns.push_back(*c);
  }
  return std::nullopt;
}

}  // namespace

std::string mhz_string(std::uint32_t khz) {
  std::string frac = std::to_string(khz % 1000);
  frac.insert(0, 3 - frac.size(), '0');
  return std::to_string(khz / 1000) + "." + frac;
}

std::string frequency_problem(std::uint32_t khz, std::uint32_t min_khz, std::uint32_t max_khz) {
  if (khz < min_khz || khz > max_khz) {
    return mhz_string(khz) + " MHz is outside this unit's " + range_text(min_khz, max_khz) +
           " range";
  }
  if (khz % CHANNEL_STEP_KHZ != 0) {
    return mhz_string(khz) + " MHz is not on the " + std::to_string(CHANNEL_STEP_KHZ) + " kHz step";
  }
  return {};
}

FrequencyRead read_frequency(std::string_view text, std::uint32_t min_khz, std::uint32_t max_khz) {
  const std::string shown(trimmed(text));
  std::string t = lowered(shown);
  enum { Either, Mhz, Khz } unit = Either;
  if (ends_with_word(t, "mhz")) {
    unit = Mhz;
  } else if (ends_with_word(t, "khz")) {
    unit = Khz;
  }
  const FrequencyRead unreadable{
      std::nullopt, "\"" + shown + "\": type MHz (216.500) or kHz as a whole number (216500)"};
  const auto point = t.find_first_of(".,");
  const std::string_view whole = std::string_view(t).substr(0, point);
  const std::string_view decimals =
      point == std::string::npos ? std::string_view() : std::string_view(t).substr(point + 1);
  auto digits = [](std::string_view s) { return std::all_of(s.begin(), s.end(), is_digit); };
  if (whole.empty() || whole.size() > 9 || !digits(whole) || !digits(decimals)) return unreadable;

  const std::uint64_t w = std::stoull(std::string(whole));
  std::uint64_t khz = 0;
  const bool as_khz =
      unit == Khz || (unit == Either && point == std::string::npos && w > KHZ_THRESHOLD);
  if (as_khz) {
    if (!decimals.empty() && decimals.find_first_not_of('0') != std::string_view::npos) {
      return {std::nullopt, shown + " is not a whole number of kHz"};
    }
    khz = w;
  } else {
    std::string first(decimals.substr(0, 3));
    first.append(3 - first.size(), '0');
    khz = w * 1000 + std::stoull(first);
    if (decimals.size() > 3 &&
        decimals.substr(3).find_first_not_of('0') != std::string_view::npos) {
      return {std::nullopt,
              shown + " is not on the " + std::to_string(CHANNEL_STEP_KHZ) + " kHz step"};
    }
  }
  if (khz > std::numeric_limits<std::uint32_t>::max()) {
    return {std::nullopt,
            shown + " is outside this unit's " + range_text(min_khz, max_khz) + " range"};
  }
  std::string problem = frequency_problem(static_cast<std::uint32_t>(khz), min_khz, max_khz);
  if (!problem.empty()) return {std::nullopt, std::move(problem)};
  return {static_cast<std::uint32_t>(khz), {}};
}

UiChannel PastedChannel::applied_to(UiChannel channel) const {
  if (frequency) channel.frequency = *frequency;
  if (delay_enable) channel.delay_enable = *delay_enable;
  if (voting_enable) channel.voting_enable = *voting_enable;
  if (channel_enable) channel.channel_enable = *channel_enable;
  return channel;
}

std::string ChannelTextError::text() const {
  std::string out = "line " + std::to_string(line);
  if (column > 0) out += ", column " + std::to_string(column);
  return out + ": " + message;
}

std::string channels_to_text(const std::vector<NumberedChannel>& channels) {
  auto flag = [](bool on) { return on ? "yes" : "no"; };
  std::string out(CHANNEL_TEXT_HEADER);
  out += '\n';
  for (const auto& [number, ch] : channels) {
    out += std::to_string(number) + '\t' + mhz_string(ch.frequency) + '\t' + flag(ch.delay_enable) +
           '\t' + flag(ch.voting_enable) + '\t' + flag(ch.channel_enable) + '\n';
  }
  return out;
}

namespace {

// The lines of the text without line ends; blank lines at the end are what a copy leaves.
std::vector<std::string_view> pasted_lines(std::string_view text) {
  std::vector<std::string_view> lines = split(text, '\n');
  for (auto& line : lines) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  }
  while (!lines.empty() && trimmed(lines.back()).empty()) lines.pop_back();
  return lines;
}

// A refused text keeps no rows.
ChannelPaste refused(ChannelTextError error) {
  ChannelPaste paste;
  paste.error = std::move(error);
  return paste;
}

// The column each cell of one data line feeds.
std::optional<ChannelTextError> line_columns(const std::optional<Layout>& by_heading,
                                             const std::vector<std::string_view>& cells, int line,
                                             std::vector<std::optional<Column>>& columns) {
  if (by_heading) {
    columns = by_heading->columns;
    for (std::size_t c = columns.size(); c < cells.size(); ++c) {
      if (!trimmed(cells[c]).empty()) {
        return ChannelTextError{line, static_cast<int>(c) + 1, "this value has no column heading"};
      }
    }
    return std::nullopt;
  }
  // Empty cells at the end of a line are what spreadsheets leave; they decide nothing.
  std::size_t used = cells.size();
  while (used > 1 && trimmed(cells[used - 1]).empty()) --used;
  if (used == 1 && cells.size() != ColumnCount) {
    columns = {FrequencyCol};
  } else if (used <= ColumnCount && cells.size() >= ColumnCount) {
    columns = {ChannelCol, FrequencyCol, DelayCol, VotingCol, EnabledCol};
  } else {
    return ChannelTextError{line, 0,
                            std::string(POSITIONAL_HINT) + ", but this one has " +
                                std::to_string(used) + "; or paste with a heading line"};
  }
  return std::nullopt;
}

// The values of one data line; an empty cell, or one in no column or the channel number's,
// leaves its field unset.
std::optional<ChannelTextError> read_row(const std::vector<std::string_view>& cells,
                                         const std::vector<std::optional<Column>>& columns,
                                         std::uint32_t min_khz, std::uint32_t max_khz,
                                         PastedChannel& row) {
  for (std::size_t c = 0; c < cells.size() && c < columns.size(); ++c) {
    const auto value = trimmed(cells[c]);
    if (value.empty() || !columns[c] || *columns[c] == ChannelCol) continue;
    const int column = static_cast<int>(c) + 1;
    if (*columns[c] == FrequencyCol) {
      FrequencyRead f = read_frequency(value, min_khz, max_khz);
      if (!f.khz) return ChannelTextError{row.line, column, std::move(f.error)};
      row.frequency = f.khz;
      continue;
    }
    const auto on = read_flag(value);
    if (!on) {
      return ChannelTextError{
          row.line, column,
          "\"" + std::string(value) + "\" is not yes or no (true/false, 1/0 and on/off also do)"};
    }
    std::optional<bool>& target = *columns[c] == DelayCol    ? row.delay_enable
                                  : *columns[c] == VotingCol ? row.voting_enable
                                                             : row.channel_enable;
    target = on;
  }
  return std::nullopt;
}

}  // namespace

ChannelPaste parse_channel_text(std::string_view text, std::uint32_t min_khz,
                                std::uint32_t max_khz) {
  const std::vector<std::string_view> lines = pasted_lines(text);
  if (lines.empty()) return refused({1, 0, "there is nothing to paste"});

  std::optional<Layout> by_heading;
  std::size_t first = 0;
  if (const auto cells = split(lines[0], '\t'); is_heading(cells)) {
    Layout layout;
    if (auto error = heading_layout(cells, layout)) return refused(std::move(*error));
    by_heading = std::move(layout);
    first = 1;
  }
  if (first == lines.size()) return refused({1, 0, "there are no channels under the heading"});

  ChannelPaste paste;
  for (std::size_t i = first; i < lines.size(); ++i) {
    const std::vector<std::string_view> cells = split(lines[i], '\t');
    std::vector<std::optional<Column>> columns;
    PastedChannel row;
    row.line = static_cast<int>(i) + 1;
    if (auto error = line_columns(by_heading, cells, row.line, columns)) {
      return refused(std::move(*error));
    }
    if (auto error = read_row(cells, columns, min_khz, max_khz, row)) {
      return refused(std::move(*error));
    }
    paste.rows.push_back(row);
  }
  return paste;
}

FrequencyFill fill_frequencies(std::uint32_t start_khz, std::int32_t step_khz, int count,
                               std::uint32_t min_khz, std::uint32_t max_khz) {
  FrequencyFill fill;
  for (int i = 0; i < count; ++i) {
    const std::int64_t khz = std::int64_t{start_khz} + std::int64_t{step_khz} * i;
    std::string problem;
    if (khz < 0 || khz > std::numeric_limits<std::uint32_t>::max()) {
      problem =
          "the frequency would be outside this unit's " + range_text(min_khz, max_khz) + " range";
    } else {
      problem = frequency_problem(static_cast<std::uint32_t>(khz), min_khz, max_khz);
    }
    if (!problem.empty()) {
      fill.frequencies.clear();
      fill.failed = i;
      fill.error = std::move(problem);
      return fill;
    }
    fill.frequencies.push_back(static_cast<std::uint32_t>(khz));
  }
  return fill;
}

}  // namespace owl::desktop
