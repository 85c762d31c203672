#include "planner.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <map>
#include <numeric>
#include <set>
#include <tuple>

namespace owl::coord {
namespace {

using Word = std::uint64_t;
constexpr std::size_t MAX_GRID_POINTS = 400000;
constexpr std::size_t MAX_CANDIDATES = 1024;  // per partial plan and search step

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}
std::int64_t ceil_div(std::int64_t a, std::int64_t b) {
  return -floor_div(-a, b);
}

std::uint64_t mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Grid point i is the frequency base + i * step.
struct Grid {
  std::int64_t base = 0;
  std::int64_t step = 25;
  std::size_t size = 0;
  std::size_t words() const { return (size + 63) / 64; }
  std::int64_t freq(std::size_t i) const { return base + static_cast<std::int64_t>(i) * step; }
};

void set_range(Word* bits, std::size_t lo, std::size_t hi) {  // [lo, hi]
  std::size_t wl = lo / 64;
  const std::size_t wh = hi / 64;
  const Word first = ~Word{0} << (lo % 64);
  const Word last = ~Word{0} >> (63 - hi % 64);
  if (wl == wh) {
    bits[wl] |= first & last;
    return;
  }
  bits[wl++] |= first;
  for (; wl < wh; ++wl) bits[wl] = ~Word{0};
  bits[wh] |= last;
}

bool test(const Word* bits, std::size_t i) {
  return (bits[i / 64] >> (i % 64)) & 1u;
}

// Marks every grid frequency f with |denom * f - numer| < guard.
void mark_near(const Grid& g, Word* bits, std::int64_t numer, std::int64_t denom,
               std::int64_t guard) {
  if (guard <= 0) return;
  const std::int64_t lo_f = floor_div(numer - guard, denom) + 1;
  const std::int64_t hi_f = ceil_div(numer + guard, denom) - 1;
  std::int64_t lo = ceil_div(lo_f - g.base, g.step);
  std::int64_t hi = floor_div(hi_f - g.base, g.step);
  lo = std::max<std::int64_t>(lo, 0);
  hi = std::min<std::int64_t>(hi, static_cast<std::int64_t>(g.size) - 1);
  if (lo > hi) return;
  set_range(bits, static_cast<std::size_t>(lo), static_cast<std::size_t>(hi));
}

// Where the marks of each rule go; all four may be the same buffer.
struct Sinks {
  Word* spacing;
  Word* im3_2;
  Word* im3_3;
  Word* im5;
};

// Adding carrier x to `existing` (distinct, without x) forbids every grid frequency f for which
// the set existing + x + f would have a conflict involving both f and x: f as the victim of a
// product x helps to make, or f as a generator of a product that hits x or hits another
// carrier with x's help. Conflicts involving f but not x were marked when their carriers came in.
void mark_carrier(const Grid& g, const Profile& p, const std::vector<std::int64_t>& existing,
                  std::int64_t x, const Sinks& out, bool three_tone = true) {
  mark_near(g, out.spacing, x, 1, std::max<std::int64_t>(p.carrier_spacing_khz, 1));
  const std::int64_t g2 = p.im3_2tone_khz;
  const std::int64_t g3 = p.im3_3tone_khz;
  const std::int64_t g5 = p.im5_2tone_khz;
  for (std::size_t i = 0; i < existing.size(); ++i) {
    const std::int64_t a = existing[i];
    if (g2 > 0) {
      mark_near(g, out.im3_2, 2 * x - a, 1, g2);  // f = 2x - a
      mark_near(g, out.im3_2, 2 * a - x, 1, g2);  // f = 2a - x
      mark_near(g, out.im3_2, x + a, 2, g2);      // 2f - a hits x, 2f - x hits a
    }
    if (g5 > 0) {
      mark_near(g, out.im5, 3 * x - 2 * a, 1, g5);
      mark_near(g, out.im5, 3 * a - 2 * x, 1, g5);
      mark_near(g, out.im5, 2 * x + a, 3, g5);  // 3f - 2x hits a
      mark_near(g, out.im5, 2 * a + x, 3, g5);  // 3f - 2a hits x
      mark_near(g, out.im5, 3 * x - a, 2, g5);  // 3x - 2f hits a
      mark_near(g, out.im5, 3 * a - x, 2, g5);  // 3a - 2f hits x
    }
    if (g3 > 0 && three_tone) {
      for (std::size_t j = 0; j < existing.size(); ++j) {
        if (j == i) continue;
        const std::int64_t b = existing[j];
        mark_near(g, out.im3_3, x + a - b, 1, g3);
        if (j > i) mark_near(g, out.im3_3, a + b - x, 1, g3);
      }
    }
  }
}

void mark_all(const Grid& g, const Profile& p, std::int64_t x,
              const std::vector<std::int64_t>& existing, Word* bits) {
  mark_carrier(g, p, existing, x, Sinks{bits, bits, bits, bits});
}

// Sets bits lo..hi of `bits`, clipped to 0..limit - 1.
void set_clipped(std::vector<Word>& bits, std::int64_t lo, std::int64_t hi, std::int64_t limit) {
  lo = std::max<std::int64_t>(lo, 0);
  hi = std::min(hi, limit - 1);
  if (lo <= hi) set_range(bits.data(), static_cast<std::size_t>(lo), static_cast<std::size_t>(hi));
}

// ORs bits start..start + n - 1 of `src` into bits 0..n - 1 of `dst`.
void or_window(Word* dst, const std::vector<Word>& src, std::size_t start, std::size_t n) {
  const std::size_t words = (n + 63) / 64;
  const std::size_t shift = start % 64;
  for (std::size_t w = 0; w < words; ++w) {
    const std::size_t sw = start / 64 + w;
    Word v = src[sw] >> shift;
    if (shift != 0 && sw + 1 < src.size()) v |= src[sw + 1] << (64 - shift);
    if (w == words - 1 && n % 64 != 0) v &= ~Word{0} >> (64 - n % 64);
    dst[w] |= v;
  }
}

// Three-tone marks by shifting. For carriers on the grid, the products x + a - b and a + b - x
// of a candidate x are the pair differences a - b and sums a + b moved by x, so one bitset of
// each, widened by the guard, marks all pairs at once instead of one pair at a time. Pairs with
// a carrier off the grid are marked one by one.
class PairSets {
 public:
  PairSets(const Grid& g, std::int64_t guard)
      : g_(g),
        guard_(guard),
        n_(static_cast<std::int64_t>(g.size)),
        r_(guard > 0 ? ceil_div(guard, g.step) - 1 : -1),
        od_(n_ + std::max<std::int64_t>(r_, 0)),
        diff_(static_cast<std::size_t>((2 * od_ + 1) / 64 + 2), 0),
        sum_(static_cast<std::size_t>((2 * n_) / 64 + 2), 0) {}

  void add(std::int64_t c) {
    if (r_ < 0) return;
    if ((c - g_.base) % g_.step != 0) {
      off_.push_back(c);
      return;
    }
    const std::int64_t ci = (c - g_.base) / g_.step;
    for (const std::int64_t a : on_) {
      for (const std::int64_t d : {ci - a, a - ci}) {
        set_clipped(diff_, d - r_ + od_, d + r_ + od_, 2 * od_ + 1);
      }
      set_clipped(sum_, ci + a - r_, ci + a + r_, 2 * n_);
    }
    on_.push_back(ci);
  }

  // Marks the three-tone products of candidate x (on the grid) with every pair of `carriers`.
  void mark(std::int64_t x, const std::vector<std::int64_t>& carriers, Word* marks) const {
    if (r_ < 0) return;
    const std::int64_t xi = (x - g_.base) / g_.step;
    const auto n = static_cast<std::size_t>(n_);
    or_window(marks, diff_, static_cast<std::size_t>(od_ - xi), n);
    or_window(marks, sum_, static_cast<std::size_t>(xi), n);
    for (const std::int64_t o : off_) {
      for (const std::int64_t a : carriers) {
        if (a == o) continue;
        mark_near(g_, marks, x + o - a, 1, guard_);
        mark_near(g_, marks, x + a - o, 1, guard_);
        mark_near(g_, marks, o + a - x, 1, guard_);
      }
    }
  }

 private:
  Grid g_;
  std::int64_t guard_;
  std::int64_t n_;
  std::int64_t r_;   // grid points either side of a product within the guard; -1 when off
  std::int64_t od_;  // bit of difference 0
  std::vector<Word> diff_;
  std::vector<Word> sum_;
  std::vector<std::int64_t> on_;  // grid indexes
  std::vector<std::int64_t> off_;
};

// One channel (or, for a maximum set, any number of frequencies) to place within `band`.
struct Slot {
  std::size_t band = 0;  // index into the distinct band masks
};

struct SearchInput {
  Grid grid;
  Profile profile;
  std::vector<std::int64_t> fixed;       // distinct, in the order they were marked
  std::vector<Word> fixed_marks;         // marks of `fixed`
  std::vector<std::vector<Word>> bands;  // allowed grid points per band, before marks
  std::vector<Slot> slots;               // placed in this order
  bool unbounded = false;                // one band, as many frequencies as fit
  std::uint64_t seed = 0;
  std::size_t beam_width = 24;
};

struct State {
  std::vector<Word> marks;
  PairSets pairs;
  std::vector<std::int64_t> chosen;     // fixed first, then placed in order
  std::vector<std::int64_t> slot_freq;  // -1 when unplaced
  std::size_t placed = 0;
  std::uint64_t set_hash = 0;
};

std::size_t count_free(const std::vector<Word>& mask, const std::vector<Word>& marks) {
  std::size_t n = 0;
  for (std::size_t w = 0; w < mask.size(); ++w)
    n += static_cast<std::size_t>(std::popcount(mask[w] & ~marks[w]));
  return n;
}

struct Child {
  std::size_t parent;
  std::int64_t freq;  // -1: the slot stays unplaced
  std::size_t placed;
  std::size_t free_after;
  std::uint64_t set_hash;
  std::uint64_t tie;
};

// Free points that later slots could still use: for each depth, the union of the bands of the
// slots from there on.
std::vector<std::vector<Word>> later_bands(const SearchInput& in) {
  const std::size_t words = in.grid.words();
  std::vector<std::vector<Word>> rest(in.slots.size() + 1, std::vector<Word>(words, 0));
  for (std::size_t d = in.slots.size(); d-- > 0;) {
    rest[d] = rest[d + 1];
    const auto& band = in.bands[in.slots[d].band];
    for (std::size_t w = 0; w < words; ++w) rest[d][w] |= band[w];
  }
  return rest;
}

State start_state(const SearchInput& in) {
  State start{in.fixed_marks, PairSets(in.grid, in.profile.im3_3tone_khz), {}, {}, 0, 0};
  for (const std::int64_t f : in.fixed) start.pairs.add(f);
  start.chosen = in.fixed;
  start.slot_freq.assign(in.slots.size(), -1);
  return start;
}

// Many channels: a narrower beam keeps the cost near linear in the number of channels.
std::size_t beam_width_for(const SearchInput& in) {
  if (in.unbounded) return in.beam_width;
  return std::max<std::size_t>(2, in.beam_width * 32 / std::max<std::size_t>(32, in.slots.size()));
}

// The slot one search step places.
struct Step {
  const std::vector<Word>& band;   // where its frequency may go
  const std::vector<Word>& later;  // where the slots after it may go
  std::uint64_t band_salt;         // the same frequency in another band makes another plan
};

// Reused by every extension, to spare allocations in the search's inner loop.
struct Buffers {
  std::vector<Word> scratch;
  std::vector<std::size_t> free_points;
  std::vector<Child> children;
};

// Appends to `buf.children` the extensions of partial plan `s` by each free frequency of the
// step's band, or, when none is free, the plan with the slot left unplaced.
void extend(const SearchInput& in, const Step& step, const State& st, std::size_t s, Buffers& buf) {
  const std::size_t words = in.grid.words();
  std::vector<std::size_t>& free_points = buf.free_points;
  free_points.clear();
  for (std::size_t w = 0; w < words; ++w) {
    for (Word free = step.band[w] & ~st.marks[w]; free != 0; free &= free - 1) {
      free_points.push_back(w * 64 + static_cast<std::size_t>(std::countr_zero(free)));
    }
  }
  const bool any = !free_points.empty();
  // Very wide bands early in a search: an even sample of the free points stands for all.
  const std::size_t take = std::min(free_points.size(), MAX_CANDIDATES);
  const std::size_t offset =
      take == 0 ? 0 : mix(st.set_hash ^ in.seed) % (free_points.size() / take);
  std::vector<Word>& scratch = buf.scratch;
  for (std::size_t k = 0; k < take; ++k) {
    const std::size_t pick =
        std::min(k * free_points.size() / take + offset, free_points.size() - 1);
    const std::int64_t f = in.grid.freq(free_points[pick]);
    scratch = st.marks;
    mark_carrier(in.grid, in.profile, st.chosen, f,
                 Sinks{scratch.data(), scratch.data(), scratch.data(), scratch.data()}, false);
    st.pairs.mark(f, st.chosen, scratch.data());
    const std::uint64_t h = st.set_hash + mix(static_cast<std::uint64_t>(f) ^ step.band_salt);
    buf.children.push_back(
        Child{s, f, st.placed + 1, count_free(step.later, scratch), h, mix(h ^ in.seed)});
  }
  if (!any && !in.unbounded) {
    buf.children.push_back(Child{s, -1, st.placed, count_free(step.later, st.marks), st.set_hash,
                                 mix(st.set_hash ^ in.seed ^ 0x5A5Aull)});
  }
}

// Keeps the best `width` distinct extensions, placing each child's frequency in its copy of the
// parent plan.
std::vector<State> keep_best(const SearchInput& in, const std::vector<State>& beam,
                             std::vector<Child>& children, std::size_t width, std::size_t slot) {
  std::sort(children.begin(), children.end(), [](const Child& a, const Child& b) {
    return std::tie(b.placed, b.free_after, a.tie) < std::tie(a.placed, a.free_after, b.tie);
  });
  std::vector<State> next;
  std::set<std::uint64_t> seen;
  for (const Child& c : children) {
    if (next.size() >= width) break;
    if (!seen.insert(c.set_hash).second) continue;
    State st = beam[c.parent];
    if (c.freq >= 0) {
      mark_all(in.grid, in.profile, c.freq, st.chosen, st.marks.data());
      st.pairs.add(c.freq);
      st.chosen.push_back(c.freq);
      if (!in.unbounded) st.slot_freq[slot] = c.freq;
      ++st.placed;
    }
    st.set_hash = c.set_hash;
    next.push_back(std::move(st));
  }
  return next;
}

// Beam search: each step extends every kept partial plan by one slot with every free grid
// frequency, scores the extensions by channels placed and then by how many grid points remain
// free for the slots still to come, and keeps the best `beam_width` distinct plans.
State beam_search(const SearchInput& in) {
  const std::size_t depth_count = in.unbounded ? in.grid.size : in.slots.size();
  const std::vector<std::vector<Word>> rest = later_bands(in);
  const std::size_t width = beam_width_for(in);
  std::vector<State> beam{start_state(in)};
  Buffers buf{std::vector<Word>(in.grid.words()), {}, {}};
  for (std::size_t d = 0; d < depth_count; ++d) {
    const std::vector<Word>& band = in.bands[in.unbounded ? 0 : in.slots[d].band];
    const Step step{band, in.unbounded ? band : rest[d + 1],
                    mix(in.unbounded ? 0 : in.slots[d].band + 1)};
    buf.children.clear();
    for (std::size_t s = 0; s < beam.size(); ++s) extend(in, step, beam[s], s, buf);
    if (buf.children.empty()) break;  // unbounded search: nothing fits any more
    beam = keep_best(in, beam, buf.children, width, in.unbounded ? 0 : d);
  }
  return beam.front();
}

std::vector<Word> band_mask(const Grid& g, std::int64_t lo, std::int64_t hi,
                            const std::vector<Exclusion>& exclusions) {
  std::vector<Word> bits(g.words(), 0);
  const auto fill = [&](std::int64_t from, std::int64_t to, bool on) {
    std::int64_t i = std::max<std::int64_t>(ceil_div(from - g.base, g.step), 0);
    const std::int64_t j = std::min<std::int64_t>(floor_div(to - g.base, g.step),
                                                  static_cast<std::int64_t>(g.size) - 1);
    for (; i <= j; ++i) {
      const auto u = static_cast<std::size_t>(i);
      if (on) {
        bits[u / 64] |= Word{1} << (u % 64);
      } else {
        bits[u / 64] &= ~(Word{1} << (u % 64));
      }
    }
  };
  fill(lo, hi, true);
  for (const Exclusion& e : exclusions) fill(e.from_khz, e.to_khz, false);
  return bits;
}

bool excluded(const std::vector<Exclusion>& exclusions, std::uint32_t f) {
  return std::any_of(exclusions.begin(), exclusions.end(),
                     [f](const Exclusion& e) { return f >= e.from_khz && f <= e.to_khz; });
}

std::string step_problem(std::uint32_t step) {
  if (step == 0 || step % 5 != 0) {
    return "the step must be a positive multiple of 5 kHz, not " + std::to_string(step);
  }
  return {};
}

// Grid over lo..hi (kHz) aligned to multiples of the step; empty when no multiple lies inside.
Grid make_grid(std::int64_t lo, std::int64_t hi, std::uint32_t step) {
  Grid g;
  g.step = step;
  g.base = ceil_div(lo, step) * step;
  const std::int64_t top = floor_div(hi, step) * step;
  g.size = top < g.base ? 0 : static_cast<std::size_t>((top - g.base) / step + 1);
  return g;
}

std::string too_wide(const Grid& g) {
  return "the range holds " + std::to_string(g.size) + " grid points, more than " +
         std::to_string(MAX_GRID_POINTS) + "; use a larger step";
}

void mark_fixed(SearchInput& in) {
  in.fixed_marks.assign(in.grid.words(), 0);
  std::vector<std::int64_t> so_far;
  for (const std::int64_t f : in.fixed) {
    mark_all(in.grid, in.profile, f, so_far, in.fixed_marks.data());
    so_far.push_back(f);
  }
}

// Names the rules that leave no room for a channel in its unit's range.
Unplaced explain(const Grid& g, const Profile& p, const std::vector<std::int64_t>& carriers,
                 const UnitPlan& unit, unsigned channel, const std::vector<Exclusion>& exclusions,
                 std::uint32_t step) {
  Unplaced u{unit.key, channel, ConflictKind::Band, {}};
  if (unit.min_freq == 0) {
    u.reason = "the unit has not reported its frequency range";
    return u;
  }
  const std::string range =
      std::to_string(unit.min_freq) + "-" + std::to_string(unit.max_freq) + " kHz";
  const Grid ug = make_grid(unit.min_freq, unit.max_freq, step);
  if (ug.size == 0) {
    u.reason = "no frequency on the " + std::to_string(step) + " kHz grid in " + range;
    return u;
  }
  std::array<std::vector<Word>, 4> kinds;
  for (auto& k : kinds) k.assign(g.words(), 0);
  std::vector<std::int64_t> so_far;
  for (const std::int64_t f : carriers) {
    mark_carrier(g, p, so_far, f,
                 Sinks{kinds[0].data(), kinds[1].data(), kinds[2].data(), kinds[3].data()});
    so_far.push_back(f);
  }
  const std::array<ConflictKind, 6> rules = {ConflictKind::Spacing,      ConflictKind::Im3TwoTone,
                                             ConflictKind::Im3ThreeTone, ConflictKind::Im5TwoTone,
                                             ConflictKind::Exclusion,    ConflictKind::Scan};
  std::array<std::size_t, 6> counts{};
  for (std::size_t i = 0; i < ug.size; ++i) {
    const std::int64_t f = ug.freq(i);
    const std::int64_t gi = (f - g.base) / g.step;
    for (std::size_t k = 0; k < 4; ++k) {
      if (gi >= 0 && static_cast<std::size_t>(gi) < g.size &&
          test(kinds[k].data(), static_cast<std::size_t>(gi))) {
        ++counts[k];
      }
    }
    for (const Exclusion& e : exclusions) {
      if (f >= e.from_khz && f <= e.to_khz) {
        ++counts[e.from_scan ? 5 : 4];
        break;
      }
    }
  }
  std::array<std::size_t, 6> order{0, 1, 2, 3, 4, 5};
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return counts[a] > counts[b]; });
  u.rule = rules[order[0]];
  u.reason = "no compatible frequency left in " + range + " (" + std::to_string(ug.size) +
             " points on the " + std::to_string(step) + " kHz grid); blocked by ";
  bool first = true;
  for (std::size_t k : order) {
    if (counts[k] == 0) continue;
    u.reason +=
        (first ? "" : ", ") + std::string(kind_name(rules[k])) + " at " + std::to_string(counts[k]);
    first = false;
  }
  return u;
}

struct Movable {
  std::size_t unit;
  unsigned channel;
  std::uint32_t current;
};

// The search over the channels not kept: returns the frequency per entry of `todo` (-1 when
// not placed).
std::vector<std::int64_t> place(const Scenario& sc, const std::vector<Movable>& todo,
                                const std::vector<std::int64_t>& fixed, const Grid& grid,
                                const PlanOptions& options) {
  if (todo.empty()) return {};
  SearchInput in;
  in.grid = grid;
  in.profile = sc.profile;
  in.fixed = fixed;
  in.seed = options.seed;
  in.beam_width = std::max<std::uint32_t>(options.beam_width, 1);
  mark_fixed(in);
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::size_t> band_ids;
  std::vector<std::size_t> order(todo.size());
  std::vector<Slot> slots;
  for (const Movable& m : todo) {
    const UnitPlan& unit = sc.units[m.unit];
    const auto key = std::make_pair(unit.min_freq, unit.max_freq);
    auto [it, fresh] = band_ids.emplace(key, in.bands.size());
    if (fresh) {
      in.bands.push_back(unit.min_freq == 0
                             ? std::vector<Word>(grid.words(), 0)
                             : band_mask(grid, unit.min_freq, unit.max_freq, sc.exclusions));
    }
    slots.push_back(Slot{it->second});
  }
  // Narrow bands first: they have the fewest choices left once the wide ones are placed.
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::vector<std::size_t> width(in.bands.size());
  for (std::size_t b = 0; b < in.bands.size(); ++b)
    width[b] = count_free(in.bands[b], std::vector<Word>(grid.words(), 0));
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return width[slots[a].band] < width[slots[b].band];
  });
  for (std::size_t i : order) in.slots.push_back(slots[i]);
  const State best = beam_search(in);
  std::vector<std::int64_t> out(todo.size(), -1);
  for (std::size_t k = 0; k < order.size(); ++k) out[order[k]] = best.slot_freq[k];
  return out;
}

// The enabled channels of a scenario: those of locked units and the other carriers stay where
// they are, the others may move within their unit's range.
struct ChannelSets {
  std::vector<std::int64_t> fixed;  // distinct, ascending
  std::vector<Movable> movable;     // by key, then channel
  std::int64_t lo = INT64_MAX;      // the ranges of the movable channels' units together
  std::int64_t hi = INT64_MIN;
};

ChannelSets split_channels(const Scenario& sc) {
  ChannelSets out;
  for (std::size_t u = 0; u < sc.units.size(); ++u) {
    const UnitPlan& unit = sc.units[u];
    for (std::size_t c = 0; c < unit.channels.size(); ++c) {
      if (!unit.channels[c].enabled) continue;
      if (unit.locked) {
        out.fixed.push_back(unit.channels[c].frequency_khz);
      } else {
        out.movable.push_back(
            Movable{u, static_cast<unsigned>(c + 1), unit.channels[c].frequency_khz});
        if (unit.min_freq != 0 && unit.min_freq <= unit.max_freq) {
          out.lo = std::min<std::int64_t>(out.lo, unit.min_freq);
          out.hi = std::max<std::int64_t>(out.hi, unit.max_freq);
        }
      }
    }
  }
  for (const OtherCarrier& o : sc.other_carriers) out.fixed.push_back(o.frequency_khz);
  std::sort(out.fixed.begin(), out.fixed.end());
  out.fixed.erase(std::unique(out.fixed.begin(), out.fixed.end()), out.fixed.end());
  std::stable_sort(out.movable.begin(), out.movable.end(), [&](const Movable& a, const Movable& b) {
    return std::tie(sc.units[a.unit].key, a.channel) < std::tie(sc.units[b.unit].key, b.channel);
  });
  return out;
}

// The movable channels whose current frequency fits next to the fixed ones and those kept
// before them, in key order; the rest are to be searched for.
struct Kept {
  std::vector<std::int64_t> set;        // the fixed frequencies, then the kept ones
  std::vector<std::int64_t> freq;       // per movable channel; -1 where it is in `todo`
  std::vector<Movable> todo;            // the channels not kept
  std::vector<std::size_t> todo_index;  // their index among the movable channels
};

Kept keep_current(const Scenario& sc, const ChannelSets& ch) {
  Kept out{ch.fixed, std::vector<std::int64_t>(ch.movable.size(), -1), {}, {}};
  for (std::size_t i = 0; i < ch.movable.size(); ++i) {
    const Movable& m = ch.movable[i];
    const UnitPlan& unit = sc.units[m.unit];
    const std::uint32_t f = m.current;
    std::vector<std::uint32_t> now(out.set.begin(), out.set.end());
    const bool fits = unit.min_freq != 0 && f >= unit.min_freq && f <= unit.max_freq &&
                      f % 5 == 0 && !excluded(sc.exclusions, f) && compatible(sc.profile, now, f);
    if (fits) {
      out.freq[i] = f;
      out.set.push_back(f);
    } else {
      out.todo.push_back(m);
      out.todo_index.push_back(i);
    }
  }
  return out;
}

std::ptrdiff_t placed_count(const std::vector<std::int64_t>& freqs) {
  return std::count_if(freqs.begin(), freqs.end(), [](std::int64_t f) { return f >= 0; });
}

// The frequency per movable channel (-1 when not placed): current frequencies are kept where
// they fit and the rest searched for.
std::vector<std::int64_t> choose(const Scenario& sc, const ChannelSets& ch, const Grid& grid,
                                 const PlanOptions& options) {
  Kept kept = keep_current(sc, ch);
  const auto placed_keep = place(sc, kept.todo, kept.set, grid, options);
  for (std::size_t k = 0; k < kept.todo.size(); ++k) kept.freq[kept.todo_index[k]] = placed_keep[k];
  // Keeping is only a preference: when it costs channels, search everything afresh.
  const auto movable_count = static_cast<std::ptrdiff_t>(ch.movable.size());
  if (placed_count(kept.freq) < movable_count && kept.todo.size() < ch.movable.size()) {
    auto fresh = place(sc, ch.movable, ch.fixed, grid, options);
    if (placed_count(fresh) > placed_count(kept.freq)) return fresh;
  }
  return std::move(kept.freq);
}

// Writes the placed channels into the plan's assignments and result; returns every carrier of
// the result that is on the air: the fixed ones, then the placed ones.
std::vector<std::int64_t> apply_moves(const Scenario& sc, const ChannelSets& ch,
                                      const std::vector<std::int64_t>& chosen, Plan& plan) {
  std::vector<std::int64_t> all = ch.fixed;
  for (std::size_t i = 0; i < ch.movable.size(); ++i) {
    if (chosen[i] < 0) continue;
    const Movable& m = ch.movable[i];
    const auto to = static_cast<std::uint32_t>(chosen[i]);
    plan.assignments.push_back(Assignment{sc.units[m.unit].key, m.channel, m.current, to});
    plan.result.units[m.unit].channels[m.channel - 1].frequency_khz = to;
    all.push_back(to);
  }
  return all;
}

void explain_unplaced(const Scenario& sc, const std::vector<Movable>& movable,
                      const std::vector<std::int64_t>& chosen, const std::vector<std::int64_t>& all,
                      const Grid& grid, std::uint32_t step, std::vector<Unplaced>& unplaced) {
  for (std::size_t i = 0; i < movable.size(); ++i) {
    if (chosen[i] >= 0) continue;
    const Movable& m = movable[i];
    unplaced.push_back(
        explain(grid, sc.profile, all, sc.units[m.unit], m.channel, sc.exclusions, step));
  }
}

}  // namespace

bool compatible(const Profile& p, const std::vector<std::uint32_t>& carriers,
                std::uint32_t frequency_khz) {
  std::vector<std::int64_t> s(carriers.begin(), carriers.end());
  std::sort(s.begin(), s.end());
  const std::int64_t f = frequency_khz;
  const auto any_near = [&](std::int64_t product, std::int64_t guard,
                            std::initializer_list<std::int64_t> gens) {
    auto it = std::upper_bound(s.begin(), s.end(), product - guard);
    for (; it != s.end() && *it < product + guard; ++it) {
      if (std::find(gens.begin(), gens.end(), *it) == gens.end()) return true;
    }
    return false;
  };
  const auto close = [&](std::int64_t v, std::int64_t product, std::int64_t guard) {
    return guard > 0 && (v > product ? v - product : product - v) < guard;
  };
  const std::int64_t sp = p.carrier_spacing_khz;
  const std::int64_t g2 = p.im3_2tone_khz;
  const std::int64_t g3 = p.im3_3tone_khz;
  const std::int64_t g5 = p.im5_2tone_khz;
  for (const std::int64_t a : s) {
    if (a == f || (a > f ? a - f : f - a) < sp) return false;
  }
  for (const std::int64_t a : s) {
    if (g2 > 0 && (any_near(2 * f - a, g2, {f, a}) || any_near(2 * a - f, g2, {f, a}))) {
      return false;
    }
    if (g5 > 0 && (any_near(3 * f - 2 * a, g5, {f, a}) || any_near(3 * a - 2 * f, g5, {f, a}))) {
      return false;
    }
    for (const std::int64_t b : s) {
      if (b == a) continue;
      if (close(f, 2 * a - b, g2) || close(f, 3 * a - 2 * b, g5)) return false;
      if (g3 > 0 &&
          (any_near(f + a - b, g3, {f, a, b}) || (a < b && any_near(a + b - f, g3, {f, a, b})))) {
        return false;
      }
    }
  }
  // f as the victim of a + b - c, that is a + b within the guard of f + c: for each c and a,
  // the partners b sit in one window of the sorted carriers.
  for (std::size_t k = 0; g3 > 0 && k < s.size(); ++k) {
    const std::int64_t target = f + s[k];
    for (std::size_t i = 0; i < s.size(); ++i) {
      if (i == k) continue;
      auto it = std::upper_bound(s.begin() + static_cast<std::ptrdiff_t>(i) + 1, s.end(),
                                 target - g3 - s[i]);
      for (; it != s.end() && *it < target + g3 - s[i]; ++it) {
        if (it - s.begin() != static_cast<std::ptrdiff_t>(k)) return false;
      }
    }
  }
  return true;
}

Plan coordinate(const Scenario& sc, const PlanOptions& options) {
  Plan plan;
  if (auto problem = step_problem(options.step_khz); !problem.empty()) {
    plan.problems.push_back(problem);
    return plan;
  }
  const ChannelSets ch = split_channels(sc);
  const Grid grid = ch.lo <= ch.hi ? make_grid(ch.lo, ch.hi, options.step_khz) : Grid{};
  if (grid.size > MAX_GRID_POINTS) {
    plan.problems.push_back(too_wide(grid));
    return plan;
  }
  const std::vector<std::int64_t> chosen = choose(sc, ch, grid, options);
  plan.result = sc;
  const std::vector<std::int64_t> all = apply_moves(sc, ch, chosen, plan);
  explain_unplaced(sc, ch.movable, chosen, all, grid, options.step_khz, plan.unplaced);
  plan.analysis = analyse(plan.result);
  return plan;
}

MaxSet max_compatible_set(const Scenario& sc, std::uint32_t from_khz, std::uint32_t to_khz,
                          const PlanOptions& options) {
  MaxSet out;
  if (auto problem = step_problem(options.step_khz); !problem.empty()) {
    out.problems.push_back(problem);
    return out;
  }
  if (from_khz > to_khz) {
    out.problems.push_back("the range is empty: " + std::to_string(from_khz) + " kHz is above " +
                           std::to_string(to_khz) + " kHz");
    return out;
  }
  SearchInput in;
  in.grid = make_grid(from_khz, to_khz, options.step_khz);
  if (in.grid.size > MAX_GRID_POINTS) {
    out.problems.push_back(too_wide(in.grid));
    return out;
  }
  if (in.grid.size == 0) return out;
  in.profile = sc.profile;
  for (const OtherCarrier& o : sc.other_carriers) in.fixed.push_back(o.frequency_khz);
  std::sort(in.fixed.begin(), in.fixed.end());
  in.fixed.erase(std::unique(in.fixed.begin(), in.fixed.end()), in.fixed.end());
  mark_fixed(in);
  in.bands.push_back(band_mask(in.grid, from_khz, to_khz, sc.exclusions));
  in.unbounded = true;
  in.seed = options.seed;
  in.beam_width = std::max<std::uint32_t>(options.beam_width, 1);
  const State best = beam_search(in);
  for (std::size_t i = in.fixed.size(); i < best.chosen.size(); ++i) {
    out.frequencies_khz.push_back(static_cast<std::uint32_t>(best.chosen[i]));
  }
  std::sort(out.frequencies_khz.begin(), out.frequencies_khz.end());
  return out;
}

}  // namespace owl::coord
