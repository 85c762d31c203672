#include "analysis.hpp"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace owl::coord {
namespace {

// kind, victim, product (-1 for none), generators
using Row = std::tuple<std::string, std::uint32_t, std::int64_t, std::vector<std::uint32_t>>;

// One single-channel unit per frequency, keys SIM0001, SIM0002, ... in the given order.
Scenario rig(const std::vector<std::uint32_t>& freqs, Profile profile = {}) {
  Scenario sc;
  sc.profile = profile;
  for (std::size_t i = 0; i < freqs.size(); ++i) {
    sc.units.push_back(UnitPlan{
        "SIM000" + std::to_string(i + 1), 470000, 494000, {ChannelPlan{freqs[i], true}}, false});
  }
  return sc;
}

std::vector<Row> rows(const Scenario& sc) {
  std::vector<Row> out;
  for (const Conflict& c : analyse(sc).conflicts) {
    out.emplace_back(std::string(kind_name(c.kind)), c.victim_khz, c.product_khz.value_or(-1),
                     c.generators_khz);
  }
  return out;
}

TEST(Analysis, TwoCarriersOneMegahertzApartHitWhatSitsOnTheirProducts) {
  // 2 x 480 - 481 = 479 and 2 x 481 - 480 = 482: nothing sits there yet.
  EXPECT_TRUE(rows(rig({480000, 481000})).empty());

  Scenario sc = rig({480000, 481000});
  sc.other_carriers = {{479000, "IEM"}, {482000, "intercom"}};
  sc.profile = Profile{0, 100, 0, 0};
  const auto got = rows(sc);
  // The two carriers on their products, and what the new ones generate with the old ones:
  // 2 x 479 - 480 = 478, 2 x 482 - 481 = 483, ... of which 2 x 480 - 479 = 481 and
  // 2 x 481 - 482 = 480 land on carriers too.
  EXPECT_NE(std::find(got.begin(), got.end(), Row{"im3_2tone", 479000, 479000, {480000, 481000}}),
            got.end());
  EXPECT_NE(std::find(got.begin(), got.end(), Row{"im3_2tone", 482000, 482000, {481000, 480000}}),
            got.end());
  EXPECT_NE(std::find(got.begin(), got.end(), Row{"im3_2tone", 481000, 481000, {480000, 479000}}),
            got.end());
}

// Each rule hits within its guard, strictly below it, and not at all when switched off.
TEST(Analysis, EachRuleListsExactlyItsHits) {
  // 2 x 481 - 480 = 482.000 and 2 x 481 - 482.095 = 479.905: 95 kHz from a carrier each.
  EXPECT_EQ(rows(rig({480000, 481000, 482095}, Profile{0, 100, 0, 0})),
            (std::vector<Row>{{"im3_2tone", 480000, 479905, {481000, 482095}},
                              {"im3_2tone", 482095, 482000, {481000, 480000}}}));
  EXPECT_TRUE(rows(rig({480000, 481000, 482100}, Profile{0, 100, 0, 0})).empty());

  // 480 + 483 - 481 = 482; with a carrier 40 kHz above it, every carrier of the four is within
  // 40 kHz of a product of the other three.
  EXPECT_EQ(rows(rig({480000, 481000, 483000, 482040}, Profile{0, 0, 50, 0})),
            (std::vector<Row>{{"im3_3tone", 480000, 480040, {481000, 482040, 483000}},
                              {"im3_3tone", 481000, 480960, {480000, 483000, 482040}},
                              {"im3_3tone", 482040, 482000, {480000, 483000, 481000}},
                              {"im3_3tone", 483000, 483040, {481000, 482040, 480000}}}));
  EXPECT_TRUE(rows(rig({480000, 481000, 483000, 482050}, Profile{0, 0, 50, 0})).empty());

  // 3 x 481 - 2 x 480 = 483; 3 x 480 - 2 x 481 = 478.
  EXPECT_EQ(rows(rig({480000, 481000, 483030}, Profile{0, 0, 0, 50})),
            (std::vector<Row>{{"im5_2tone", 483030, 483000, {481000, 480000}}}));
  EXPECT_TRUE(rows(rig({480000, 481000, 483030})).empty());  // off in the default profile
  EXPECT_TRUE(rows(rig({480000, 481000, 483050}, Profile{0, 0, 0, 50})).empty());

  EXPECT_EQ(
      rows(rig({480000, 480295, 480595}, Profile{300, 0, 0, 0})),
      (std::vector<Row>{{"spacing", 480000, -1, {480295}}, {"spacing", 480295, -1, {480000}}}));
  EXPECT_TRUE(rows(rig({480000, 480005, 480010, 480015}, Profile{0, 0, 0, 0})).empty());
}

TEST(Analysis, ACrowdedRigIsListedInPartWithEveryRuleButTheProducts) {
  // 400 carriers 100 kHz apart: every product lands on a carrier, some hundred million hits.
  std::vector<std::uint32_t> freqs;
  for (std::uint32_t i = 0; i < 400; ++i) freqs.push_back(470000 + i * 100);
  Scenario sc = rig(freqs);
  for (auto& u : sc.units) u.max_freq = 520000;
  sc.units.back().max_freq = 500000;  // its channel is out of band
  sc.exclusions = {{509000, 509900, "TV", false}};
  const Analysis a = analyse(sc);
  EXPECT_FALSE(a.complete);
  ASSERT_EQ(a.conflicts.size(), MAX_CONFLICTS);
  std::size_t spacing = 0, excluded = 0, band = 0;
  for (const Conflict& c : a.conflicts) {
    spacing += c.kind == ConflictKind::Spacing;
    excluded += c.kind == ConflictKind::Exclusion;
    band += c.kind == ConflictKind::Band;
  }
  EXPECT_EQ(spacing, 2U * (399U + 398U));  // both of every pair 100 or 200 kHz apart
  EXPECT_EQ(excluded, 10U);
  EXPECT_EQ(band, 1U);
  EXPECT_EQ(analyse(sc).conflicts, a.conflicts);
  // Below the bound the list is whole.
  EXPECT_TRUE(analyse(rig({480000, 481000, 482000})).complete);
}

TEST(Analysis, ExclusionEndsAreIncluded) {
  Scenario sc = rig({469995, 470000, 476000, 476005}, Profile{0, 0, 0, 0});
  sc.units[0].min_freq = sc.units[3].min_freq = 460000;
  sc.exclusions = {{470000, 476000, "TV 21", false}, {476005, 476005, "peak", true}};
  EXPECT_EQ(rows(sc), (std::vector<Row>{{"exclusion", 470000, -1, {}},
                                        {"exclusion", 476000, -1, {}},
                                        {"scan", 476005, -1, {}}}));
  EXPECT_EQ(analyse(sc).conflicts[0].exclusion->note, "TV 21");
}

TEST(Analysis, BandNamesOnlyTheChannelsOutsideTheirUnitsRange) {
  Scenario sc;
  sc.profile = Profile{0, 0, 0, 0};
  sc.units = {{"A", 470000, 494000, {{469995}, {470000}, {494000}, {494005}, {480002}}, false},
              {"B", 460000, 500000, {{469995}}, false},
              // Range not reported: only above the maximum is outside.
              {"C", 0, 494000, {{100000}, {494100}}, false}};
  const Analysis a = analyse(sc);
  std::vector<std::pair<std::uint32_t, std::vector<Source>>> band;
  for (const Conflict& c : a.conflicts) band.emplace_back(c.victim_khz, c.sources);
  EXPECT_EQ(band, (decltype(band){{469995, {{"A", 1, {}}}},
                                  {480002, {{"A", 5, {}}}},
                                  {494005, {{"A", 4, {}}}},
                                  {494100, {{"C", 2, {}}}}}));
}

TEST(Analysis, SharedDuplicateAndDisabledChannels) {
  Scenario sc;
  sc.profile = Profile{0, 0, 0, 0};
  sc.units = {{"B", 470000, 494000, {{480000}, {481000}, {481000}, {485000, false}}, false},
              {"A", 470000, 494000, {{480000}}, true}};
  const Analysis a = analyse(sc);
  ASSERT_EQ(a.carriers.size(), 2u);  // the disabled 485000 is not on air
  EXPECT_EQ(a.carriers[0], (Carrier{480000, {{"A", 1, {}}, {"B", 1, {}}}}));
  EXPECT_EQ(a.shared, std::vector<Carrier>{a.carriers[0]});
  EXPECT_EQ(a.duplicates, (std::vector<Duplicate>{{"B", 481000, {2, 3}}}));
  EXPECT_TRUE(a.conflicts.empty());
  EXPECT_EQ(a.carrier(481000)->sources.size(), 2u);
  EXPECT_EQ(a.carrier(481005), nullptr);
}

TEST(Analysis, OtherCarrierOnAUnitsFrequencyIsAConflictEvenWithSpacingOff) {
  Scenario sc = rig({482350}, Profile{0, 0, 0, 0});
  sc.other_carriers = {{482350, "house intercom"}};
  const Analysis a = analyse(sc);
  ASSERT_EQ(a.carriers.size(), 1u);
  EXPECT_TRUE(a.shared.empty());
  EXPECT_EQ(rows(sc), (std::vector<Row>{{"spacing", 482350, -1, {482350}}}));
  EXPECT_EQ(describe(a.conflicts[0], a),
            "spacing 482.350 MHz is used by SIM0001 channel 1, house intercom");
}

TEST(Analysis, DescribeNamesProductGeneratorsAndVictim) {
  Scenario sc = rig({480100, 485000, 482350, 482750}, Profile{0, 0, 50, 0});
  sc.units[2].key = "SIM0003";
  const Analysis a = analyse(sc);
  std::vector<std::string> texts;
  for (const Conflict& c : a.conflicts) {
    if (c.victim_khz == 482350) texts.push_back(describe(c, a));
  }
  EXPECT_EQ(texts, std::vector<std::string>{
                       "im3 3-tone 482.350 MHz from 480.100 + 485.000 − 482.750 hits SIM0003 "
                       "channel 1"});

  Scenario two = rig({480000, 481000, 482000}, Profile{300, 100, 0, 50});
  const Analysis b = analyse(two);
  ASSERT_FALSE(b.conflicts.empty());
  EXPECT_EQ(describe(b.conflicts[0], b),
            "im3 2-tone 480.000 MHz from 2 × 481.000 − 482.000 hits SIM0001 channel 1");
  EXPECT_EQ(mhz_text(-1250), "-1.250");
}

}  // namespace
}  // namespace owl::coord
