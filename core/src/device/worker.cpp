#include "device/worker.hpp"

#include <pthread.h>

#include <chrono>
#include <system_error>
#include <thread>

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

void set_thread_name(std::string_view name) {
  std::string shortened(name.substr(0, 15));
  shortened = shortened.c_str();  // a NUL inside the key ends the name there
  pthread_setname_np(pthread_self(), shortened.c_str());
}

void spawn_device_worker(Manager& manager, const std::string& key, const std::string& label,
                         std::unique_ptr<ByteLink> link) {
  auto [commands, command_receiver] = make_channel<UnitCommand>();
  const Generation generation = manager.registry->insert(key, label, std::move(commands));
  try {
    std::thread worker([receiver = std::move(command_receiver), events = manager.events, key,
                        generation, link = std::move(link), clock = manager.clock]() mutable {
      set_thread_name("owl-" + key);
      run_device_loop(std::move(receiver), std::move(events), key, generation, std::move(link),
                      *clock);
    });
    worker.detach();
  } catch (const std::system_error&) {
    throw Panic("spawn device thread");
  }
}

}  // namespace owl
