#include "planner.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace owl::coord {
namespace {

UnitPlan unit(std::string key, std::vector<std::uint32_t> freqs, bool locked = false,
              std::uint32_t min = 470000, std::uint32_t max = 494000) {
  UnitPlan u{std::move(key), min, max, {}, locked};
  for (std::uint32_t f : freqs) u.channels.push_back({f, true});
  return u;
}

Scenario eight_units_on_one_frequency() {
  Scenario sc;
  sc.exclusions = {{476000, 478000, "TV", false}};
  sc.other_carriers = {{482350, "house intercom"}};
  sc.units.push_back(unit("LOCK", {490000}, true));
  for (int i = 1; i <= 8; ++i) sc.units.push_back(unit("SIM000" + std::to_string(i), {470000}));
  sc.units[3].channels.push_back({470000, false});
  return sc;
}

std::vector<std::uint32_t> on_air(const Scenario& sc) {
  std::vector<std::uint32_t> out;
  for (const UnitPlan& u : sc.units) {
    for (const ChannelPlan& c : u.channels) {
      if (c.enabled) out.push_back(c.frequency_khz);
    }
  }
  return out;
}

TEST(Coordinate, PlacesEveryChannelAndTheAnalysisFindsNoConflict) {
  const Scenario sc = eight_units_on_one_frequency();
  const Plan plan = coordinate(sc);
  ASSERT_TRUE(plan.problems.empty());
  EXPECT_TRUE(plan.unplaced.empty());
  ASSERT_EQ(plan.assignments.size(), 8u);
  EXPECT_TRUE(plan.analysis.conflicts.empty());
  EXPECT_EQ(plan.analysis.conflicts, analyse(plan.result).conflicts);
  const auto freqs = on_air(plan.result);
  EXPECT_EQ(std::set<std::uint32_t>(freqs.begin(), freqs.end()).size(), freqs.size());
  for (const Assignment& a : plan.assignments) {
    EXPECT_EQ(a.to_khz % 25, 0u) << a.key;
    EXPECT_FALSE(a.to_khz >= 476000 && a.to_khz <= 478000) << a.key;
  }
  EXPECT_EQ(plan.result.units[0], sc.units[0]);                               // locked
  EXPECT_EQ(plan.result.units[3].channels[1], (ChannelPlan{470000, false}));  // disabled
  EXPECT_EQ(plan.assignments[0].key, "SIM0001");

  PlanOptions seeded;  // the same input and seed give the same plan
  seeded.seed = 42;
  EXPECT_EQ(coordinate(sc, seeded).assignments, coordinate(sc, seeded).assignments);
}

TEST(Coordinate, KeepsCompatibleFrequenciesAndMovesOnlyTheOthers) {
  Scenario sc;
  sc.units = {unit("A", {480000}), unit("B", {481000}), unit("C", {486500}),
              // Too close to A, and a shared frequency with B: both move.
              unit("D", {480100}), unit("E", {481000}), unit("L", {478000}, true)};
  const Plan plan = coordinate(sc);
  ASSERT_TRUE(plan.unplaced.empty());
  for (const Assignment& a : plan.assignments) {
    if (a.key == "D" || a.key == "E") {
      EXPECT_NE(a.from_khz, a.to_khz) << a.key;
    } else {
      EXPECT_EQ(a.from_khz, a.to_khz) << a.key;
    }
  }
  EXPECT_TRUE(plan.analysis.conflicts.empty());
}

TEST(Coordinate, ListsWhatItCannotPlaceWithTheBlockingRule) {
  Scenario sc;
  // 470.000-470.600: any two of the 25 points leave no third (spacing, or the 2-tone product
  // of the ends on the middle).
  for (const char* key : {"A", "B", "C", "D"})
    sc.units.push_back(unit(key, {470000}, false, 470000, 470600));
  sc.units.push_back(unit("X", {480000}, false, 479000, 481000));
  sc.exclusions = {{478900, 481100, "TV", false}};
  sc.units.push_back(unit("U", {480000}, false, 0, 494000));
  const Plan plan = coordinate(sc);
  EXPECT_EQ(plan.assignments.size(), 2u);
  ASSERT_EQ(plan.unplaced.size(), 4u);
  EXPECT_EQ(plan.unplaced[0].key, "C");
  EXPECT_EQ(plan.unplaced[0].rule, ConflictKind::Spacing);
  EXPECT_TRUE(plan.unplaced[0].reason.starts_with(
      "no compatible frequency left in 470000-470600 kHz (25 points on the 25 kHz grid); "
      "blocked by spacing at "))
      << plan.unplaced[0].reason;
  EXPECT_EQ(plan.unplaced[2].key, "U");
  EXPECT_EQ(plan.unplaced[2].reason, "the unit has not reported its frequency range");
  EXPECT_EQ(plan.unplaced[3].key, "X");
  EXPECT_EQ(plan.unplaced[3].rule, ConflictKind::Exclusion);
  // Unplaced channels keep their frequency, and the analysis says what that breaks.
  EXPECT_FALSE(plan.analysis.conflicts.empty());
}

TEST(Coordinate, RefusesABadStep) {
  for (std::uint32_t step : {0u, 7u, 12u}) {
    PlanOptions options;
    options.step_khz = step;
    EXPECT_EQ(coordinate(eight_units_on_one_frequency(), options).problems,
              std::vector<std::string>{"the step must be a positive multiple of 5 kHz, not " +
                                       std::to_string(step)});
  }
}

TEST(MaxSet, FindsACompatibleSetAroundOtherCarriersAndExclusions) {
  Scenario sc;
  sc.other_carriers = {{472010, "IEM"}};
  sc.exclusions = {{474000, 474500, "", true}};
  const MaxSet set = max_compatible_set(sc, 470000, 476000);
  ASSERT_TRUE(set.problems.empty());
  EXPECT_GE(set.frequencies_khz.size(), 8u);
  EXPECT_TRUE(std::is_sorted(set.frequencies_khz.begin(), set.frequencies_khz.end()));
  Scenario check = sc;
  for (std::uint32_t f : set.frequencies_khz) {
    EXPECT_EQ(f % 25, 0u);
    check.other_carriers.push_back({f, ""});
  }
  EXPECT_TRUE(analyse(check).conflicts.empty());
}

TEST(MaxSet, RangeEdgesAndRefusals) {
  EXPECT_EQ(max_compatible_set({}, 470010, 470020).frequencies_khz.size(), 0u);  // no grid point
  EXPECT_EQ(max_compatible_set({}, 470000, 470000).frequencies_khz,
            std::vector<std::uint32_t>{470000});
  EXPECT_EQ(max_compatible_set({}, 476000, 470000).problems,
            std::vector<std::string>{"the range is empty: 476000 kHz is above 470000 kHz"});
  PlanOptions fine;
  fine.step_khz = 5;
  EXPECT_EQ(max_compatible_set({}, 0, 4000000, fine).problems.size(), 1u);
}

TEST(Compatible, AgreesWithTheAnalysisOnHandWorkedSets) {
  const Profile p;
  EXPECT_FALSE(compatible(p, {480000, 481000}, 482000));          // 2-tone product
  EXPECT_FALSE(compatible(p, {480000, 481000}, 481000));          // shared
  EXPECT_FALSE(compatible(p, {480000, 481000}, 480250));          // spacing
  EXPECT_FALSE(compatible(p, {480000, 483000, 485000}, 487960));  // 3-tone, f as victim
  EXPECT_FALSE(compatible(p, {480000, 482000, 483000}, 481040));  // f generates onto 480000
  EXPECT_TRUE(compatible(p, {480000, 481000}, 482100));
}

}  // namespace
}  // namespace owl::coord
