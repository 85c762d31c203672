#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Frequency coordination over plain values: which carriers a rig puts on air, and which of
// them are too close to each other, to an intermodulation product, to an exclusion or outside
// their unit's band. Nothing here does I/O, keeps state or throws on bad data.
namespace owl::coord {

// Guard distances in kHz; 0 switches a rule off.
struct Profile {
  std::uint32_t carrier_spacing_khz = 300;
  std::uint32_t im3_2tone_khz = 100;
  std::uint32_t im3_3tone_khz = 50;
  std::uint32_t im5_2tone_khz = 0;
  friend bool operator==(const Profile&, const Profile&) = default;
};

// A forbidden range, both ends included. `from_scan` marks ranges made from scan data, whose
// conflicts are reported as kind "scan" instead of "exclusion".
struct Exclusion {
  std::uint32_t from_khz = 0;
  std::uint32_t to_khz = 0;
  std::string note;
  bool from_scan = false;
  friend bool operator==(const Exclusion&, const Exclusion&) = default;
};

// A transmitter that is not one of ours (house intercom, IEM, TV): always on air, never moved.
struct OtherCarrier {
  std::uint32_t frequency_khz = 0;
  std::string note;
  friend bool operator==(const OtherCarrier&, const OtherCarrier&) = default;
};

// One channel entry of a unit; its channel number is its 1-based position in the unit.
struct ChannelPlan {
  std::uint32_t frequency_khz = 0;
  bool enabled = true;
  friend bool operator==(const ChannelPlan&, const ChannelPlan&) = default;
};

// A unit as coordination sees it. `min_freq` 0 means the unit has not reported its range.
struct UnitPlan {
  std::string key;
  std::uint32_t min_freq = 0;
  std::uint32_t max_freq = 0;
  std::vector<ChannelPlan> channels;
  bool locked = false;
  friend bool operator==(const UnitPlan&, const UnitPlan&) = default;
};

// Everything a coordination works on. Unit keys are distinct. Callers turn scan data into
// exclusions with scan_exclusions() and append them here.
struct Scenario {
  Profile profile;
  std::vector<Exclusion> exclusions;
  std::vector<OtherCarrier> other_carriers;
  std::vector<UnitPlan> units;
};

// What puts a carrier on air: an enabled unit channel (`channel` >= 1) or an other carrier
// (`channel` 0, `key` empty, `note` its note).
struct Source {
  std::string key;
  unsigned channel = 0;
  std::string note;
  bool is_other() const { return channel == 0; }
  friend bool operator==(const Source&, const Source&) = default;
};

// One distinct frequency on air; sources sorted units first (by key, then channel), then other
// carriers in their given order.
struct Carrier {
  std::uint32_t frequency_khz = 0;
  std::vector<Source> sources;
  friend bool operator==(const Carrier&, const Carrier&) = default;
};

enum class ConflictKind { Spacing, Im3TwoTone, Im3ThreeTone, Im5TwoTone, Exclusion, Scan, Band };

// "spacing", "im3_2tone", "im3_3tone", "im5_2tone", "exclusion", "scan", "band".
std::string_view kind_name(ConflictKind kind);

// One broken rule. The units and channels behind each frequency are in Analysis::carriers.
// - Spacing: `generators_khz` holds the one carrier closer than the spacing. A pair too close
//   gives two conflicts, one per victim. An other carrier on the same frequency as a unit
//   channel is a spacing conflict whatever the profile says, with the victim as its generator.
// - Intermodulation: `product_khz` is the product and `generators_khz` its carriers in formula
//   order: {a, b} for 2a - b and 3a - 2b, {a, b, c} with a < b for a + b - c.
// - Exclusion and scan: `exclusion` is the range hit; no product, no generators.
// - Band: `sources` holds the channels of the victim that are outside their unit's range or off
//   the 5 kHz step; no product, no generators. Empty for every other kind.
struct Conflict {
  ConflictKind kind = ConflictKind::Spacing;
  std::uint32_t victim_khz = 0;
  std::optional<std::int64_t> product_khz;
  std::vector<std::uint32_t> generators_khz;
  std::optional<Exclusion> exclusion;
  std::vector<Source> sources;
  friend bool operator==(const Conflict&, const Conflict&) = default;
};

// Two or more enabled channels of one unit on one frequency.
struct Duplicate {
  std::string key;
  std::uint32_t frequency_khz = 0;
  std::vector<unsigned> channels;
  friend bool operator==(const Duplicate&, const Duplicate&) = default;
};

// A rig that breaks more rules than this is listed only in part: evenly spaced carriers put
// products on each other, and their conflicts grow with the cube of the carriers, which would
// take seconds and gigabytes to list while nobody reads past the first screen.
inline constexpr std::size_t MAX_CONFLICTS = 10000;

struct Analysis {
  std::vector<Carrier> carriers;  // ascending frequency
  std::vector<Carrier> shared;    // carriers used by channels of two or more units
  std::vector<Duplicate> duplicates;
  // Sorted by victim frequency, then kind, then product, then generator frequencies.
  std::vector<Conflict> conflicts;
  // False when there were more than MAX_CONFLICTS conflicts and `conflicts` holds only
  // MAX_CONFLICTS of them (the same ones for the same input). Spacing, exclusion, scan and band
  // conflicts are always all there; only intermodulation products are left out.
  bool complete = true;

  // The carrier on `frequency_khz`, or nullptr.
  const Carrier* carrier(std::uint32_t frequency_khz) const;
};

// Checks every rule over the enabled channels of all units (locked or not) and the other
// carriers. Cost grows with the cube of the number of carriers (three-tone products), and stops
// growing once MAX_CONFLICTS conflicts are found.
Analysis analyse(const Scenario& scenario);

// One line for a person, e.g. "im3 3-tone 482.350 MHz from 480.100 + 485.000 − 482.750 hits
// SIM0003 channel 1".
std::string describe(const Conflict& conflict, const Analysis& analysis);

// An intermodulation product in words, e.g. "im3 3-tone 482.350 MHz from 480.100 + 485.000 −
// 482.750"; `generators_khz` in the order Conflict keeps them. Empty for the other kinds.
std::string product_text(ConflictKind kind, std::int64_t product_khz,
                         const std::vector<std::uint32_t>& generators_khz);

// "482.350" for 482350 kHz; negative values keep their sign.
std::string mhz_text(std::int64_t khz);

}  // namespace owl::coord
