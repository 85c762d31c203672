// The exported C functions of owl_engine: what a user interface finds by name in the process.
// Nothing may throw across this boundary. Written by hand: the file only carries the name the
// runtime's code generator gives its output, so that whoever knows a generated bridge finds the
// exports where they expect them.

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>

#include "dispatch.hpp"
#include "exports.h"
#include "post.hpp"
#include "wire.hpp"

namespace {

// Length-zero buffers are a non-null address that is never freed.
std::uint8_t empty_buffer;

std::span<const std::uint8_t> argument_bytes(const std::uint8_t* ptr, std::int32_t capacity,
                                             std::int32_t data_len) {
  if (ptr == nullptr || data_len <= 0 || data_len > capacity) return {};
  return {ptr, static_cast<std::size_t>(data_len)};
}

void free_buffer(std::uint8_t* ptr, std::int32_t len) {
  if (ptr != nullptr && len > 0 && ptr != &empty_buffer) std::free(ptr);
}

using NewPersistentHandleFn = void* (*)(void*);
using HandleFromPersistentFn = void* (*)(void*);
using DeletePersistentHandleFn = void (*)(void*);
using CurrentIsolateFn = void* (*)();

std::atomic<NewPersistentHandleFn> new_persistent_handle{nullptr};
std::atomic<HandleFromPersistentFn> handle_from_persistent{nullptr};
std::atomic<DeletePersistentHandleFn> delete_persistent_handle{nullptr};
std::atomic<CurrentIsolateFn> current_isolate{nullptr};

// A UI object held for the engine: a persistent handle shared by reference count.
struct OpaqueHolder {
  std::atomic<int> references{1};
  void* persistent = nullptr;
  void* isolate = nullptr;
  std::int64_t port = 0;
};

template <class Fn>
Fn lookup(const DartApiEntry* entries, const char* name) {
  for (const DartApiEntry* e = entries; e != nullptr && e->name != nullptr; ++e) {
    if (std::strcmp(e->name, name) == 0) return reinterpret_cast<Fn>(e->function);
  }
  return nullptr;
}

void release_persistent(OpaqueHolder* holder) {
  if (auto del = delete_persistent_handle.load(); del != nullptr && holder->persistent != nullptr) {
    del(holder->persistent);
  }
  delete holder;
}

}  // namespace

extern "C" {

void store_dart_post_cobject(Dart_PostCObjectFn post) {
  owl::bridge::store_post_function(post);
}

intptr_t frb_init_frb_dart_api_dl(void* data) {
  if (data == nullptr) return -1;
  const auto* api = static_cast<const DartApi*>(data);
  if (api->major != 2) return -1;
  new_persistent_handle.store(
      lookup<NewPersistentHandleFn>(api->functions, "Dart_NewPersistentHandle"));
  handle_from_persistent.store(
      lookup<HandleFromPersistentFn>(api->functions, "Dart_HandleFromPersistent"));
  delete_persistent_handle.store(
      lookup<DeletePersistentHandleFn>(api->functions, "Dart_DeletePersistentHandle"));
  current_isolate.store(lookup<CurrentIsolateFn>(api->functions, "Dart_CurrentIsolate"));
  return 0;
}

int32_t frb_get_rust_content_hash(void) {
  return owl::wire::CONTENT_HASH;
}

void frb_pde_ffi_dispatcher_primary(int32_t func_id, int64_t port, uint8_t* ptr,
                                    int32_t rust_vec_len, int32_t data_len) {
  try {
    std::vector<std::uint8_t> args;
    if (data_len < 0 || data_len > rust_vec_len) {
      free_buffer(ptr, rust_vec_len);
      owl::bridge::post_message(port, owl::wire::panic_bytes("argument length out of range"));
      return;
    }
    const auto bytes = argument_bytes(ptr, rust_vec_len, data_len);
    args.assign(bytes.begin(), bytes.end());
    free_buffer(ptr, rust_vec_len);
    owl::bridge::dispatch_async(func_id, port, args);
  } catch (...) {
    // Out of memory while copying the arguments: the call cannot be answered.
  }
}

WireSyncRust2DartSse frb_pde_ffi_dispatcher_sync(int32_t func_id, uint8_t* ptr,
                                                 int32_t rust_vec_len, int32_t data_len) {
  std::vector<std::uint8_t> response;
  try {
    if (data_len < 0 || data_len > rust_vec_len) {
      response = owl::wire::panic_bytes("argument length out of range");
    } else {
      response = owl::bridge::dispatch_sync(func_id, argument_bytes(ptr, rust_vec_len, data_len));
    }
  } catch (...) {
    response = {static_cast<std::uint8_t>(owl::wire::Action::Panic), 0, 0, 0, 0};
  }
  free_buffer(ptr, rust_vec_len);
  auto* out = static_cast<std::uint8_t*>(std::malloc(response.size()));
  if (out == nullptr) return {nullptr, 0};
  std::memcpy(out, response.data(), response.size());
  return {out, static_cast<int32_t>(response.size())};
}

void frb_dart_fn_deliver_output(int32_t, uint8_t* ptr, int32_t rust_vec_len, int32_t) {
  // No operation calls back into the UI, so a delivered result has nobody waiting for it.
  free_buffer(ptr, rust_vec_len);
}

uint8_t* frb_rust_vec_u8_new(int32_t len) {
  // A negative length is a caller's mistake; answering null keeps the process alive.
  if (len < 0) return nullptr;
  if (len == 0) return &empty_buffer;
  return static_cast<uint8_t*>(std::calloc(static_cast<std::size_t>(len), 1));
}

uint8_t* frb_rust_vec_u8_resize(uint8_t* ptr, int32_t old_len, int32_t new_len) {
  if (new_len < 0 || old_len < 0) return nullptr;
  if (old_len == 0 || ptr == &empty_buffer || ptr == nullptr) return frb_rust_vec_u8_new(new_len);
  if (new_len == 0) {
    std::free(ptr);
    return &empty_buffer;
  }
  auto* grown = static_cast<uint8_t*>(std::realloc(ptr, static_cast<std::size_t>(new_len)));
  if (grown != nullptr && new_len > old_len) {
    std::memset(grown + old_len, 0, static_cast<std::size_t>(new_len - old_len));
  }
  return grown;
}

void frb_rust_vec_u8_free(uint8_t* ptr, int32_t len) {
  free_buffer(ptr, len);
}

void frb_free_wire_sync_rust2dart_sse(WireSyncRust2DartSse response) {
  free_buffer(response.ptr, response.len);
}

void frb_free_wire_sync_rust2dart_dco(Dart_CObject*) {
  // No operation of this engine answers in the object codec, so there is never one to free.
}

void (*frb_create_shutdown_callback(void))(void*) {
  return owl::bridge::create_shutdown_callback();
}

const void* frb_dart_opaque_dart2rust_encode(void* handle, int64_t dart_handler_port) {
  const auto make = new_persistent_handle.load();
  if (make == nullptr) return nullptr;
  auto* holder = new (std::nothrow) OpaqueHolder;
  if (holder == nullptr) return nullptr;
  holder->persistent = make(handle);
  if (auto isolate = current_isolate.load()) holder->isolate = isolate();
  holder->port = dart_handler_port;
  return holder;
}

void* frb_dart_opaque_rust2dart_decode(uintptr_t ptr) {
  auto* holder = reinterpret_cast<OpaqueHolder*>(ptr);
  if (holder == nullptr) return nullptr;
  void* local = nullptr;
  if (auto from = handle_from_persistent.load()) local = from(holder->persistent);
  if (holder->references.fetch_sub(1) == 1) release_persistent(holder);
  return local;
}

void frb_dart_opaque_drop_thread_box_persistent_handle(uintptr_t ptr) {
  auto* holder = reinterpret_cast<OpaqueHolder*>(ptr);
  if (holder != nullptr) release_persistent(holder);
}

void free_zero_copy_buffer_i8(void*, void* peer) {
  owl::bridge::free_posted(peer);
}
void free_zero_copy_buffer_u8(void*, void* peer) {
  owl::bridge::free_posted(peer);
}
void free_zero_copy_buffer_i16(void*, void* peer) {
  owl::bridge::free_posted(peer);
}
void free_zero_copy_buffer_u16(void*, void* peer) {
  owl::bridge::free_posted(peer);
}
void free_zero_copy_buffer_i32(void*, void* peer) {
  owl::bridge::free_posted(peer);
}
void free_zero_copy_buffer_u32(void*, void* peer) {
  owl::bridge::free_posted(peer);
}
void free_zero_copy_buffer_i64(void*, void* peer) {
  owl::bridge::free_posted(peer);
}
void free_zero_copy_buffer_u64(void*, void* peer) {
  owl::bridge::free_posted(peer);
}
void free_zero_copy_buffer_f32(void*, void* peer) {
  owl::bridge::free_posted(peer);
}
void free_zero_copy_buffer_f64(void*, void* peer) {
  owl::bridge::free_posted(peer);
}

}  // extern "C"
