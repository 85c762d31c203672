#pragma once

#include <cstdint>
#include <vector>

#include "dart_api.h"

namespace owl::bridge {

void store_post_function(Dart_PostCObjectFn post);

// Posts one message to a port as external typed data owned by the UI runtime from then on. When
// there is no post function or posting fails, the bytes are freed here and a warning is logged.
// Returns whether the message was taken.
bool post_message(Dart_Port port, std::vector<std::uint8_t> bytes);

// Frees a posted message; the finaliser the UI runtime calls.
void free_posted(void* peer);

// One more outstanding shutdown callback; the returned function ends it. When the last one has
// run, posting delivers nothing.
void (*create_shutdown_callback())(void*);

}  // namespace owl::bridge
