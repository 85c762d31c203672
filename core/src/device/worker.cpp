#include "device/worker.hpp"

#include <chrono>
#include <system_error>

#include "error.hpp"
#include "manager/device_loop.hpp"
#include "manager/manager.hpp"
#include "trace.hpp"

namespace owl {

std::optional<LinkError> send_bytes(ByteLink& link, std::string_view key,
                                    std::span<const std::uint8_t> bytes, Clock& clock) {
  if (trace_enabled()) trace(std::string(key) + " tx " + hex_dump(bytes));
  const TimePoint start = clock.now();
  std::size_t offset = 0;
  while (offset < bytes.size()) {
    const std::size_t n = std::min(SEND_CHUNK, bytes.size() - offset);
    if (auto error = link.write_all(bytes.subspan(offset, n))) {
      if (trace_enabled()) trace(std::string(key) + " write failed: " + error->text);
      return error;
    }
    if (auto error = link.flush()) {
      if (trace_enabled()) trace(std::string(key) + " flush failed: " + error->text);
      return error;
    }
    clock.sleep_for(SEND_PAUSE);
    offset += n;
  }
  if (trace_enabled()) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(clock.now() - start).count();
    trace(std::string(key) + " tx done in " + std::to_string(ms) + " ms");
  }
  return std::nullopt;
}

void spawn_device_worker(Manager& manager, const std::string& key, const std::string& label,
                         std::unique_ptr<ByteLink> link) {
  auto [commands, command_receiver] = make_channel<UnitCommand>();
  const Generation generation = manager.registry->insert(key, label, std::move(commands));
  try {
    spawn_detached("owl-" + key,
                   [receiver = std::move(command_receiver), events = manager.events, key,
                    generation, link = std::move(link), clock = manager.clock]() mutable {
                     run_device_loop(std::move(receiver), std::move(events), key, generation,
                                     std::move(link), *clock);
                   });
  } catch (const std::system_error&) {
    throw Panic("spawn device thread");
  }
}

}  // namespace owl
