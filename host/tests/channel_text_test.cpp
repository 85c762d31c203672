#include "ui/channel_text.hpp"

#include <gtest/gtest.h>

using namespace owl;
using namespace owl::desktop;

namespace {

constexpr std::uint32_t LO = 215000;
constexpr std::uint32_t HI = 220000;

std::vector<UiChannel> applied(const ChannelPaste& paste, std::vector<UiChannel> channels) {
  for (std::size_t i = 0; i < paste.rows.size(); ++i) {
    channels[i] = paste.rows[i].applied_to(channels[i]);
  }
  return channels;
}

std::string refusal(std::string_view text) {
  const ChannelPaste paste = parse_channel_text(text, LO, HI);
  EXPECT_TRUE(paste.rows.empty());
  return paste.error ? paste.error->text() : "accepted";
}

}  // namespace

TEST(ChannelText, CopiedTextIsExactAndReadsBack) {
  const std::vector<NumberedChannel> rows = {{3, {216500, true, false, true}},
                                             {7, {219995, false, true, false}}};
  const std::string text = channels_to_text(rows);
  EXPECT_EQ(text,
            "Channel\tFrequency (MHz)\tDelay\tVoting\tEnabled\n"
            "3\t216.500\tyes\tno\tyes\n"
            "7\t219.995\tno\tyes\tno\n");
  const ChannelPaste paste = parse_channel_text(text, LO, HI);
  ASSERT_FALSE(paste.error) << paste.error->text();
  ASSERT_EQ(paste.rows.size(), 2u);
  EXPECT_EQ(paste.rows[0].line, 2);
  const std::vector<UiChannel> blank(2);
  EXPECT_EQ(applied(paste, blank), (std::vector<UiChannel>{rows[0].channel, rows[1].channel}));
  // Without its heading the same lines read the same.
  const ChannelPaste bare = parse_channel_text(text.substr(text.find('\n') + 1), LO, HI);
  ASSERT_FALSE(bare.error);
  EXPECT_EQ(applied(bare, blank), applied(paste, blank));
}

TEST(ChannelText, SpreadsheetColumnsByHeadingInAnyOrderOrFrequenciesAlone) {
  // A spreadsheet's own heading, columns reordered and one left out, CRLF, TRUE/FALSE, kHz and
  // MHz mixed, a whole MHz as the sheet shows it, and an empty cell that keeps the value.
  const ChannelPaste good = parse_channel_text(
      "Voting\tFreq (kHz)\r\n"
      "TRUE\t216500\r\n"
      "off\t216,55\r\n"
      "\t217\r\n"
      "On\t218005 kHz\r\n"
      "\r\n",
      LO, HI);
  ASSERT_FALSE(good.error) << good.error->text();
  const UiChannel keep{200000, true, false, true};
  EXPECT_EQ(applied(good, std::vector<UiChannel>(4, keep)),
            (std::vector<UiChannel>{{216500, true, true, true},
                                    {216550, true, false, true},
                                    {217000, true, false, true},
                                    {218005, true, true, true}}));
  // Lines of a frequency alone keep the flags; an empty line keeps the channel.
  const ChannelPaste bare = parse_channel_text("216.5\n\n219.995\t\n", LO, HI);
  ASSERT_FALSE(bare.error) << bare.error->text();
  const UiChannel flags{215000, true, true, false};
  EXPECT_EQ(
      applied(bare, std::vector<UiChannel>(3, flags)),
      (std::vector<UiChannel>{{216500, true, true, false}, flags, {219995, true, true, false}}));
}

TEST(ChannelText, FrequencyReadings) {
  const std::pair<const char*, std::uint32_t> good[] = {
      {"216.5", 216500}, {" 216.500 ", 216500}, {"216,505", 216505},  {"216.5000", 216500},
      {"217", 217000},   {"216500", 216500},    {"216.5MHz", 216500}, {"216500 kHz", 216500},
      {"215", 215000},   {"220", 220000},       {"\"216.5\"", 216500}};
  for (const auto& [text, khz] : good) {
    const FrequencyRead f = read_frequency(text, LO, HI);
    EXPECT_EQ(f.khz, khz) << text << ": " << f.error;
  }
  const std::pair<const char*, const char*> bad[] = {
      {"216.502", "216.502 MHz is not on the 5 kHz step"},
      {"216.5001", "216.5001 is not on the 5 kHz step"},
      {"214.995", "214.995 MHz is outside this unit's 215.000–220.000 MHz range"},
      {"216 kHz", "0.216 MHz is outside this unit's 215.000–220.000 MHz range"},
      {"99999999", "99999.999 MHz is outside this unit's 215.000–220.000 MHz range"},
      {"999999999.5", "999999999.5 is outside this unit's 215.000–220.000 MHz range"},
      {"216500.5 kHz", "216500.5 kHz is not a whole number of kHz"},
      {"-216.5", "\"-216.5\": type MHz (216.500) or kHz as a whole number (216500)"},
      {"216.5.0", "\"216.5.0\": type MHz (216.500) or kHz as a whole number (216500)"},
      {"", "\"\": type MHz (216.500) or kHz as a whole number (216500)"},
      {"MHz", "\"MHz\": type MHz (216.500) or kHz as a whole number (216500)"},
      {"1234567890", "\"1234567890\": type MHz (216.500) or kHz as a whole number (216500)"}};
  for (const auto& [text, error] : bad) {
    const FrequencyRead f = read_frequency(text, LO, HI);
    EXPECT_FALSE(f.khz) << text;
    EXPECT_EQ(f.error, error);
  }
}

TEST(ChannelText, RefusalsNameLineAndColumnAndKeepNothing) {
  const auto columns = [](int line, int n) {
    return "line " + std::to_string(line) +
           ": a line has 5 columns (Channel, Frequency (MHz), Delay, Voting, Enabled) or only a "
           "frequency, but this one has " +
           std::to_string(n) + "; or paste with a heading line";
  };
  EXPECT_EQ(refusal("1\t216.5\tyes\tno\tyes\n2\t216.6\tyes\tmaybe\tyes\n"),
            "line 2, column 4: \"maybe\" is not yes or no (true/false, 1/0 and on/off also do)");
  EXPECT_EQ(refusal("Channel\tFrequency (MHz)\n1\t216.5\n2\t230.000\n"),
            "line 3, column 2: 230.000 MHz is outside this unit's 215.000–220.000 MHz range");
  EXPECT_EQ(refusal("216.5\n216.6\tyes\n"), columns(2, 2));
  EXPECT_EQ(refusal("1\t216.5\tyes\tno\tyes\textra\n"), columns(1, 6));
  EXPECT_EQ(refusal("Frequency\tDelay\n216.5\tno\tstray\n"),
            "line 2, column 3: this value has no column heading");
  EXPECT_EQ(refusal("Voting\tON?\nyes\tyes\n"),
            "line 1, column 2: unknown column \"ON?\"; the columns are Channel, Frequency (MHz), "
            "Delay, Voting, Enabled");
  EXPECT_EQ(refusal("Frequency\tfreq\n"), "line 1, column 2: column \"freq\" given twice");
  EXPECT_EQ(refusal("Frequency (MHz)\n\n"), "line 1: there are no channels under the heading");
  EXPECT_EQ(refusal("\r\n\n"), "line 1: there is nothing to paste");
  // A line of flags is data, not a heading: "no" and "on" name no column.
  EXPECT_EQ(refusal("no\ton\n"), columns(1, 2));
}

TEST(ChannelText, FillCountsFromTheStart) {
  const FrequencyFill up = fill_frequencies(216500, 300, 8, LO, HI);
  EXPECT_EQ(up.error, "");
  EXPECT_EQ(up.failed, -1);
  EXPECT_EQ(up.frequencies, (std::vector<std::uint32_t>{216500, 216800, 217100, 217400, 217700,
                                                        218000, 218300, 218600}));
  const FrequencyFill down = fill_frequencies(216000, -500, 3, LO, HI);
  EXPECT_EQ(down.frequencies, (std::vector<std::uint32_t>{216000, 215500, 215000}));

  const FrequencyFill over = fill_frequencies(216500, 300, 20, LO, HI);
  EXPECT_TRUE(over.frequencies.empty());
  EXPECT_EQ(over.failed, 12);
  EXPECT_EQ(over.error, "220.100 MHz is outside this unit's 215.000–220.000 MHz range");
  EXPECT_EQ(fill_frequencies(216500, 2, 2, LO, HI).error, "216.502 MHz is not on the 5 kHz step");
  EXPECT_EQ(fill_frequencies(1000, -2000, 2, 0, HI).error,
            "the frequency would be outside this unit's 0.000–220.000 MHz range");
}
