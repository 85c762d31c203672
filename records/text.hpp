#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Text helpers shared by the engine and the front ends: one UTF-8 decoder, one ASCII case fold,
// one hex formatter.
namespace owl {

// ---- UTF-8 --------------------------------------------------------------------------------------

struct Utf8Step {
  char32_t code_point = 0;  // meaningful only when valid
  std::size_t length = 1;   // bytes taken, at least one
  bool valid = false;
};

// Decodes the sequence that starts at text[i] (i < text.size()). An ill-formed sequence takes its
// "maximal subpart": the longest prefix of a well-formed sequence, or the one byte that cannot
// start any. Overlong forms, surrogates and code points above U+10FFFF are ill-formed.
inline Utf8Step next_utf8(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b = byte(i);
  if (b < 0x80) return {b, 1, true};
  std::size_t need = 0;                // continuation bytes after the lead
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the first continuation byte
  char32_t cp = 0;
  if (b >= 0xC2 && b <= 0xDF) {
    need = 1;
    cp = b & 0x1Fu;
  } else if (b >= 0xE0 && b <= 0xEF) {
    need = 2;
    cp = b & 0x0Fu;
    if (b == 0xE0) lo = 0xA0;  // overlong below U+0800
    if (b == 0xED) hi = 0x9F;  // surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    need = 3;
    cp = b & 0x07u;
    if (b == 0xF0) lo = 0x90;  // overlong below U+10000
    if (b == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    return {0, 1, false};
  }
  std::size_t got = 0;
  for (std::size_t j = i + 1; got < need && j < text.size(); ++j, ++got) {
    const unsigned char c = byte(j);
    if (c < (got == 0 ? lo : 0x80) || c > (got == 0 ? hi : 0xBF)) break;
    cp = (cp << 6) | (c & 0x3Fu);
  }
  if (got < need) return {0, 1 + got, false};
  return {cp, 1 + need, true};
}

inline bool is_valid_utf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Step step = next_utf8(text, i);
    if (!step.valid) return false;
    i += step.length;
  }
  return true;
}

// The text with each ill-formed sequence (maximal subpart) replaced by one U+FFFD.
inline std::string utf8_lossy(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Step step = next_utf8(text, i);
    if (step.valid) {
      out.append(text.substr(i, step.length));
    } else {
      out.append("\xEF\xBF\xBD");
    }
    i += step.length;
  }
  return out;
}

inline std::string utf8_lossy(std::span<const std::uint8_t> bytes) {
  return utf8_lossy(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// ---- ASCII letter case
// ---------------------------------------------------------------------------- Only A-Z and a-z
// change: option names and USB strings are ASCII, and locale rules must not apply.

inline char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline char ascii_upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ascii_lower(c);
  return out;
}

inline std::string ascii_upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ascii_upper(c);
  return out;
}

inline bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

// ---- Hex
// ------------------------------------------------------------------------------------------

// Appends the byte as two lower-case hex digits.
inline void append_hex(std::string& out, std::uint8_t byte) {
  static constexpr char DIGITS[] = "0123456789abcdef";
  out.push_back(DIGITS[byte >> 4]);
  out.push_back(DIGITS[byte & 0x0F]);
}

inline std::string hex_byte(std::uint8_t byte) {
  std::string out;
  append_hex(out, byte);
  return out;
}

}  // namespace owl
