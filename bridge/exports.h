#pragma once

/* The functions owl_engine exports to user interfaces, with their exact C signatures. Written by
 * hand to the native-bridge runtime's calling convention. */

#include <stdint.h>

#include "dart_api.h"

#ifdef __cplusplus
extern "C" {
#endif

#define OWL_EXPORT __attribute__((visibility("default")))

/* Every function may be called from any thread and never throws; docs/bridge-abi.md is the full
 * contract. Buffers: an argument buffer comes from frb_rust_vec_u8_new/_resize and belongs to
 * the engine once handed to a dispatcher; everything the engine hands out is freed by the
 * function named for it. */

/* Stores the function every asynchronous answer and stream message is posted with. Call it
 * before the first asynchronous call: answers without one are dropped. */
OWL_EXPORT void store_dart_post_cobject(Dart_PostCObjectFn post);
/* Takes the runtime's API table (a DartApi) for the opaque-object functions: 0, or -1 for a null
 * table or a major version other than 2. The table is not kept. */
OWL_EXPORT intptr_t frb_init_frb_dart_api_dl(void* data);
/* 113405340: the identifier of this set of operations, ids and layouts. */
OWL_EXPORT int32_t frb_get_rust_content_hash(void);
/* Asynchronous call: takes the argument buffer (data_len of rust_vec_len bytes written), returns
 * at once, and posts exactly one answer to port, a panic response for any fault of the call. */
OWL_EXPORT void frb_pde_ffi_dispatcher_primary(int32_t func_id, int64_t port, uint8_t* ptr,
                                               int32_t rust_vec_len, int32_t data_len);
/* Synchronous call on the calling thread: takes the argument buffer and returns the whole answer
 * in a buffer the caller frees with frb_free_wire_sync_rust2dart_sse. */
OWL_EXPORT WireSyncRust2DartSse frb_pde_ffi_dispatcher_sync(int32_t func_id, uint8_t* ptr,
                                                            int32_t rust_vec_len, int32_t data_len);
/* Takes and frees the buffer; no operation awaits a result from the user interface. */
OWL_EXPORT void frb_dart_fn_deliver_output(int32_t call_id, uint8_t* ptr, int32_t rust_vec_len,
                                           int32_t data_len);
/* A zero-filled argument buffer; a fixed never-freed address for 0; null when len is negative or
 * memory runs out. */
OWL_EXPORT uint8_t* frb_rust_vec_u8_new(int32_t len);
/* The buffer resized (growth zero-filled, maybe moved). Null for a negative length or no memory;
 * the old buffer then stays the caller's. */
OWL_EXPORT uint8_t* frb_rust_vec_u8_resize(uint8_t* ptr, int32_t old_len, int32_t new_len);
/* Frees a buffer never handed to a dispatcher; null and length 0 free nothing. */
OWL_EXPORT void frb_rust_vec_u8_free(uint8_t* ptr, int32_t len);
/* Frees the answer of frb_pde_ffi_dispatcher_sync. */
OWL_EXPORT void frb_free_wire_sync_rust2dart_sse(WireSyncRust2DartSse response);
/* Does nothing: no answer of this engine is an object-codec response. */
OWL_EXPORT void frb_free_wire_sync_rust2dart_dco(Dart_CObject* response);
/* One more outstanding shutdown; once every callback returned here has run, messages are no
 * longer delivered (each is freed at once), while operations still run. */
OWL_EXPORT void (*frb_create_shutdown_callback(void))(void*);
/* Opaque UI objects, unused by every operation and exported because the runtime looks them up:
 * encode makes a holder with one reference (null without the runtime table), decode returns a
 * local handle and releases one reference, drop deletes the holder whatever its count. */
OWL_EXPORT const void* frb_dart_opaque_dart2rust_encode(void* handle, int64_t dart_handler_port);
OWL_EXPORT void* frb_dart_opaque_rust2dart_decode(uintptr_t ptr);
OWL_EXPORT void frb_dart_opaque_drop_thread_box_persistent_handle(uintptr_t ptr);
/* Ten names of the finaliser of a posted message: the runtime calls one of them once per message
 * it took, with the message's peer. */
OWL_EXPORT void free_zero_copy_buffer_i8(void* isolate_callback_data, void* peer);
OWL_EXPORT void free_zero_copy_buffer_u8(void* isolate_callback_data, void* peer);
OWL_EXPORT void free_zero_copy_buffer_i16(void* isolate_callback_data, void* peer);
OWL_EXPORT void free_zero_copy_buffer_u16(void* isolate_callback_data, void* peer);
OWL_EXPORT void free_zero_copy_buffer_i32(void* isolate_callback_data, void* peer);
OWL_EXPORT void free_zero_copy_buffer_u32(void* isolate_callback_data, void* peer);
OWL_EXPORT void free_zero_copy_buffer_i64(void* isolate_callback_data, void* peer);
OWL_EXPORT void free_zero_copy_buffer_u64(void* isolate_callback_data, void* peer);
OWL_EXPORT void free_zero_copy_buffer_f32(void* isolate_callback_data, void* peer);
OWL_EXPORT void free_zero_copy_buffer_f64(void* isolate_callback_data, void* peer);

#ifdef __cplusplus
}
#endif
