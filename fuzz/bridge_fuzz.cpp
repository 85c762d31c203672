// Arbitrary argument buffers for every function id, through both dispatchers: the engine must
// never crash and must answer each call exactly once.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>

#include "exports.h"
#include "fuzz_check.hpp"

namespace {

// Never destroyed: engine threads may still post while the process exits.
std::mutex& mutex = *new std::mutex;
std::condition_variable& answered = *new std::condition_variable;
std::map<std::int64_t, int>& responses = *new std::map<std::int64_t, int>;

bool record(Dart_Port port, Dart_CObject* message) {
  if (message->type == Dart_CObject_kExternalTypedData) {
    auto& data = message->value.as_external_typed_data;
    FUZZ_CHECK(data.length >= 1);
    data.callback(nullptr, data.peer);
  }
  const std::lock_guard<std::mutex> lock(mutex);
  ++responses[port];
  answered.notify_all();
  return true;
}

void call(std::int32_t id, std::int64_t port, const std::uint8_t* data, std::size_t size,
          bool sync) {
  const auto n = static_cast<std::int32_t>(size);
  std::uint8_t* buffer = frb_rust_vec_u8_new(n);
  if (size > 0) std::memcpy(buffer, data, size);
  if (sync) {
    WireSyncRust2DartSse r = frb_pde_ffi_dispatcher_sync(id, buffer, n, n);
    FUZZ_CHECK(r.ptr != nullptr && r.len >= 1);
    frb_free_wire_sync_rust2dart_sse(r);
  } else {
    frb_pde_ffi_dispatcher_primary(id, port, buffer, n, n);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  store_dart_post_cobject(&record);
  // Hardware mode on a machine without units: operations run for real, and no simulated unit
  // can pile up across inputs.
  const std::uint8_t hardware = 0;
  call(11, 1, &hardware, 1, false);
  std::unique_lock<std::mutex> lock(mutex);
  answered.wait(lock, [] { return responses[1] == 1; });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::int64_t next_port = 1000;
  if (size < 2) return 0;
  const std::int32_t id = static_cast<std::int8_t>(data[0]) % 16;
  const bool sync = (data[1] & 1) != 0;
  // Streams stay open for the life of the process; one is enough.
  if (!sync && id == 5) return 0;
  const std::int64_t port = next_port++;
  call(id, port, data + 2, size - 2, sync);
  if (sync) return 0;
  std::unique_lock<std::mutex> lock(mutex);
  const bool answered_in_time =
      answered.wait_for(lock, std::chrono::seconds(10), [&] { return responses[port] >= 1; });
  FUZZ_CHECK(answered_in_time);
  FUZZ_CHECK(responses[port] == 1);
  responses.erase(port);
  return 0;
}
