#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records.hpp"

// Channel rows as tab-separated text, the form spreadsheets copy and paste. Pure functions, no
// Qt, so the rules are tested exactly.
namespace owl::desktop {

constexpr std::uint32_t CHANNEL_STEP_KHZ = 5;

// The heading line copy_text writes, and the column names a pasted heading may use.
constexpr std::string_view CHANNEL_TEXT_HEADER = "Channel\tFrequency (MHz)\tDelay\tVoting\tEnabled";

struct NumberedChannel {
  int number = 0;  // 1-based
  UiChannel channel;
};

// A heading line, then one line per channel: number, MHz with three decimals, then yes/no for
// delay, voting and enabled. Every line ends in a newline.
std::string channels_to_text(const std::vector<NumberedChannel>& channels);

// One pasted line. A value the line leaves empty (or a column it does not have) keeps what the
// channel has.
struct PastedChannel {
  int line = 0;  // 1-based line of the text, for messages
  std::optional<std::uint32_t> frequency;
  std::optional<bool> delay_enable;
  std::optional<bool> voting_enable;
  std::optional<bool> channel_enable;

  UiChannel applied_to(UiChannel channel) const;
};

struct ChannelTextError {
  int line = 0;
  int column = 0;  // 1-based; 0 when the whole line is at fault
  std::string message;

  // "line 3, column 2: ..." or "line 3: ...".
  std::string text() const;
};

struct ChannelPaste {
  std::vector<PastedChannel> rows;
  std::optional<ChannelTextError> error;  // set: the text is refused as a whole
};

// Reads pasted text. With a heading line (recognised by its names, in any order, any subset)
// the columns are taken by name; without one a line has the five columns channels_to_text
// writes, or only a frequency. The channel number column is for reading only: rows go where
// the user pastes them. Frequencies: MHz with a decimal point or comma ("216.5", "216,500"),
// a whole number up to 10000 is MHz too (as a spreadsheet shows 217.000), above it kHz
// ("216500"); a trailing "MHz"/"kHz" says which. Flags: yes/no, true/false, 1/0, on/off, any
// case. Each frequency is checked against [min_khz, max_khz] and the 5 kHz step.
ChannelPaste parse_channel_text(std::string_view text, std::uint32_t min_khz,
                                std::uint32_t max_khz);

struct FrequencyRead {
  std::optional<std::uint32_t> khz;
  std::string error;
};
// One frequency as typed or pasted, with the checks above.
FrequencyRead read_frequency(std::string_view text, std::uint32_t min_khz, std::uint32_t max_khz);

// Why a frequency the table holds cannot be written to this unit; empty when it can.
std::string frequency_problem(std::uint32_t khz, std::uint32_t min_khz, std::uint32_t max_khz);

// "216.500".
std::string mhz_string(std::uint32_t khz);

// count frequencies from start_khz, step_khz apart (a negative step counts down). Refused when
// one of them would fall outside [min_khz, max_khz] or off the step: `failed` is its index and
// `error` says why.
struct FrequencyFill {
  std::vector<std::uint32_t> frequencies;
  int failed = -1;
  std::string error;
};
FrequencyFill fill_frequencies(std::uint32_t start_khz, std::int32_t step_khz, int count,
                               std::uint32_t min_khz, std::uint32_t max_khz);

}  // namespace owl::desktop
