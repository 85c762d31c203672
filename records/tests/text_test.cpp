#include "text.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace owl {
namespace {

TEST(Utf8, IllFormedSequencesBecomeOneReplacementPerMaximalSubpart) {
  const std::string R = "\xEF\xBF\xBD";
  const std::vector<std::pair<std::vector<std::uint8_t>, std::string>> cases = {
      {{}, ""},
      {{'a', 0xC3, 0xA9, 'b'},
       "a\xC3\xA9"
       "b"},
      {{0xF0, 0x9F, 0x8E, 0xB5}, "\xF0\x9F\x8E\xB5"},
      {{0xE2, 0x82, 'A'}, R + "A"},               // truncated 3-byte: one
      {{0xF0, 0x9F, 0x8E}, R},                    // truncated 4-byte: one
      {{0xC0, 0xAF}, R + R},                      // overlong lead
      {{0xE0, 0x80, 0x80}, R + R + R},            // overlong 3-byte
      {{0xED, 0xA0, 0x80}, R + R + R},            // surrogate
      {{0xF4, 0x90, 0x80, 0x80}, R + R + R + R},  // above U+10FFFF
      {{0xF5, 'x'}, R + "x"},
      {{0x80, 0xBF}, R + R},                                 // lone continuations
      {{0xE1, 0x80, 0xE1, 0x80, 0x80}, R + "\xE1\x80\x80"},  // subpart then valid
      // Each lead range at its edges: U+D000 and U+E000 around the surrogates, the last
      // three-byte character, and the planes above the first four-byte one.
      {{0xEC, 0xB0, 0x80, 0xEE, 0x80, 0x80}, "\xEC\xB0\x80\xEE\x80\x80"},
      {{0xEF, 0xBF, 0xBF}, "\xEF\xBF\xBF"},
      {{0xF1, 0x80, 0x80, 0x80, 0xF3, 0xBF, 0xBF, 0xBF}, "\xF1\x80\x80\x80\xF3\xBF\xBF\xBF"},
      {{0xF3, 0xC0}, R + R},  // a continuation out of range ends the subpart
  };
  for (const auto& [in, want] : cases) EXPECT_EQ(utf8_lossy(in), want) << want;
}

TEST(Utf8, ValidationRejectsOverlongSurrogateAndOutOfRangeForms) {
  EXPECT_TRUE(is_valid_utf8("Grüße €"));
  EXPECT_FALSE(is_valid_utf8(std::string("\xC0\xAF")));      // overlong
  EXPECT_FALSE(is_valid_utf8(std::string("\xED\xA0\x80")));  // surrogate
  EXPECT_FALSE(is_valid_utf8(std::string("\xF4\x90\x80\x80")));
  EXPECT_FALSE(is_valid_utf8(std::string("ok\xE2\x82")));  // cut short by the end
  EXPECT_FALSE(is_valid_utf8(std::string("\x80")));        // a continuation byte with no lead
  // The edges of the ranges: last before and first after the surrogates, the highest code point,
  // and the longest overlong forms of three and four bytes.
  for (const char* valid : {"\xED\x9F\xBF", "\xEE\x80\x80", "\xF4\x8F\xBF\xBF"}) {
    EXPECT_TRUE(is_valid_utf8(valid)) << valid;
  }
  for (const char* overlong : {"\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF"}) {
    EXPECT_FALSE(is_valid_utf8(overlong)) << overlong;
  }
  // The decoder gives the code point and the length of each sequence.
  const Utf8Step euro = next_utf8("a\xE2\x82\xAC", 1);
  EXPECT_TRUE(euro.valid);
  EXPECT_EQ(euro.code_point, U'\u20AC');
  EXPECT_EQ(euro.length, 3u);
  EXPECT_EQ(next_utf8("\xF0\x9F\x8E", 0).length, 3u);  // the subpart, not one byte
}

TEST(AsciiCase, OnlyAsciiLettersFold) {
  EXPECT_EQ(ascii_lower("Quillon OWL-2 \xC3\x89"), "quillon owl-2 \xC3\x89");
  EXPECT_EQ(ascii_upper("stereo_l@[`{"), "STEREO_L@[`{");
  EXPECT_TRUE(equal_ignoring_ascii_case("qUILLON", "Quillon"));
  EXPECT_FALSE(equal_ignoring_ascii_case("Quillon ", "Quillon"));
  EXPECT_FALSE(equal_ignoring_ascii_case("OWL", "0WL"));
  EXPECT_FALSE(equal_ignoring_ascii_case("@", "`"));  // one apart from 'A' and 'a'
}

TEST(Hex, TwoLowerCaseDigitsPerByte) {
  EXPECT_EQ(hex_byte(0x00), "00");
  EXPECT_EQ(hex_byte(0x0F), "0f");
  EXPECT_EQ(hex_byte(0xA5), "a5");
  std::string out = "x";
  append_hex(out, 0xFF);
  EXPECT_EQ(out, "xff");
}

}  // namespace
}  // namespace owl
