#include "analysis.hpp"

#include <algorithm>
#include <array>
#include <map>
#include <tuple>

namespace owl::coord {
namespace {

// A conflict before its carriers are copied in: indexes into the carrier list.
struct RawConflict {
  ConflictKind kind;
  std::size_t victim;
  std::optional<std::int64_t> product;
  std::array<std::size_t, 3> generators;  // the first `count` are used
  std::size_t count = 0;
  std::size_t exclusion = 0;
  std::vector<Source> band_sources;
};

bool unit_first(const Source& a, const Source& b) {
  if (a.is_other() != b.is_other()) return !a.is_other();
  if (a.is_other()) return false;  // other carriers keep their given order
  return std::tie(a.key, a.channel) < std::tie(b.key, b.channel);
}

// Frequencies of carriers f with |f - product| < guard, as a range of indexes into `freqs`.
std::pair<std::size_t, std::size_t> near(const std::vector<std::int64_t>& freqs,
                                         std::int64_t product, std::int64_t guard) {
  const auto lo = std::upper_bound(freqs.begin(), freqs.end(), product - guard);
  const auto hi = std::lower_bound(lo, freqs.end(), product + guard);
  return {static_cast<std::size_t>(lo - freqs.begin()),
          static_cast<std::size_t>(hi - freqs.begin())};
}

bool in_band(const UnitPlan& unit, std::uint32_t f) {
  if (f % 5 != 0 || f > unit.max_freq) return false;
  return unit.min_freq == 0 || f >= unit.min_freq;
}

std::string sources_text(const std::vector<Source>& sources) {
  std::string out;
  for (const Source& s : sources) {
    if (!out.empty()) out += ", ";
    if (s.is_other()) {
      out += s.note.empty() ? std::string("other carrier") : s.note;
    } else {
      out += s.key + " channel " + std::to_string(s.channel);
    }
  }
  return out;
}

// The enabled channels and other carriers by frequency, and the unit channels outside their
// unit's range.
struct Channels {
  std::map<std::uint32_t, std::vector<Source>> by_freq;
  std::map<std::uint32_t, std::vector<Source>> off_band;
};

Channels gather_channels(const Scenario& scenario, std::vector<Duplicate>& duplicates) {
  Channels out;
  for (const UnitPlan& unit : scenario.units) {
    std::map<std::uint32_t, std::vector<unsigned>> own;
    for (std::size_t i = 0; i < unit.channels.size(); ++i) {
      const ChannelPlan& ch = unit.channels[i];
      if (!ch.enabled) continue;
      const auto number = static_cast<unsigned>(i + 1);
      out.by_freq[ch.frequency_khz].push_back(Source{unit.key, number, {}});
      if (!in_band(unit, ch.frequency_khz)) {
        out.off_band[ch.frequency_khz].push_back(Source{unit.key, number, {}});
      }
      own[ch.frequency_khz].push_back(number);
    }
    for (auto& [f, numbers] : own) {
      if (numbers.size() > 1) duplicates.push_back(Duplicate{unit.key, f, numbers});
    }
  }
  for (const OtherCarrier& other : scenario.other_carriers) {
    out.by_freq[other.frequency_khz].push_back(Source{{}, 0, other.note});
  }
  std::sort(duplicates.begin(), duplicates.end(), [](const auto& a, const auto& b) {
    return std::tie(a.key, a.frequency_khz) < std::tie(b.key, b.frequency_khz);
  });
  return out;
}

// Fills `carriers` in ascending frequency, units before other carriers on each, and returns
// their frequencies: the conflict search indexes both by the same position.
std::vector<std::int64_t> list_carriers(std::map<std::uint32_t, std::vector<Source>>& by_freq,
                                        std::vector<Carrier>& carriers) {
  std::vector<std::int64_t> freqs;
  for (auto& [f, sources] : by_freq) {
    std::stable_sort(sources.begin(), sources.end(), unit_first);
    freqs.push_back(f);
    carriers.push_back(Carrier{f, sources});
  }
  return freqs;
}

// Carriers that units share, and receivers tuned to another carrier's transmitter.
void add_shared(const std::vector<Carrier>& carriers, std::vector<Carrier>& shared,
                std::vector<RawConflict>& raw) {
  for (std::size_t i = 0; i < carriers.size(); ++i) {
    std::vector<std::string> keys;
    bool other = false;
    for (const Source& s : carriers[i].sources) {
      if (s.is_other()) {
        other = true;
      } else if (std::find(keys.begin(), keys.end(), s.key) == keys.end()) {
        keys.push_back(s.key);
      }
    }
    if (keys.size() > 1) shared.push_back(carriers[i]);
    // A receiver tuned to someone else's transmitter hears it, whatever the spacing rule says.
    if (other && !keys.empty()) raw.push_back({ConflictKind::Spacing, i, {}, {i, 0, 0}, 1, 0, {}});
  }
}

void add_spacing(const std::vector<std::int64_t>& freqs, std::int64_t sp,
                 std::vector<RawConflict>& raw) {
  if (sp <= 0) return;
  const std::size_t n = freqs.size();
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = i + 1; j < n && freqs[j] - freqs[i] < sp; ++j) {
      raw.push_back({ConflictKind::Spacing, i, {}, {j, 0, 0}, 1, 0, {}});
      raw.push_back({ConflictKind::Spacing, j, {}, {i, 0, 0}, 1, 0, {}});
    }
  }
}

// Every carrier within the guard of a three-tone product a + b - c of the pair a, b, other than
// a, b and c.
void add_three_tone(const std::vector<std::int64_t>& freqs, std::size_t a, std::size_t b,
                    std::int64_t guard, std::vector<RawConflict>& raw) {
  const std::size_t n = freqs.size();
  // As c rises the product falls, so the window of carriers near it only moves down.
  std::size_t lo = n;  // first carrier above product - guard
  std::size_t hi = n;  // first carrier at or above product + guard
  for (std::size_t c = 0; c < n; ++c) {
    const std::int64_t product = freqs[a] + freqs[b] - freqs[c];
    while (hi > 0 && freqs[hi - 1] >= product + guard) --hi;
    while (lo > 0 && freqs[lo - 1] > product - guard) --lo;
    if (c == a || c == b) continue;
    for (std::size_t v = lo; v < hi; ++v) {
      if (v == a || v == b || v == c) continue;
      raw.push_back({ConflictKind::Im3ThreeTone, v, product, {a, b, c}, 3, 0, {}});
    }
  }
}

// Every carrier within the guard of a two-tone product k_a * a - k_b * b, other than a and b.
// Products stop being looked for once `raw` holds more than `stop_at` conflicts.
void add_two_tone(const std::vector<std::int64_t>& freqs, ConflictKind kind, std::int64_t ka,
                  std::int64_t kb, std::int64_t guard, std::size_t stop_at,
                  std::vector<RawConflict>& raw) {
  if (guard <= 0) return;
  const std::size_t n = freqs.size();
  for (std::size_t a = 0; a < n && raw.size() <= stop_at; ++a) {
    for (std::size_t b = 0; b < n; ++b) {
      if (a == b) continue;
      const std::int64_t product = ka * freqs[a] - kb * freqs[b];
      const auto [lo, hi] = near(freqs, product, guard);
      for (std::size_t v = lo; v < hi; ++v) {
        if (v == a || v == b) continue;
        raw.push_back({kind, v, product, {a, b, 0}, 2, 0, {}});
      }
    }
  }
}

void add_products(const std::vector<std::int64_t>& freqs, const Profile& profile,
                  std::size_t stop_at, std::vector<RawConflict>& raw) {
  add_two_tone(freqs, ConflictKind::Im3TwoTone, 2, 1, profile.im3_2tone_khz, stop_at, raw);
  add_two_tone(freqs, ConflictKind::Im5TwoTone, 3, 2, profile.im5_2tone_khz, stop_at, raw);
  const std::int64_t g3 = profile.im3_3tone_khz;
  if (g3 <= 0) return;
  for (std::size_t a = 0; a < freqs.size() && raw.size() <= stop_at; ++a) {
    for (std::size_t b = a + 1; b < freqs.size() && raw.size() <= stop_at; ++b) {
      add_three_tone(freqs, a, b, g3, raw);
    }
  }
}

void add_exclusions(const std::vector<std::int64_t>& freqs,
                    const std::vector<Exclusion>& exclusions, std::vector<RawConflict>& raw) {
  for (std::size_t e = 0; e < exclusions.size(); ++e) {
    const Exclusion& ex = exclusions[e];
    const auto lo = std::lower_bound(freqs.begin(), freqs.end(), std::int64_t{ex.from_khz});
    const auto hi = std::upper_bound(freqs.begin(), freqs.end(), std::int64_t{ex.to_khz});
    for (auto it = lo; it < hi; ++it) {
      const auto v = static_cast<std::size_t>(it - freqs.begin());
      raw.push_back(
          {ex.from_scan ? ConflictKind::Scan : ConflictKind::Exclusion, v, {}, {}, 0, e, {}});
    }
  }
}

// Takes the sources out of `off_band`.
void add_off_band(std::map<std::uint32_t, std::vector<Source>>& off_band,
                  const std::vector<std::int64_t>& freqs, std::vector<RawConflict>& raw) {
  for (auto& [f, outside] : off_band) {
    std::sort(outside.begin(), outside.end(), unit_first);
    const auto v = static_cast<std::size_t>(
        std::lower_bound(freqs.begin(), freqs.end(), std::int64_t{f}) - freqs.begin());
    raw.push_back({ConflictKind::Band, v, {}, {}, 0, 0, std::move(outside)});
  }
}

// Orders the raw conflicts and copies their carriers in. No two raw conflicts are equal in the
// sort key, so the order in which the rules found them does not matter.
std::vector<Conflict> to_conflicts(std::vector<RawConflict>& raw,
                                   const std::vector<Carrier>& carriers,
                                   const std::vector<Exclusion>& exclusions) {
  std::sort(raw.begin(), raw.end(), [](const RawConflict& a, const RawConflict& b) {
    return std::tie(a.victim, a.kind, a.product, a.count, a.generators, a.exclusion) <
           std::tie(b.victim, b.kind, b.product, b.count, b.generators, b.exclusion);
  });
  std::vector<Conflict> out;
  out.reserve(raw.size());
  for (RawConflict& r : raw) {
    Conflict c;
    c.kind = r.kind;
    c.victim_khz = carriers[r.victim].frequency_khz;
    c.product_khz = r.product;
    for (std::size_t g = 0; g < r.count; ++g) {
      c.generators_khz.push_back(carriers[r.generators[g]].frequency_khz);
    }
    if (r.kind == ConflictKind::Exclusion || r.kind == ConflictKind::Scan) {
      c.exclusion = exclusions[r.exclusion];
    }
    c.sources = std::move(r.band_sources);
    out.push_back(std::move(c));
  }
  return out;
}

}  // namespace

std::string_view kind_name(ConflictKind kind) {
  switch (kind) {
    case ConflictKind::Spacing:
      return "spacing";
    case ConflictKind::Im3TwoTone:
      return "im3_2tone";
    case ConflictKind::Im3ThreeTone:
      return "im3_3tone";
    case ConflictKind::Im5TwoTone:
      return "im5_2tone";
    case ConflictKind::Exclusion:
      return "exclusion";
    case ConflictKind::Scan:
      return "scan";
    case ConflictKind::Band:
      return "band";
  }
  return "unknown";
}

const Carrier* Analysis::carrier(std::uint32_t frequency_khz) const {
  const auto it =
      std::lower_bound(carriers.begin(), carriers.end(), frequency_khz,
                       [](const Carrier& c, std::uint32_t f) { return c.frequency_khz < f; });
  return it != carriers.end() && it->frequency_khz == frequency_khz ? &*it : nullptr;
}

std::string mhz_text(std::int64_t khz) {
  const std::int64_t mag = khz < 0 ? -khz : khz;
  std::string frac = std::to_string(mag % 1000);
  frac.insert(0, 3 - frac.size(), '0');
  return (khz < 0 ? "-" : "") + std::to_string(mag / 1000) + "." + frac;
}

std::string product_text(ConflictKind kind, std::int64_t product_khz,
                         const std::vector<std::uint32_t>& generators_khz) {
  const std::string product = mhz_text(product_khz);
  const auto gen = [&](std::size_t i) { return mhz_text(generators_khz.at(i)); };
  switch (kind) {
    case ConflictKind::Im3TwoTone:
      return "im3 2-tone " + product + " MHz from 2 × " + gen(0) + " − " + gen(1);
    case ConflictKind::Im3ThreeTone:
      return "im3 3-tone " + product + " MHz from " + gen(0) + " + " + gen(1) + " − " + gen(2);
    case ConflictKind::Im5TwoTone:
      return "im5 2-tone " + product + " MHz from 3 × " + gen(0) + " − 2 × " + gen(1);
    default:
      return {};
  }
}

std::string describe(const Conflict& c, const Analysis& analysis) {
  const auto f = [](std::int64_t khz) { return mhz_text(khz); };
  std::vector<Source> victims = c.sources;
  if (victims.empty()) {
    if (const Carrier* v = analysis.carrier(c.victim_khz)) victims = v->sources;
  }
  const std::string hits = " hits " + sources_text(victims);
  switch (c.kind) {
    case ConflictKind::Spacing: {
      const std::uint32_t other = c.generators_khz.empty() ? c.victim_khz : c.generators_khz[0];
      if (other == c.victim_khz) {
        return "spacing " + f(c.victim_khz) + " MHz is used by " + sources_text(victims);
      }
      const auto gap = other > c.victim_khz ? other - c.victim_khz : c.victim_khz - other;
      return "spacing " + f(c.victim_khz) + " MHz is " + std::to_string(gap) + " kHz from " +
             f(other) + " MHz" + hits;
    }
    case ConflictKind::Im3TwoTone:
    case ConflictKind::Im3ThreeTone:
    case ConflictKind::Im5TwoTone:
      return product_text(c.kind, c.product_khz.value_or(0), c.generators_khz) + hits;
    case ConflictKind::Exclusion:
    case ConflictKind::Scan: {
      std::string range = c.exclusion
                              ? f(c.exclusion->from_khz) + "-" + f(c.exclusion->to_khz) + " MHz"
                              : std::string("range");
      if (c.exclusion && !c.exclusion->note.empty()) range += " (" + c.exclusion->note + ")";
      return std::string(kind_name(c.kind)) + " " + f(c.victim_khz) + " MHz is inside " + range +
             hits;
    }
    case ConflictKind::Band:
      return "band " + f(c.victim_khz) + " MHz is outside the unit's range or off the 5 kHz step" +
             hits;
  }
  return std::string(kind_name(c.kind));
}

Analysis analyse(const Scenario& scenario) {
  Analysis out;
  Channels channels = gather_channels(scenario, out.duplicates);
  const std::vector<std::int64_t> freqs = list_carriers(channels.by_freq, out.carriers);
  std::vector<RawConflict> raw;
  add_shared(out.carriers, out.shared, raw);
  add_spacing(freqs, scenario.profile.carrier_spacing_khz, raw);
  add_exclusions(freqs, scenario.exclusions, raw);
  add_off_band(channels.off_band, freqs, raw);
  // Last, so that when the products are too many to list, every other rule is still listed.
  const std::size_t rules = raw.size();
  const std::size_t budget = MAX_CONFLICTS > rules ? MAX_CONFLICTS - rules : 0;
  add_products(freqs, scenario.profile, rules + budget, raw);
  out.complete = raw.size() <= rules + budget;
  // The products found first are kept: the same ones for the same input.
  if (!out.complete) raw.resize(rules + budget);
  out.conflicts = to_conflicts(raw, out.carriers, scenario.exclusions);
  return out;
}

}  // namespace owl::coord
