#include "ui/coordination_input.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

using namespace owl;
using namespace owl::desktop;

namespace {

UiSettings unit(std::vector<UiChannel> channels, std::string name = {}) {
  UiSettings s;
  s.unit_name = std::move(name);
  s.min_freq = 470000;
  s.max_freq = 608000;
  s.channels = std::move(channels);
  return s;
}

UiChannel on(std::uint32_t khz) {
  return {khz, false, false, true};
}
UiChannel off(std::uint32_t khz) {
  return {khz, false, false, false};
}

}  // namespace

TEST(CoordinationInput, ScenarioKeepsChannelNumbersLocksAndAppendsScanRanges) {
  const UnitSettingsMap units{{"SIM0002", unit({off(480000), on(482000)})},
                              {"SIM0001", unit({on(490000)})}};
  CoordinationFields fields;
  fields.exclusions = {{470000, 478000, "TV 21", false}};
  fields.other_carriers = {{500000, "intercom"}};
  fields.locked = {"SIM0002", "GONE"};
  fields.scan = {{495000, -60.0}, {496000, -80.0}, {497000, -80.5}};
  fields.step_khz = 50;

  const coord::Scenario s = scenario_from(units, fields);
  // Sorted by key; the disabled first channel keeps its place, so 482.000 is still channel 2.
  EXPECT_EQ(s.units, (std::vector<coord::UnitPlan>{
                         {"SIM0001", 470000, 608000, {{490000, true}}, false},
                         {"SIM0002", 470000, 608000, {{480000, false}, {482000, true}}, true}}));
  EXPECT_EQ(s.other_carriers, fields.other_carriers);
  // At the threshold counts, below it does not; each point widened by half the step.
  EXPECT_EQ(s.exclusions,
            (std::vector<coord::Exclusion>{fields.exclusions[0],
                                           {494975, 495025, "scan peak -60.0 dBm", true},
                                           {495975, 496025, "scan peak -80.0 dBm", true}}));
}

TEST(CoordinationInput, ProposalListsOnlyMovedUnitsWithTheirOwnOldFrequencies) {
  const UnitSettingsMap units{{"A", unit({on(480000), on(480100), off(481000)}, "Pack A")},
                              {"B", unit({on(490000)})}};
  coord::Plan plan;
  plan.assignments = {{"A", 2, 480100, 483000}, {"A", 1, 480000, 480000}, {"B", 1, 490000, 490000}};
  const auto p = proposal_settings(units, plan);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].key, "A");
  EXPECT_EQ(p[0].before, units.at("A"));
  EXPECT_EQ(p[0].changes, (std::vector<ChannelChange>{{2, 480100, 483000}}));
  UiSettings expected = units.at("A");
  expected.channels[1].frequency = 483000;
  EXPECT_EQ(p[0].after, expected);

  coord::Plan stranger;
  stranger.assignments = {{"C", 1, 1, 2}};
  EXPECT_THROW(proposal_settings(units, stranger), std::invalid_argument);
  for (unsigned channel : {0u, 4u}) {
    coord::Plan bad;
    bad.assignments = {{"A", channel, 480000, 483000}};
    EXPECT_THROW(proposal_settings(units, bad), std::invalid_argument) << channel;
  }
}

TEST(CoordinationInput, PlannerProposalAppliedLeavesNoConflict) {
  // Five packs piled within 600 kHz, one of them locked; the plan must clear every conflict.
  UnitSettingsMap units;
  for (int i = 0; i < 5; ++i) {
    units["SIM000" + std::to_string(i)] = unit({on(480000 + static_cast<std::uint32_t>(i) * 150)});
  }
  CoordinationFields fields;
  fields.locked = {"SIM0002"};
  fields.exclusions = {{470000, 479000, "TV", false}};
  ASSERT_FALSE(coord::analyse(scenario_from(units, fields)).conflicts.empty());

  const auto plan = coord::coordinate(scenario_from(units, fields));
  ASSERT_TRUE(plan.unplaced.empty());
  const auto proposal = proposal_settings(units, plan);
  for (const auto& p : proposal) {
    EXPECT_NE(p.key, "SIM0002");
    units[p.key] = p.after;
  }
  EXPECT_TRUE(coord::analyse(scenario_from(units, fields)).conflicts.empty());
}

TEST(CoordinationInput, NearbyProductsSkipTheirOwnGeneratorsAndSwitchedOffKinds) {
  coord::Profile profile;  // guards 100 / 50 / off
  // 2 × 481.000 − 480.000 = 482.000 lies 50 kHz from 482.050: near another carrier.
  auto p = nearby_products({480000, 481000, 482050}, profile);
  const auto has = [&](coord::ConflictKind kind, std::int64_t khz) {
    return std::any_of(p.begin(), p.end(),
                       [&](const Product& x) { return x.kind == kind && x.frequency_khz == khz; });
  };
  EXPECT_TRUE(has(coord::ConflictKind::Im3TwoTone, 482000));
  EXPECT_FALSE(has(coord::ConflictKind::Im3TwoTone, 479000));  // far from every carrier
  EXPECT_TRUE(std::is_sorted(p.begin(), p.end(), [](const auto& a, const auto& b) {
    return std::tie(a.frequency_khz, a.kind) < std::tie(b.frequency_khz, b.kind);
  }));
  for (const auto& x : p) EXPECT_NE(x.kind, coord::ConflictKind::Im5TwoTone);

  // Two carriers 100 kHz apart: 480.200 lies next to 480.100, but that is its own generator.
  EXPECT_EQ(nearby_products({480000, 480100}, profile), std::vector<Product>{});

  profile.im5_2tone_khz = 50;
  p = nearby_products({480000, 481000, 483050}, profile);
  EXPECT_TRUE(has(coord::ConflictKind::Im5TwoTone, 483000));  // 3 × 481 − 2 × 480
  EXPECT_EQ(nearby_products({}, profile), std::vector<Product>{});
}
