#include "scan.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

namespace owl::coord {
namespace {

std::string_view trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '"'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> split(std::string_view line, bool& decimal_comma) {
  char sep = ' ';
  decimal_comma = false;
  if (line.find(';') != std::string_view::npos) {
    sep = ';';
    decimal_comma = true;
  } else if (line.find('\t') != std::string_view::npos) {
    sep = '\t';
    decimal_comma = true;
  } else if (line.find(',') != std::string_view::npos) {
    sep = ',';
  }
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (start <= line.size()) {
    const std::size_t end = std::min(line.find(sep, start), line.size());
    const std::string_view field = trim(line.substr(start, end - start));
    // Runs of spaces separate one pair of fields.
    if (sep != ' ' || !field.empty()) fields.push_back(field);
    start = end + 1;
  }
  return fields;
}

// A frequency field: digits, optionally one decimal point (or comma) and more digits.
std::optional<std::uint32_t> parse_frequency(std::string_view s, bool decimal_comma) {
  const std::size_t dot = s.find_first_of(decimal_comma ? ",." : ".");
  const std::string_view whole = s.substr(0, dot);
  const std::string_view frac = dot == std::string_view::npos ? "" : s.substr(dot + 1);
  const auto digits = [](std::string_view d) {
    return std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (whole.empty() || !digits(whole) || !digits(frac)) return std::nullopt;
  if (whole.size() > 10) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : whole) value = value * 10 + static_cast<std::uint64_t>(c - '0');
  if (dot != std::string_view::npos) {
    if (frac.empty()) return std::nullopt;
    std::uint64_t khz = value * 1000;
    std::uint64_t scale = 100;
    for (std::size_t i = 0; i < frac.size() && i < 3; ++i, scale /= 10) {
      khz += static_cast<std::uint64_t>(frac[i] - '0') * scale;
    }
    if (frac.size() > 3 && frac[3] >= '5') ++khz;
    value = khz;
  }
  if (value > UINT32_MAX) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

std::optional<double> parse_level(std::string_view s, bool decimal_comma) {
  std::string text(s);
  if (decimal_comma) std::replace(text.begin(), text.end(), ',', '.');
  if (!text.empty() && text.front() == '+') text.erase(0, 1);
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

bool starts_number(std::string_view field) {
  return !field.empty() && field.front() >= '0' && field.front() <= '9';
}

}  // namespace

ScanRead parse_scan_csv(std::string_view text) {
  ScanRead out;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::size_t line_no = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = std::min(text.find('\n', pos), text.size());
    const std::string_view line = trim(text.substr(pos, end - pos));
    pos = end + 1;
    ++line_no;
    if (line.empty()) continue;
    bool decimal_comma = false;
    const auto fields = split(line, decimal_comma);
    if (fields.empty() || !starts_number(fields[0])) continue;
    const auto freq = parse_frequency(fields[0], decimal_comma);
    if (!freq) {
      // A leading number that is not a frequency (a date, a serial number) marks a header.
      continue;
    }
    const auto level = fields.size() > 1 ? parse_level(fields[1], decimal_comma) : std::nullopt;
    if (!level) {
      out.points.clear();
      out.error = "line " + std::to_string(line_no) + ": no level in dBm after the frequency";
      return out;
    }
    out.points.push_back(ScanPoint{*freq, *level});
  }
  if (out.points.empty()) out.error = "no scan points found";
  return out;
}

ScanRead read_scan_csv(const std::string& path) {
  ScanRead out;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    out.error = path + ": cannot be read";
    return out;
  }
  if (!S_ISREG(st.st_mode)) {
    out.error = path + ": not a regular file";
    return out;
  }
  if (static_cast<std::uint64_t>(st.st_size) > MAX_SCAN_FILE_BYTES) {
    out.error =
        path + ": larger than " + std::to_string(MAX_SCAN_FILE_BYTES / (1024 * 1024)) + " MiB";
    return out;
  }
  std::ifstream in(path, std::ios::binary);
  std::string text;
  if (in) {
    // Read at most one byte over the limit, in case the file grew after stat().
    text.resize(MAX_SCAN_FILE_BYTES + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
  }
  if (!in && !in.eof()) {
    out.error = path + ": cannot be read";
    return out;
  }
  if (text.size() > MAX_SCAN_FILE_BYTES) {
    out.error =
        path + ": larger than " + std::to_string(MAX_SCAN_FILE_BYTES / (1024 * 1024)) + " MiB";
    return out;
  }
  out = parse_scan_csv(text);
  if (!out.error.empty()) out.error = path + ": " + out.error;
  return out;
}

std::vector<Exclusion> scan_exclusions(std::span<const ScanPoint> points, double threshold_dbm,
                                       std::uint32_t step_khz) {
  const std::uint32_t h = step_khz / 2;
  std::vector<ScanPoint> hot;
  for (const ScanPoint& p : points) {
    if (p.level_dbm >= threshold_dbm) hot.push_back(p);
  }
  std::sort(hot.begin(), hot.end(),
            [](const auto& a, const auto& b) { return a.frequency_khz < b.frequency_khz; });
  std::vector<Exclusion> out;
  std::vector<double> peaks;
  for (const ScanPoint& p : hot) {
    const std::uint32_t from = p.frequency_khz > h ? p.frequency_khz - h : 0;
    const std::uint32_t to = p.frequency_khz > UINT32_MAX - h ? UINT32_MAX : p.frequency_khz + h;
    if (!out.empty() && from <= out.back().to_khz) {
      out.back().to_khz = std::max(out.back().to_khz, to);
      peaks.back() = std::max(peaks.back(), p.level_dbm);
    } else {
      out.push_back(Exclusion{from, to, {}, true});
      peaks.push_back(p.level_dbm);
    }
  }
  for (std::size_t i = 0; i < out.size(); ++i) {
    char note[48];
    std::snprintf(note, sizeof note, "scan peak %.1f dBm", peaks[i]);
    out[i].note = note;
  }
  return out;
}

}  // namespace owl::coord
