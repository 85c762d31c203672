#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis.hpp"

namespace owl::coord {

inline constexpr double DEFAULT_SCAN_THRESHOLD_DBM = -80.0;
// Larger files are refused rather than read into memory.
inline constexpr std::size_t MAX_SCAN_FILE_BYTES = 32u * 1024u * 1024u;

struct ScanPoint {
  std::uint32_t frequency_khz = 0;
  double level_dbm = 0.0;
  friend bool operator==(const ScanPoint&, const ScanPoint&) = default;
};

// Either points (in file order) or, when the data is refused, an empty list and a text for the
// user in `error`.
struct ScanRead {
  std::vector<ScanPoint> points;
  std::string error;
};

// Reads "frequency,level_dbm" lines. The frequency is MHz when it has a decimal point
// (rounded to the nearest kHz) and kHz when it is an integer. Fields may be separated by
// commas, semicolons, tabs or spaces; with semicolons or tabs a decimal comma is accepted, as
// European analyser exports write them. Surrounding quotes, extra columns, a byte-order mark
// and CR line ends are tolerated. A line whose first field is not a number is a header or a
// comment and is skipped; a line that starts with a number but has no readable level is refused
// with its line number. Data without any point is refused.
ScanRead parse_scan_csv(std::string_view text);

// parse_scan_csv over a regular file of at most MAX_SCAN_FILE_BYTES; errors name the path.
ScanRead read_scan_csv(const std::string& path);

// Every point at or above `threshold_dbm` becomes a range of half `step_khz` (rounded down) on
// each side, marked `from_scan`; overlapping ranges are merged. Result in ascending order.
std::vector<Exclusion> scan_exclusions(std::span<const ScanPoint> points, double threshold_dbm,
                                       std::uint32_t step_khz);

}  // namespace owl::coord
