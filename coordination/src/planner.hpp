#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis.hpp"

namespace owl::coord {

// The grid is multiples of `step_khz`. The search is bounded by counts, not time, so the same
// input and seed always give the same result on any machine.
struct PlanOptions {
  std::uint32_t step_khz = 25;
  std::uint64_t seed = 0;
  // Partial plans kept per search step; wider finds larger sets and costs time in proportion.
  // Scaled down in proportion for more than 32 channels to place.
  std::uint32_t beam_width = 96;
};

struct Assignment {
  std::string key;
  unsigned channel = 0;
  std::uint32_t from_khz = 0;
  std::uint32_t to_khz = 0;
  friend bool operator==(const Assignment&, const Assignment&) = default;
};

// A channel the planner could not place, the rule that blocks most of its range and a text for
// the user naming it.
struct Unplaced {
  std::string key;
  unsigned channel = 0;
  ConflictKind rule = ConflictKind::Band;
  std::string reason;
  friend bool operator==(const Unplaced&, const Unplaced&) = default;
};

struct Plan {
  // Refusals of the request itself (bad step, range too wide); nothing else is filled then.
  std::vector<std::string> problems;
  // One per enabled channel of every unit not locked, placed ones only, by key then channel;
  // `from_khz` == `to_khz` where the current frequency was kept.
  std::vector<Assignment> assignments;
  std::vector<Unplaced> unplaced;
  // The input with the assignments applied; unplaced channels keep their frequency.
  Scenario result;
  // analyse(result); conflicts remain only from unplaced channels and from what was kept as it
  // was (locked units, other carriers).
  Analysis analysis;
};

// Chooses a frequency for every enabled channel of every unit that is not locked, such that the
// new carriers break no rule with each other, the locked units' channels and the other
// carriers. A channel's current frequency is kept when it fits; the planner never puts two
// channels on one frequency. A unit whose `min_freq` is 0 (range not reported) is not placed.
Plan coordinate(const Scenario& scenario, const PlanOptions& options = {});

struct MaxSet {
  std::vector<std::string> problems;           // as in Plan
  std::vector<std::uint32_t> frequencies_khz;  // ascending
};

// The largest set of grid frequencies in from_khz..to_khz (both included) the search finds that
// is compatible with the scenario's profile, exclusions and other carriers. Units are ignored.
MaxSet max_compatible_set(const Scenario& scenario, std::uint32_t from_khz, std::uint32_t to_khz,
                          const PlanOptions& options = {});

// Whether `frequency_khz` can join `carriers` (distinct frequencies) without breaking a spacing
// or intermodulation rule of `profile` that involves it. Exact, O(n^2 log n).
bool compatible(const Profile& profile, const std::vector<std::uint32_t>& carriers,
                std::uint32_t frequency_khz);

}  // namespace owl::coord
