#include "ui/coordination_input.hpp"

#include <algorithm>
#include <stdexcept>
#include <tuple>

namespace owl::desktop {

coord::Scenario scenario_from(const UnitSettingsMap& units, const CoordinationFields& fields) {
  coord::Scenario s;
  s.profile = fields.profile;
  s.exclusions = fields.exclusions;
  const auto scanned =
      coord::scan_exclusions(fields.scan, fields.scan_threshold_dbm, fields.step_khz);
  s.exclusions.insert(s.exclusions.end(), scanned.begin(), scanned.end());
  s.other_carriers = fields.other_carriers;
  s.units.reserve(units.size());
  for (const auto& [key, settings] : units) {
    coord::UnitPlan unit{
        key, settings.min_freq, settings.max_freq, {}, fields.locked.count(key) > 0};
    unit.channels.reserve(settings.channels.size());
    for (const UiChannel& ch : settings.channels) {
      unit.channels.push_back({ch.frequency, ch.channel_enable});
    }
    s.units.push_back(std::move(unit));
  }
  return s;
}

std::vector<UnitProposal> proposal_settings(const UnitSettingsMap& units, const coord::Plan& plan) {
  std::map<std::string, UnitProposal> moved;
  for (const coord::Assignment& a : plan.assignments) {
    const auto unit = units.find(a.key);
    if (unit == units.end()) {
      throw std::invalid_argument("the plan names a unit that is not listed: " + a.key);
    }
    if (a.channel == 0 || a.channel > unit->second.channels.size()) {
      throw std::invalid_argument("the plan names channel " + std::to_string(a.channel) + " of " +
                                  a.key + ", which it does not have");
    }
    if (a.from_khz == a.to_khz) continue;
    auto [it, fresh] = moved.try_emplace(a.key);
    UnitProposal& p = it->second;
    if (fresh) p = {a.key, unit->second, unit->second, {}};
    // The unit's own frequency, not the plan's idea of it, is what the preview shows as "old".
    UiChannel& ch = p.after.channels[a.channel - 1];
    p.changes.push_back({a.channel, p.before.channels[a.channel - 1].frequency, a.to_khz});
    ch.frequency = a.to_khz;
  }
  std::vector<UnitProposal> out;
  out.reserve(moved.size());
  for (auto& [key, p] : moved) {
    std::sort(p.changes.begin(), p.changes.end(),
              [](const auto& x, const auto& y) { return x.channel < y.channel; });
    out.push_back(std::move(p));
  }
  return out;
}

std::vector<Product> nearby_products(const std::vector<std::uint32_t>& carriers_khz,
                                     const coord::Profile& profile) {
  std::vector<std::int64_t> f(carriers_khz.begin(), carriers_khz.end());
  std::sort(f.begin(), f.end());
  const std::size_t n = f.size();
  std::map<std::pair<std::int64_t, coord::ConflictKind>, std::vector<std::uint32_t>> found;

  // Whether a carrier other than the generators lies strictly within `reach` of the product.
  const auto near_other = [&](std::int64_t product, std::int64_t reach,
                              std::initializer_list<std::size_t> gens) {
    auto it = std::upper_bound(f.begin(), f.end(), product - reach);
    for (; it != f.end() && *it < product + reach; ++it) {
      const auto i = static_cast<std::size_t>(it - f.begin());
      if (std::find(gens.begin(), gens.end(), i) == gens.end()) return true;
    }
    return false;
  };
  const auto add = [&](coord::ConflictKind kind, std::int64_t product,
                       std::initializer_list<std::size_t> gens) {
    auto [it, fresh] = found.try_emplace({product, kind});
    if (!fresh) return;
    for (std::size_t g : gens) it->second.push_back(static_cast<std::uint32_t>(f[g]));
  };
  const std::int64_t r2 = 2 * std::int64_t{profile.im3_2tone_khz};
  const std::int64_t r3 = 2 * std::int64_t{profile.im3_3tone_khz};
  const std::int64_t r5 = 2 * std::int64_t{profile.im5_2tone_khz};
  for (std::size_t a = 0; a < n && found.size() < MAX_PRODUCTS; ++a) {
    for (std::size_t b = 0; b < n && found.size() < MAX_PRODUCTS; ++b) {
      if (a == b) continue;
      if (const auto p = 2 * f[a] - f[b]; r2 > 0 && near_other(p, r2, {a, b})) {
        add(coord::ConflictKind::Im3TwoTone, p, {a, b});
      }
      if (const auto p = 3 * f[a] - 2 * f[b]; r5 > 0 && near_other(p, r5, {a, b})) {
        add(coord::ConflictKind::Im5TwoTone, p, {a, b});
      }
      if (r3 == 0 || b <= a) continue;
      for (std::size_t c = 0; c < n; ++c) {
        if (c == a || c == b) continue;
        if (const auto p = f[a] + f[b] - f[c]; near_other(p, r3, {a, b, c})) {
          add(coord::ConflictKind::Im3ThreeTone, p, {a, b, c});
        }
      }
    }
  }
  std::vector<Product> out;
  out.reserve(found.size());
  for (auto& [at, gens] : found) out.push_back({at.first, at.second, std::move(gens)});
  return out;
}

}  // namespace owl::desktop
