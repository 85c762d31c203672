#include "exports.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>

#include "wire.hpp"

using namespace std::chrono_literals;

// Each case runs in its own process (ctest): the post function and the engine are process-wide.
namespace {

using Bytes = std::vector<std::uint8_t>;

// Plays the UI runtime: takes every posted message, copies it and releases it as the VM would.
struct Inbox {
  std::mutex mutex;
  std::condition_variable changed;
  std::multimap<std::int64_t, Bytes> messages;
  bool refuse = false;
  int posts = 0;
};
// Never destroyed: engine threads may still post while the process exits.
Inbox& inbox = *new Inbox;

bool record_post(Dart_Port port, Dart_CObject* message) {
  const std::lock_guard<std::mutex> lock(inbox.mutex);
  ++inbox.posts;
  if (inbox.refuse) return false;
  EXPECT_EQ(message->type, Dart_CObject_kExternalTypedData);
  auto& data = message->value.as_external_typed_data;
  EXPECT_EQ(data.type, Dart_TypedData_kUint8);
  EXPECT_EQ(data.callback, &free_zero_copy_buffer_i8);
  inbox.messages.emplace(port, Bytes(data.data, data.data + data.length));
  data.callback(nullptr, data.peer);
  inbox.changed.notify_all();
  return true;
}

Bytes wait_for(std::int64_t port) {
  std::unique_lock<std::mutex> lock(inbox.mutex);
  inbox.changed.wait_for(lock, 10s, [&] { return inbox.messages.count(port) != 0; });
  auto it = inbox.messages.lower_bound(port);  // the oldest message of that port
  if (it != inbox.messages.end() && it->first != port) it = inbox.messages.end();
  if (it == inbox.messages.end()) return {};
  Bytes b = it->second;
  inbox.messages.erase(it);
  return b;
}

std::size_t count_for(std::int64_t port) {
  const std::lock_guard<std::mutex> lock(inbox.mutex);
  return inbox.messages.count(port);
}

int posts() {
  const std::lock_guard<std::mutex> lock(inbox.mutex);
  return inbox.posts;
}

void refuse(bool on) {
  const std::lock_guard<std::mutex> lock(inbox.mutex);
  inbox.refuse = on;
}

// The value of a success response.
template <class T>
T success_value(const Bytes& b) {
  T value{};
  if (b.empty() || b[0] != 0x00) {
    ADD_FAILURE() << "not a success response";
    return value;
  }
  owl::wire::Reader r(std::span<const std::uint8_t>(b).subspan(1));
  owl::wire::read(r, value);
  r.finish();
  return value;
}

// An argument buffer as the UI makes it: allocated by the engine, handed back with the call.
std::pair<std::uint8_t*, std::int32_t> buffer(const Bytes& args) {
  std::uint8_t* p = frb_rust_vec_u8_new(static_cast<std::int32_t>(args.size()));
  if (!args.empty()) std::memcpy(p, args.data(), args.size());
  return {p, static_cast<std::int32_t>(args.size())};
}

Bytes call_sync(std::int32_t id, const Bytes& args = {}) {
  auto [p, n] = buffer(args);
  WireSyncRust2DartSse r = frb_pde_ffi_dispatcher_sync(id, p, n, n);
  Bytes out(r.ptr, r.ptr + r.len);
  frb_free_wire_sync_rust2dart_sse(r);
  return out;
}

void call_async(std::int32_t id, std::int64_t port, const Bytes& args = {}) {
  auto [p, n] = buffer(args);
  frb_pde_ffi_dispatcher_primary(id, port, p, n, n);
}

bool is_panic(const Bytes& b) {
  return !b.empty() && b[0] == 3;
}

Bytes text(const std::string& s) {
  owl::wire::Writer w;
  w.text(s);
  return w.take();
}

// A panic response carrying `message`, spelt out byte by byte (texts here are under 256 bytes).
Bytes panic_bytes(const std::string& message) {
  Bytes b(5 + message.size(), 0x00);
  b[0] = 0x03;
  b[1] = static_cast<std::uint8_t>(message.size());
  // Byte by byte: g++ 12 at -O3 sees a vector insert from a string as out of bounds.
  for (std::size_t i = 0; i < message.size(); ++i) b[5 + i] = static_cast<std::uint8_t>(message[i]);
  return b;
}

TEST(BridgeExports, SynchronousCallsAnswerExactBytes) {
  EXPECT_EQ(frb_get_rust_content_hash(), 113405340);
  EXPECT_EQ(call_sync(3), (Bytes{0x00, 0x05, 0x00, 0x00, 0x00, '0', '.', '1', '.', '0'}));
  EXPECT_EQ(call_sync(1), (Bytes{0x00, 0x00}));
  // The option lists and the example are the API's; here, that each id answers its own record.
  static_cast<void>(success_value<owl::EnumOptions>(call_sync(4)));
  static_cast<void>(success_value<owl::UiSettings>(call_sync(6)));
  // Wrong dispatcher, unknown id, or arguments to an operation that takes none: a panic response.
  EXPECT_TRUE(is_panic(call_sync(12)));
  EXPECT_TRUE(is_panic(call_sync(99)));
  EXPECT_TRUE(is_panic(call_sync(3, Bytes{0x00})));
}

TEST(BridgeExports, AsynchronousCallsAndDecodingFaults) {
  store_dart_post_cobject(&record_post);
  call_async(12, 100);
  const Bytes expected = panic_bytes("start() must be called first");
  ASSERT_EQ(expected[1], 0x1C);
  EXPECT_EQ(wait_for(100), expected);

  // Decoding faults (an extra byte, a missing argument, a stream port that is no number), a
  // synchronous id on this dispatcher and an unknown id: panics, running nothing. Which bytes the
  // codec refuses is the wire tests' to show.
  const std::pair<std::int32_t, Bytes> faults[] = {
      {12, {0x00}}, {11, {}}, {5, text("+")}, {3, {}}, {0, {}}};
  std::int64_t port = 101;
  for (const auto& [id, args] : faults) {
    call_async(id, port, args);
    EXPECT_TRUE(is_panic(wait_for(port++))) << id;
  }
  call_async(12, port, {});  // still not started
  EXPECT_EQ(wait_for(port++), expected);

  owl::wire::Writer add;
  add.text("SIM0009");
  for (std::uint32_t v : {9u, 200000u, 201000u, 2u}) add.u32(v);
  // initialize, start (in simulator mode), refresh, add and remove a unit
  const std::pair<std::int32_t, Bytes> calls[] = {
      {7, {}}, {11, {0x02}}, {8, text("NOPE")}, {9, add.take()}, {10, text("SIM0009")}};
  for (const auto& [id, args] : calls) {
    call_async(id, port, args);
    EXPECT_EQ(wait_for(port++), Bytes{0x00}) << id;
  }
}

TEST(BridgeExports, EventStreamItemsAndClose) {
  store_dart_post_cobject(&record_post);
  call_async(11, 1, Bytes{0x01});
  EXPECT_EQ(wait_for(1), Bytes{0x00});
  call_async(5, 2, text("+500"));
  EXPECT_EQ(wait_for(2), Bytes{0x00});
  // Items reach the port named by the argument, each a success holding one event; which events
  // come, and in what order, is the engine's to show.
  static_cast<void>(success_value<owl::UiEvent>(wait_for(500)));
  // A second stream is closed at once.
  call_async(5, 3, text("501"));
  EXPECT_EQ(wait_for(3), Bytes{0x00});
  EXPECT_EQ(wait_for(501), Bytes{0x02});
}

TEST(BridgeExports, RefusedPostsAndShutdownDeliverNothing) {
  store_dart_post_cobject(&record_post);
  refuse(true);
  call_async(12, 7);
  // The refused response was freed by the engine (the sanitizers check) and is not retried.
  for (int i = 0; i < 200 && posts() == 0; ++i) std::this_thread::sleep_for(5ms);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(posts(), 1);
  refuse(false);
  void (*done)(void*) = frb_create_shutdown_callback();
  void (*done_too)(void*) = frb_create_shutdown_callback();
  done(nullptr);
  call_async(11, 8, Bytes{0x01});  // still delivered: one callback is outstanding
  EXPECT_EQ(wait_for(8), Bytes{0x00});
  done_too(nullptr);
  call_async(12, 9);  // runs, but nothing reaches the UI any more
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(count_for(9), 0u);
}

}  // namespace

namespace {

// Keeps each posted message as the VM may, to be released later by any of the finalisers.
std::mutex held_mutex;
std::condition_variable held_changed;
std::vector<void*> held_peers;

bool hold_post(Dart_Port, Dart_CObject* message) {
  const std::lock_guard<std::mutex> lock(held_mutex);
  held_peers.push_back(message->value.as_external_typed_data.peer);
  held_changed.notify_all();
  return true;
}

TEST(BridgeExports, EngineOwnedBuffersAreReleasedOnEveryPath) {
  // A length past the allocation or below zero: a panic, and the buffer is still freed.
  const Bytes expected = panic_bytes("argument length out of range");
  store_dart_post_cobject(&record_post);
  std::int64_t port = 300;
  for (const std::int32_t data_len : {3, -1}) {
    WireSyncRust2DartSse r = frb_pde_ffi_dispatcher_sync(3, frb_rust_vec_u8_new(2), 2, data_len);
    EXPECT_EQ(Bytes(r.ptr, r.ptr + r.len), expected) << data_len;
    frb_free_wire_sync_rust2dart_sse(r);
    frb_pde_ffi_dispatcher_primary(12, port, frb_rust_vec_u8_new(2), 2, data_len);
    EXPECT_EQ(wait_for(port++), expected) << data_len;
  }

  // Growing from nothing, growing what was written, shrinking below it and to nothing.
  EXPECT_EQ(frb_rust_vec_u8_new(-1), nullptr);
  std::uint8_t* none = frb_rust_vec_u8_new(0);
  EXPECT_NE(none, nullptr);
  frb_rust_vec_u8_free(none, 0);
  std::uint8_t* p = frb_rust_vec_u8_resize(frb_rust_vec_u8_new(0), 0, 3);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(Bytes(p, p + 3), (Bytes{0, 0, 0}));
  p[0] = 9;
  p = frb_rust_vec_u8_resize(p, 3, 64);
  EXPECT_EQ(p[0], 9);
  EXPECT_EQ(Bytes(p + 1, p + 64), Bytes(63, 0));
  p = frb_rust_vec_u8_resize(p, 64, 1);
  EXPECT_EQ(p[0], 9);
  p = frb_rust_vec_u8_resize(p, 1, 0);
  EXPECT_NE(p, nullptr);
  EXPECT_EQ(frb_rust_vec_u8_resize(p, 0, -1), nullptr);
  frb_rust_vec_u8_free(p, 0);
  frb_dart_fn_deliver_output(1, frb_rust_vec_u8_new(8), 8, 8);
  frb_free_wire_sync_rust2dart_dco(nullptr);  // never answered in that codec: nothing to free

  // The VM may release a message with the finaliser of any element type.
  void (*const finalisers[])(void*, void*) = {free_zero_copy_buffer_u8,  free_zero_copy_buffer_i8,
                                              free_zero_copy_buffer_u16, free_zero_copy_buffer_i16,
                                              free_zero_copy_buffer_u32, free_zero_copy_buffer_i32,
                                              free_zero_copy_buffer_u64, free_zero_copy_buffer_i64,
                                              free_zero_copy_buffer_f32, free_zero_copy_buffer_f64};
  store_dart_post_cobject(&hold_post);
  for (port = 400; port < 410; ++port) call_async(12, port);
  std::unique_lock<std::mutex> lock(held_mutex);
  ASSERT_TRUE(held_changed.wait_for(lock, 10s, [] { return held_peers.size() == 10; }));
  for (std::size_t i = 0; i < held_peers.size(); ++i) finalisers[i](nullptr, held_peers[i]);
}

}  // namespace

namespace {

TEST(BridgeExports, AnswerBeforeThePostFunctionIsDroppedNotKept) {
  // A synchronous id on this dispatcher is refused on the caller's thread, so the answer is
  // posted (and dropped) before the call returns.
  call_async(3, 501);
  store_dart_post_cobject(&record_post);
  call_async(12, 502);
  EXPECT_TRUE(is_panic(wait_for(502)));
  EXPECT_EQ(count_for(501), 0u);
}

}  // namespace

namespace {

int made = 0;
int deleted = 0;
int isolates = 0;

using Raw = void (*)();
const Raw make_handle = reinterpret_cast<Raw>(+[](void* h) -> void* {
  ++made;
  return h;
});
const Raw make_no_handle = reinterpret_cast<Raw>(+[](void*) -> void* { return nullptr; });
const Raw from_handle = reinterpret_cast<Raw>(+[](void* h) -> void* { return h; });
const Raw delete_handle = reinterpret_cast<Raw>(+[](void* h) {
  EXPECT_NE(h, nullptr);
  ++deleted;
});
const Raw current_isolate = reinterpret_cast<Raw>(+[]() -> void* {
  ++isolates;
  return nullptr;
});

TEST(BridgeExports, RuntimeTablesWithPartsMissingAreSurvived) {
  // Before any table, opaque objects can be neither made nor looked up.
  int object = 0;
  EXPECT_EQ(frb_dart_opaque_dart2rust_encode(&object, 1), nullptr);
  EXPECT_EQ(frb_dart_opaque_rust2dart_decode(0), nullptr);
  frb_dart_opaque_drop_thread_box_persistent_handle(0);

  EXPECT_EQ(frb_init_frb_dart_api_dl(nullptr), -1);
  const DartApi wrong_major{1, 0, nullptr};
  EXPECT_EQ(frb_init_frb_dart_api_dl(const_cast<DartApi*>(&wrong_major)), -1);
  // A table with no functions at all: opaque objects cannot be made.
  const DartApi empty{2, 0, nullptr};
  ASSERT_EQ(frb_init_frb_dart_api_dl(const_cast<DartApi*>(&empty)), 0);
  EXPECT_EQ(frb_dart_opaque_dart2rust_encode(&object, 1), nullptr);

  struct Case {
    const char* name;
    std::vector<DartApiEntry> entries;
    void* decoded;              // what the UI gets back
    std::array<int, 3> counts;  // handles made, handles deleted, isolate look-ups
  };
  const Case cases[] = {
      {"complete",
       {{"Dart_NewPersistentHandle", make_handle},
        {"Dart_HandleFromPersistent", from_handle},
        {"Dart_DeletePersistentHandle", delete_handle}},
       &object,
       {1, 1, 0}},
      {"no HandleFromPersistent",
       {{"Dart_NewPersistentHandle", make_handle}, {"Dart_DeletePersistentHandle", delete_handle}},
       nullptr,
       {1, 1, 0}},
      {"no DeletePersistentHandle",
       {{"Dart_NewPersistentHandle", make_handle}, {"Dart_HandleFromPersistent", from_handle}},
       &object,
       {1, 0, 0}},
      // A handle the runtime could not make is never handed back to be deleted.
      {"no persistent handle",
       {{"Dart_NewPersistentHandle", make_no_handle},
        {"Dart_HandleFromPersistent", from_handle},
        {"Dart_DeletePersistentHandle", delete_handle}},
       nullptr,
       {0, 0, 0}},
      {"with CurrentIsolate",
       {{"Dart_NewPersistentHandle", make_handle},
        {"Dart_HandleFromPersistent", from_handle},
        {"Dart_DeletePersistentHandle", delete_handle},
        {"Dart_CurrentIsolate", current_isolate}},
       &object,
       {1, 1, 1}},
  };
  for (const Case& c : cases) {
    made = 0;
    deleted = 0;
    isolates = 0;
    std::vector<DartApiEntry> entries = c.entries;
    entries.push_back({nullptr, nullptr});
    const DartApi api{2, 5, entries.data()};  // any minor version
    ASSERT_EQ(frb_init_frb_dart_api_dl(const_cast<DartApi*>(&api)), 0) << c.name;
    const void* holder = frb_dart_opaque_dart2rust_encode(&object, 7);
    ASSERT_NE(holder, nullptr) << c.name;
    EXPECT_EQ(frb_dart_opaque_rust2dart_decode(reinterpret_cast<uintptr_t>(holder)), c.decoded)
        << c.name;
    EXPECT_EQ((std::array{made, deleted, isolates}), c.counts) << c.name;
  }
  // Released by the drop the runtime uses off its own thread, not handed back: the holder goes,
  // and with it the persistent handle.
  deleted = 0;
  const void* holder = frb_dart_opaque_dart2rust_encode(&object, 7);
  ASSERT_NE(holder, nullptr);
  frb_dart_opaque_drop_thread_box_persistent_handle(reinterpret_cast<uintptr_t>(holder));
  EXPECT_EQ(deleted, 1);
}

TEST(BridgeExports, BufferCallsWithImpossibleLengthsOrAddressesFreeNothingTheyDoNotOwn) {
  // The zero-length buffer is the engine's own static: a wrong length with it, or a null address,
  // must not reach free (the sanitizers would report it).
  std::uint8_t* empty = frb_rust_vec_u8_new(0);
  frb_rust_vec_u8_free(empty, 5);
  frb_rust_vec_u8_free(nullptr, 5);
  frb_dart_fn_deliver_output(1, nullptr, 5, 5);
  // Resizing the static or a null address makes a fresh buffer; a negative old length is refused.
  for (std::uint8_t* from : {empty, static_cast<std::uint8_t*>(nullptr)}) {
    std::uint8_t* grown = frb_rust_vec_u8_resize(from, 4, 2);
    ASSERT_NE(grown, nullptr);
    ASSERT_NE(grown, empty);
    EXPECT_EQ(Bytes(grown, grown + 2), (Bytes{0, 0}));
    frb_rust_vec_u8_free(grown, 2);
  }
  std::uint8_t* p = frb_rust_vec_u8_new(2);
  EXPECT_EQ(frb_rust_vec_u8_resize(p, -1, 4), nullptr);
  frb_rust_vec_u8_free(p, 2);

  // A null argument address with a length is read as no arguments.
  WireSyncRust2DartSse r = frb_pde_ffi_dispatcher_sync(3, nullptr, 4, 4);
  EXPECT_EQ(Bytes(r.ptr, r.ptr + r.len),
            (Bytes{0x00, 0x05, 0x00, 0x00, 0x00, '0', '.', '1', '.', '0'}));
  frb_free_wire_sync_rust2dart_sse(r);
}

}  // namespace
