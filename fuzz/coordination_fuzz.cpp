// libFuzzer target for frequency coordination.
//
// The input describes a profile, units with channels, other carriers and exclusions in a narrow
// band, so that products and near misses are common. Checks, all surviving NDEBUG:
//  1. analyse() reports exactly the conflicts of a naive implementation written here from the
//     rules: every ordered pair and triple of carriers against every carrier;
//  2. compatible(S, f) is true exactly when the analysis of S + f has no spacing or
//     intermodulation conflict involving f;
//  3. the planner's largest set in a small range, added to the other carriers, has no conflict
//     that involves one of its frequencies;
//  4. coordinate() moves only unlocked channels, onto distinct grid frequencies in their unit's
//     range, and the channels it placed have no conflict with each other, the locked units and
//     the other carriers.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "analysis.hpp"
#include "fuzz_check.hpp"
#include "planner.hpp"

namespace {

using namespace owl::coord;

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint32_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::uint32_t word() { return byte() | byte() << 8; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// A frequency near 480 MHz: mostly on the 25 kHz grid, sometimes on any kHz.
std::uint32_t frequency(Input& in) {
  const std::uint32_t w = in.word();
  if (w & 1) return 478000 + (w >> 1) % 4000;
  return 476000 + ((w >> 1) % 320) * 25;
}

// kind, victim, product (-1 when none), generators, band sources
using Row = std::tuple<int, std::uint32_t, std::int64_t, std::vector<std::uint32_t>,
                       std::vector<std::pair<std::string, unsigned>>>;

std::vector<Row> naive(const Scenario& sc) {
  std::map<std::uint32_t, std::pair<std::set<std::string>, bool>> on_air;  // unit keys, other
  std::map<std::uint32_t, std::vector<std::pair<std::string, unsigned>>> outside;
  for (const UnitPlan& u : sc.units) {
    for (std::size_t i = 0; i < u.channels.size(); ++i) {
      const ChannelPlan& c = u.channels[i];
      if (!c.enabled) continue;
      on_air[c.frequency_khz].first.insert(u.key);
      const bool below = u.min_freq != 0 && c.frequency_khz < u.min_freq;
      if (below || c.frequency_khz > u.max_freq || c.frequency_khz % 5 != 0) {
        outside[c.frequency_khz].push_back({u.key, static_cast<unsigned>(i + 1)});
      }
    }
  }
  for (const OtherCarrier& o : sc.other_carriers) on_air[o.frequency_khz].second = true;
  std::vector<std::int64_t> f;
  for (const auto& [freq, who] : on_air) f.push_back(freq);
  const Profile& p = sc.profile;
  std::vector<Row> rows;
  const auto add = [&](ConflictKind k, std::int64_t v, std::int64_t product,
                       std::vector<std::int64_t> gens) {
    std::vector<std::uint32_t> g(gens.begin(), gens.end());
    rows.emplace_back(static_cast<int>(k), static_cast<std::uint32_t>(v), product, g,
                      std::vector<std::pair<std::string, unsigned>>{});
  };
  const auto dist = [](std::int64_t a, std::int64_t b) { return a > b ? a - b : b - a; };
  for (const auto& [freq, who] : on_air) {
    if (who.second && !who.first.empty()) add(ConflictKind::Spacing, freq, -1, {freq});
  }
  for (const std::int64_t v : f) {
    for (const std::int64_t a : f) {
      if (a == v) continue;
      if (dist(a, v) < p.carrier_spacing_khz) add(ConflictKind::Spacing, v, -1, {a});
      for (const std::int64_t b : f) {
        if (b == a || b == v) continue;
        if (dist(2 * a - b, v) < p.im3_2tone_khz) {
          add(ConflictKind::Im3TwoTone, v, 2 * a - b, {a, b});
        }
        if (dist(3 * a - 2 * b, v) < p.im5_2tone_khz) {
          add(ConflictKind::Im5TwoTone, v, 3 * a - 2 * b, {a, b});
        }
        for (const std::int64_t c : f) {
          if (a < b && c != a && c != b && c != v && dist(a + b - c, v) < p.im3_3tone_khz) {
            add(ConflictKind::Im3ThreeTone, v, a + b - c, {a, b, c});
          }
        }
      }
    }
    for (const Exclusion& e : sc.exclusions) {
      if (v >= e.from_khz && v <= e.to_khz) {
        add(e.from_scan ? ConflictKind::Scan : ConflictKind::Exclusion, v, -1, {});
      }
    }
  }
  for (auto& [freq, who] : outside) {
    std::sort(who.begin(), who.end());
    rows.emplace_back(static_cast<int>(ConflictKind::Band), freq, -1, std::vector<std::uint32_t>{},
                      who);
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::vector<Row> library(const Analysis& a) {
  std::vector<Row> rows;
  for (const Conflict& c : a.conflicts) {
    std::vector<std::pair<std::string, unsigned>> who;
    for (const Source& s : c.sources) who.push_back({s.key, s.channel});
    rows.emplace_back(static_cast<int>(c.kind), c.victim_khz, c.product_khz.value_or(-1),
                      c.generators_khz, who);
    // Every frequency named resolves to a carrier with its units and channels.
    FUZZ_CHECK(a.carrier(c.victim_khz) != nullptr);
    for (std::uint32_t g : c.generators_khz) FUZZ_CHECK(a.carrier(g) != nullptr);
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

bool involves(const Conflict& c, std::uint32_t f) {
  return c.victim_khz == f ||
         std::find(c.generators_khz.begin(), c.generators_khz.end(), f) != c.generators_khz.end();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  Scenario sc;
  sc.profile = {in.byte() * 2, in.byte(), in.byte() / 2, in.byte() / 2};
  const std::uint32_t units = in.byte() % 6;
  for (std::uint32_t u = 0; u < units; ++u) {
    UnitPlan unit;
    unit.key = std::string(1, static_cast<char>('A' + u));
    unit.min_freq = in.byte() % 4 == 0 ? 0 : frequency(in);
    unit.max_freq = frequency(in) + 2000;
    const std::uint32_t channels = in.byte() % 4;
    for (std::uint32_t c = 0; c < channels; ++c) {
      unit.channels.push_back({frequency(in), in.byte() % 5 != 0});
    }
    sc.units.push_back(unit);
  }
  const std::uint32_t others = in.byte() % 4;
  for (std::uint32_t o = 0; o < others; ++o) sc.other_carriers.push_back({frequency(in), "x"});
  const std::uint32_t exclusions = in.byte() % 3;
  for (std::uint32_t e = 0; e < exclusions; ++e) {
    const std::uint32_t a = frequency(in);
    const std::uint32_t b = frequency(in);
    sc.exclusions.push_back({std::min(a, b), std::max(a, b), "", in.byte() % 2 == 1});
  }

  const Analysis a = analyse(sc);
  FUZZ_CHECK(library(a) == naive(sc));

  // compatible() against the analysis, with the carriers so far as S.
  std::vector<std::uint32_t> set;
  for (const Carrier& c : a.carriers) set.push_back(c.frequency_khz);
  const std::uint32_t f = frequency(in);
  if (std::find(set.begin(), set.end(), f) == set.end()) {
    Scenario with;
    with.profile = sc.profile;
    for (std::uint32_t s : set) with.other_carriers.push_back({s, ""});
    with.other_carriers.push_back({f, ""});
    bool clash = false;
    for (const Conflict& c : analyse(with).conflicts) clash = clash || involves(c, f);
    FUZZ_CHECK(compatible(sc.profile, set, f) == !clash);
  }

  // The planner's set adds no conflict to the other carriers.
  PlanOptions options;
  options.step_khz = 5 * (4 + in.byte() % 8);
  options.beam_width = 1 + in.byte() % 4;
  options.seed = in.byte();
  const std::uint32_t from = 476000 + in.byte() * 20;
  const MaxSet max = max_compatible_set(sc, from, from + 1000, options);
  FUZZ_CHECK(max.problems.empty());
  Scenario check = sc;
  check.units.clear();
  for (std::uint32_t m : max.frequencies_khz) {
    FUZZ_CHECK(m >= from && m <= from + 1000 && m % options.step_khz == 0);
    for (const OtherCarrier& o : sc.other_carriers) FUZZ_CHECK(o.frequency_khz != m);
    check.other_carriers.push_back({m, ""});
  }
  // Exclusion, scan and band conflicts name no generators, so this also keeps the set out of them.
  for (const Conflict& c : analyse(check).conflicts) {
    for (std::uint32_t m : max.frequencies_khz) FUZZ_CHECK(!involves(c, m));
  }

  const Plan plan = coordinate(sc, options);
  FUZZ_CHECK(plan.problems.empty());
  Scenario placed = sc;
  placed.units.clear();
  std::set<std::pair<std::string, unsigned>> moved;
  for (const Assignment& x : plan.assignments) moved.insert({x.key, x.channel});
  FUZZ_CHECK(moved.size() == plan.assignments.size());
  std::set<std::uint32_t> fixed;
  for (const OtherCarrier& o : sc.other_carriers) fixed.insert(o.frequency_khz);
  for (std::size_t u = 0; u < sc.units.size(); ++u) {
    const UnitPlan& before = sc.units[u];
    UnitPlan kept = plan.result.units[u];
    FUZZ_CHECK(kept.channels.size() == before.channels.size());
    for (std::size_t c = 0; c < kept.channels.size(); ++c) {
      const bool is_moved = moved.count({before.key, static_cast<unsigned>(c + 1)}) > 0;
      if (before.locked || !before.channels[c].enabled) FUZZ_CHECK(!is_moved);
      if (!is_moved) {
        FUZZ_CHECK(kept.channels[c] == before.channels[c]);
        if (!before.locked) kept.channels[c].enabled = false;  // unplaced: not part of the check
      }
      if (before.locked && before.channels[c].enabled)
        fixed.insert(before.channels[c].frequency_khz);
    }
    placed.units.push_back(kept);
  }
  std::set<std::uint32_t> to;
  for (const Assignment& x : plan.assignments) {
    FUZZ_CHECK(to.insert(x.to_khz).second && fixed.count(x.to_khz) == 0);
  }
  for (const Conflict& c : analyse(placed).conflicts) {
    for (const std::uint32_t m : to) FUZZ_CHECK(!involves(c, m));
  }
  return 0;
}
