#include "unit_wait.hpp"

#include <algorithm>

#include "unit_port.hpp"

namespace owl::cli {

std::vector<CandidatePort> candidate_ports(const std::filesystem::path& sysfs) {
  std::vector<CandidatePort> out;
  const PortListing listing = list_serial_ports(sysfs.string());
  if (!listing) return out;
  for (const SerialPortInfo& port : listing.value()) {
    // The very rule the engine's scanner follows, so the wait ends on the ports it opens.
    if (auto key = unit_key(port)) {
      out.push_back({std::filesystem::path(port.device_path).filename().string(), *key});
    }
  }
  return out;
}

bool waiting_is_over(const std::vector<std::string>& wanted, const WaitProgress& progress,
                     Clock::time_point now) {
  const auto reported = [&](const std::string& key) { return progress.reported.count(key) > 0; };
  if (!wanted.empty() && std::all_of(wanted.begin(), wanted.end(), reported)) return true;
  if (progress.candidates) {
    const bool pending = std::any_of(
        progress.candidates->begin(), progress.candidates->end(), [&](const CandidatePort& port) {
          const bool is_wanted =
              wanted.empty() || std::find(wanted.begin(), wanted.end(), port.key) != wanted.end();
          return is_wanted && !reported(port.key);
        });
    if (!pending) return true;
  }
  return wanted.empty() && progress.last_announce && now - *progress.last_announce >= SETTLE_TIME;
}

}  // namespace owl::cli
