#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "clock.hpp"
#include "device/byte_link.hpp"
#include "frame.hpp"
#include "settings/model.hpp"
#include "timings.hpp"

namespace owl {

inline constexpr std::size_t SIM_READ_LIMIT = 64;

// A simulated unit's current settings, kept across writes.
struct SimulatedSettings {
  std::mutex mutex;
  UnitSettings settings;
};

// Behaves like the serial port of a real unit: answers settings requests with a settings frame and
// an identity frame, and stores the settings the host writes.
class SimulatedPort final : public ByteLink {
 public:
  SimulatedPort(UnitSettings initial, std::shared_ptr<std::atomic<bool>> stop,
                Clock& clock = SteadyClock::instance());

  Expected<std::size_t, LinkError> read(std::span<std::uint8_t> buffer) override;
  [[nodiscard]] std::optional<LinkError> write_all(std::span<const std::uint8_t> bytes) override;
  [[nodiscard]] std::optional<LinkError> flush() override { return std::nullopt; }

 private:
  void answer_read_request();
  void store_written(std::span<const std::uint8_t> payload);

  FrameDecoder decoder_;
  std::deque<std::uint8_t> outgoing_;
  // "OWL <version> sn<serial>", as a unit's firmware names itself: the "OWL" is what lets the
  // engine show a unit on its identity alone.
  std::string identity_;
  std::shared_ptr<SimulatedSettings> settings_;
  std::shared_ptr<std::atomic<bool>> stop_;
  Clock& clock_;
};

// The settings a simulated unit starts with; channels spread evenly over the band on a 5 kHz grid.
UnitSettings simulated_unit_settings(std::uint32_t serial, std::uint32_t lo, std::uint32_t hi,
                                     std::uint32_t channel_count);

// The settings payload a simulated unit reports: channel numbers zeroed and a header checksum that
// leaves out the serial number and the frequency range, as the unit's firmware computes it.
std::vector<std::uint8_t> simulated_settings_payload(const UnitSettings& settings);

}  // namespace owl
