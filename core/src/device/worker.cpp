#include "device/worker.hpp"

#include <chrono>
#include <exception>
#include <system_error>

#include "error.hpp"
#include "fault.hpp"
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
  const Registration registration = manager.registry->insert(key, label, std::move(commands));
  if (registration.replaced_write) {
    // The replaced worker can no longer confirm it, and its own events no longer count.
    manager.events.send(event::WriteResult{outcome::Replaced{}, key, *registration.replaced_write});
  }
  try {
    spawn_detached("owl-" + key, [receiver = std::move(command_receiver), events = manager.events,
                                  key, generation = registration.generation, link = std::move(link),
                                  clock = manager.clock]() mutable {
      try {
        run_device_loop(std::move(receiver), events, key, generation, std::move(link), *clock);
      } catch (const std::exception& e) {
        // Only this unit ends: its entry goes, and the user sees why.
        report_fault("owl-" + key, e.what());
        events.send(event::Stopped{key, std::string("internal failure: ") + e.what(), generation});
      }
    });
  } catch (const std::system_error& e) {
    // A unit without a worker could never be removed, nor written with the others.
    manager.registry->erase(key, registration.generation);
    throw Panic(std::string("spawn device thread: ") + e.code().message());
  }
}

}  // namespace owl
