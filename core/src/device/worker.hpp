#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "clock.hpp"
#include "device/byte_link.hpp"
#include "platform/thread.hpp"
#include "timings.hpp"

namespace owl {

struct Manager;

// The only way a worker writes: chunks of 5 bytes, each flushed and followed by a 5 ms pause, so
// that a unit's small receive buffer never overflows.
[[nodiscard]] std::optional<LinkError> send_bytes(ByteLink& link, std::string_view key,
                                                  std::span<const std::uint8_t> bytes,
                                                  Clock& clock);

// Registers the unit under its key (replacing any entry) and starts its worker thread
// "owl-<key>", which runs the device loop until the link fails or the unit is replaced.
// Throws Panic("spawn device thread") if the thread cannot be started.
void spawn_device_worker(Manager& manager, const std::string& key, const std::string& label,
                         std::unique_ptr<ByteLink> link);

}  // namespace owl
