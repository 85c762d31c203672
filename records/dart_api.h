#pragma once

/* The UI runtime's C structures, laid out exactly as its VM expects them (LP64, little-endian).
 * Written by hand from the published layout, not copied from the runtime's headers; the static
 * assertions at the end hold it to that layout. */

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int64_t Dart_Port;
typedef void (*Dart_HandleFinalizer)(void* isolate_callback_data, void* peer);

typedef enum {
  Dart_CObject_kNull = 0,
  Dart_CObject_kBool = 1,
  Dart_CObject_kInt32 = 2,
  Dart_CObject_kInt64 = 3,
  Dart_CObject_kDouble = 4,
  Dart_CObject_kString = 5,
  Dart_CObject_kArray = 6,
  Dart_CObject_kTypedData = 7,
  Dart_CObject_kExternalTypedData = 8,
  Dart_CObject_kSendPort = 9,
  Dart_CObject_kCapability = 10,
  Dart_CObject_kNativePointer = 11,
  Dart_CObject_kUnsupported = 12,
  Dart_CObject_kUnmodifiableExternalTypedData = 13
} Dart_CObject_Type;

typedef enum {
  Dart_TypedData_kByteData = 0,
  Dart_TypedData_kInt8 = 1,
  Dart_TypedData_kUint8 = 2
} Dart_TypedData_Type;

typedef struct Dart_CObject {
  int32_t type;
  union {
    bool as_bool;
    int32_t as_int32;
    int64_t as_int64;
    double as_double;
    const char* as_string;
    struct {
      Dart_Port id;
      Dart_Port origin_id;
    } as_send_port;
    struct {
      int64_t id;
    } as_capability;
    struct {
      intptr_t length;
      struct Dart_CObject** values;
    } as_array;
    struct {
      int32_t type;
      intptr_t length;
      const uint8_t* values;
    } as_typed_data;
    struct {
      int32_t type;
      intptr_t length;
      uint8_t* data;
      void* peer;
      Dart_HandleFinalizer callback;
    } as_external_typed_data;
    struct {
      intptr_t ptr;
      intptr_t size;
      Dart_HandleFinalizer callback;
    } as_native_pointer;
  } value;
} Dart_CObject;

typedef bool (*Dart_PostCObjectFn)(Dart_Port port, Dart_CObject* message);

typedef struct {
  const char* name;
  void (*function)(void);
} DartApiEntry;

typedef struct {
  const int major;
  const int minor;
  const DartApiEntry* const functions;
} DartApi;

typedef struct {
  uint8_t* ptr;
  int32_t len;
} WireSyncRust2DartSse;

#ifdef __cplusplus
}

static_assert(sizeof(Dart_CObject) == 48, "Dart_CObject layout");
static_assert(offsetof(Dart_CObject, value) == 8, "Dart_CObject layout");
static_assert(sizeof(WireSyncRust2DartSse) == 16, "response layout");
#endif
