#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

// When owlctl has waited long enough for hardware units: decided from what the engine reported
// and from the unit ports that sysfs shows, so that a machine without units is answered at once.
namespace owl::cli {

using Clock = std::chrono::steady_clock;

// The scanner lists ports once a second and a unit answers at once, so a second without a new
// unit means the set has settled.
inline constexpr auto SETTLE_TIME = std::chrono::milliseconds(1200);

// A port the engine's scanner opens: a unit's USB identity with a serial number, which becomes
// the unit's key.
struct CandidatePort {
  std::string name;  // e.g. ttyACM0
  std::string key;

  friend bool operator==(const CandidatePort&, const CandidatePort&) = default;
};

std::vector<CandidatePort> candidate_ports(const std::filesystem::path& sysfs);

struct WaitProgress {
  std::set<std::string> reported;  // keys whose settings arrived
  std::optional<Clock::time_point> last_announce;
  // The last complete look at the ports; none before the first.
  std::optional<std::vector<CandidatePort>> candidates;
};

// Whether waiting for `wanted` (empty: for every unit there is) is over: every wanted unit
// reported; or a complete look at the ports found none that could still bring a wanted unit;
// or, waiting for every unit, none was announced for SETTLE_TIME after the last one.
bool waiting_is_over(const std::vector<std::string>& wanted, const WaitProgress& progress,
                     Clock::time_point now);

}  // namespace owl::cli
