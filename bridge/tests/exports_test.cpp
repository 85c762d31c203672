#include "exports.h"

#include <gtest/gtest.h>

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
Inbox inbox;

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

TEST(BridgeExports, SynchronousCallsAnswerExactBytes) {
  EXPECT_EQ(frb_get_rust_content_hash(), 113405340);
  EXPECT_EQ(call_sync(3), (Bytes{0x00, 0x05, 0x00, 0x00, 0x00, '0', '.', '1', '.', '0'}));
  EXPECT_EQ(call_sync(1), (Bytes{0x00, 0x00}));
  const Bytes options = call_sync(4);
  ASSERT_FALSE(options.empty());
  owl::wire::Reader r(std::span<const std::uint8_t>(options).subspan(1));
  owl::EnumOptions o;
  owl::wire::read(r, o);
  r.finish();
  EXPECT_EQ(o.squelch, (std::vector<std::string>{"HIGH", "MED", "LOW"}));
  EXPECT_EQ(call_sync(6)[0], 0x00);
  // Wrong dispatcher, unknown id, or arguments to an operation that takes none: a panic response.
  EXPECT_TRUE(is_panic(call_sync(12)));
  EXPECT_TRUE(is_panic(call_sync(99)));
  EXPECT_TRUE(is_panic(call_sync(3, Bytes{0x00})));
}

TEST(BridgeExports, AsynchronousCallsAndDecodingFaults) {
  store_dart_post_cobject(&record_post);
  call_async(12, 100);
  const std::string message = "start() must be called first";
  Bytes expected{0x03, 0x1C, 0x00, 0x00, 0x00};
  expected.insert(expected.end(), message.begin(), message.end());
  EXPECT_EQ(wait_for(100), expected);

  call_async(12, 101, Bytes{0x00});  // one extra byte
  EXPECT_TRUE(is_panic(wait_for(101)));
  call_async(11, 102, Bytes{});  // start without its argument
  EXPECT_TRUE(is_panic(wait_for(102)));
  call_async(8, 103, Bytes{0xFF, 0xFF, 0xFF, 0xFF});  // negative text length
  EXPECT_TRUE(is_panic(wait_for(103)));
  for (const char* sink : {"+", "", "12a"}) {
    call_async(5, 104, text(sink));
    EXPECT_TRUE(is_panic(wait_for(104))) << sink;
  }
  call_async(3, 105);  // a synchronous id on the asynchronous dispatcher
  EXPECT_TRUE(is_panic(wait_for(105)));
  call_async(0, 106);
  EXPECT_TRUE(is_panic(wait_for(106)));
  // None of those started the engine.
  call_async(12, 107);
  EXPECT_EQ(wait_for(107), expected);

  call_async(7, 108);  // initialize
  EXPECT_EQ(wait_for(108), Bytes{0x00});
  call_async(11, 109, Bytes{0x02});  // any non-zero byte is true: simulator mode
  EXPECT_EQ(wait_for(109), Bytes{0x00});
  call_async(8, 110, text("NOPE"));
  EXPECT_EQ(wait_for(110), Bytes{0x00});
  call_async(9, 111, [] {
    owl::wire::Writer w;
    w.text("SIM0009");
    for (std::uint32_t v : {9u, 200000u, 201000u, 2u}) w.u32(v);
    return w.take();
  }());
  EXPECT_EQ(wait_for(111), Bytes{0x00});
  call_async(10, 112, text("SIM0009"));
  EXPECT_EQ(wait_for(112), Bytes{0x00});
}

TEST(BridgeExports, EventStreamItemsAndClose) {
  store_dart_post_cobject(&record_post);
  call_async(11, 1, Bytes{0x01});
  EXPECT_EQ(wait_for(1), Bytes{0x00});
  call_async(5, 2, text("+500"));
  EXPECT_EQ(wait_for(2), Bytes{0x00});
  const Bytes first = wait_for(500);
  ASSERT_GE(first.size(), 5u);
  EXPECT_EQ(first[0], 0x00);
  owl::wire::Reader r(std::span<const std::uint8_t>(first).subspan(1));
  owl::UiEvent e;
  owl::wire::read(r, e);
  r.finish();
  ASSERT_TRUE(std::holds_alternative<owl::ui_event::Announced>(e));  // nothing comes before it
  EXPECT_EQ(std::get<owl::ui_event::Announced>(e).key.rfind("SIM000", 0), 0u);
  // A second stream is closed at once.
  call_async(5, 3, text("501"));
  EXPECT_EQ(wait_for(3), Bytes{0x00});
  EXPECT_EQ(wait_for(501), Bytes{0x02});
  // units with the simulator running: success and two records.
  call_async(12, 4);
  const Bytes list = wait_for(4);
  ASSERT_GE(list.size(), 5u);
  EXPECT_EQ(list[0], 0x00);
}

TEST(BridgeExports, RefusedPostsAndShutdownDeliverNothing) {
  store_dart_post_cobject(&record_post);
  {
    const std::lock_guard<std::mutex> lock(inbox.mutex);
    inbox.refuse = true;
  }
  call_async(12, 7);
  // The refused response was freed by the engine (the sanitizers check) and is not retried.
  for (int i = 0; i < 200 &&
                  [] {
                    const std::lock_guard<std::mutex> lock(inbox.mutex);
                    return inbox.posts == 0;
                  }();
       ++i) {
    std::this_thread::sleep_for(5ms);
  }
  {
    const std::lock_guard<std::mutex> lock(inbox.mutex);
    EXPECT_EQ(inbox.posts, 1);
    inbox.refuse = false;
  }
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

TEST(BridgeExports, BuffersAndRuntimeTable) {
  std::uint8_t* p = frb_rust_vec_u8_new(0);
  EXPECT_NE(p, nullptr);
  frb_rust_vec_u8_free(p, 0);
  EXPECT_EQ(frb_rust_vec_u8_new(-1), nullptr);
  p = frb_rust_vec_u8_new(4);
  p[0] = 7;
  p = frb_rust_vec_u8_resize(p, 4, 64);
  EXPECT_EQ(p[0], 7);
  for (int i = 4; i < 64; ++i) EXPECT_EQ(p[i], 0) << i;
  frb_rust_vec_u8_free(p, 64);

  static int persistent_made = 0;
  static int persistent_deleted = 0;
  DartApiEntry entries[] = {
      {"Dart_NewPersistentHandle", reinterpret_cast<void (*)()>(+[](void* h) -> void* {
         ++persistent_made;
         return h;
       })},
      {"Dart_HandleFromPersistent",
       reinterpret_cast<void (*)()>(+[](void* h) -> void* { return h; })},
      {"Dart_DeletePersistentHandle",
       reinterpret_cast<void (*)()>(+[](void*) { ++persistent_deleted; })},
      {nullptr, nullptr}};
  DartApi wrong{1, 0, entries};
  EXPECT_EQ(frb_init_frb_dart_api_dl(&wrong), -1);
  DartApi api{2, 5, entries};
  EXPECT_EQ(frb_init_frb_dart_api_dl(&api), 0);
  int object = 0;
  const void* holder = frb_dart_opaque_dart2rust_encode(&object, 42);
  ASSERT_NE(holder, nullptr);
  EXPECT_EQ(frb_dart_opaque_rust2dart_decode(reinterpret_cast<uintptr_t>(holder)), &object);
  EXPECT_EQ(persistent_made, 1);
  EXPECT_EQ(persistent_deleted, 1);
}

}  // namespace
