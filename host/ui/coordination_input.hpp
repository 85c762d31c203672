#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "analysis.hpp"
#include "planner.hpp"
#include "records.hpp"
#include "scan.hpp"

// Between the desktop's units and the coordination library: plain values, no Qt, so that the
// check that runs while the user types is testable and measurable on its own.
namespace owl::desktop {

// Units as the desktop sees them: key -> the settings on screen (a draft where there is one).
using UnitSettingsMap = std::map<std::string, UiSettings>;

// What a show adds to the units for coordination.
struct CoordinationFields {
  coord::Profile profile;
  std::vector<coord::Exclusion> exclusions;
  std::vector<coord::OtherCarrier> other_carriers;
  std::set<std::string> locked;  // unit keys
  std::vector<coord::ScanPoint> scan;
  double scan_threshold_dbm = coord::DEFAULT_SCAN_THRESHOLD_DBM;
  // Half of it widens every scan point above the threshold, as the planner's grid does.
  std::uint32_t step_khz = 25;
  friend bool operator==(const CoordinationFields&, const CoordinationFields&) = default;
};

// The scenario for analyse() and coordinate(): every unit with all its channels (a disabled one
// keeps its place, so channel numbers stay the unit's own, but puts nothing on air), the show's
// exclusions followed by the ranges the scan data adds.
coord::Scenario scenario_from(const UnitSettingsMap& units, const CoordinationFields& fields);

struct ChannelChange {
  unsigned channel = 0;  // 1-based, as the unit numbers them
  std::uint32_t from_khz = 0;
  std::uint32_t to_khz = 0;
  friend bool operator==(const ChannelChange&, const ChannelChange&) = default;
};

// One unit of a proposal: its settings before and after, and the channels that move.
struct UnitProposal {
  std::string key;
  UiSettings before;
  UiSettings after;
  std::vector<ChannelChange> changes;
  friend bool operator==(const UnitProposal&, const UnitProposal&) = default;
};

// The units a plan moves, by key, each with the new frequencies put into its settings; units
// whose every channel keeps its frequency are left out. Throws std::invalid_argument when the
// plan names a unit or channel that `units` does not have: a plan is made from the same units.
std::vector<UnitProposal> proposal_settings(const UnitSettingsMap& units, const coord::Plan& plan);

// A product of two or three carriers; `generators_khz` in the formula's order as in Conflict.
struct Product {
  std::int64_t frequency_khz = 0;
  coord::ConflictKind kind = coord::ConflictKind::Im3TwoTone;
  std::vector<std::uint32_t> generators_khz;
  friend bool operator==(const Product&, const Product&) = default;
};

// More products than this cannot be told apart on screen; finding them all would cost seconds.
inline constexpr std::size_t MAX_PRODUCTS = 2000;

// The intermodulation products of `carriers_khz` (distinct) that fall within twice their kind's
// guard of a carrier they do not come from, for drawing; kinds whose guard is 0 are left out.
// Sorted by frequency, then kind; one entry per frequency and kind (the first generators found).
// At most MAX_PRODUCTS: the first found, the same ones for the same input.
std::vector<Product> nearby_products(const std::vector<std::uint32_t>& carriers_khz,
                                     const coord::Profile& profile);

}  // namespace owl::desktop
