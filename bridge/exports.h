#pragma once

/* The functions owl_engine exports to user interfaces, with their exact C signatures. */

#include <stdint.h>

#include "dart_api.h"

#ifdef __cplusplus
extern "C" {
#endif

#define OWL_EXPORT __attribute__((visibility("default")))

OWL_EXPORT void store_dart_post_cobject(Dart_PostCObjectFn post);
OWL_EXPORT intptr_t frb_init_frb_dart_api_dl(void* data);
OWL_EXPORT int32_t frb_get_rust_content_hash(void);
OWL_EXPORT void frb_pde_ffi_dispatcher_primary(int32_t func_id, int64_t port, uint8_t* ptr,
                                               int32_t rust_vec_len, int32_t data_len);
OWL_EXPORT WireSyncRust2DartSse frb_pde_ffi_dispatcher_sync(int32_t func_id, uint8_t* ptr,
                                                            int32_t rust_vec_len, int32_t data_len);
OWL_EXPORT void frb_dart_fn_deliver_output(int32_t call_id, uint8_t* ptr, int32_t rust_vec_len,
                                           int32_t data_len);
OWL_EXPORT uint8_t* frb_rust_vec_u8_new(int32_t len);
OWL_EXPORT uint8_t* frb_rust_vec_u8_resize(uint8_t* ptr, int32_t old_len, int32_t new_len);
OWL_EXPORT void frb_rust_vec_u8_free(uint8_t* ptr, int32_t len);
OWL_EXPORT void frb_free_wire_sync_rust2dart_sse(WireSyncRust2DartSse response);
OWL_EXPORT void frb_free_wire_sync_rust2dart_dco(Dart_CObject* response);
OWL_EXPORT void (*frb_create_shutdown_callback(void))(void*);
OWL_EXPORT const void* frb_dart_opaque_dart2rust_encode(void* handle, int64_t dart_handler_port);
OWL_EXPORT void* frb_dart_opaque_rust2dart_decode(uintptr_t ptr);
OWL_EXPORT void frb_dart_opaque_drop_thread_box_persistent_handle(uintptr_t ptr);
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
