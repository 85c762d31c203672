#include "post.hpp"

#include <atomic>
#include <string>

#include "exports.h"
#include "platform/system_log.hpp"

namespace owl::bridge {

namespace {

std::atomic<Dart_PostCObjectFn> post_function{nullptr};
std::atomic<std::int64_t> outstanding_shutdowns{0};

// Stands in for the UI runtime once it has shut down: nothing is delivered, and since nobody will
// call the finaliser, the message is released right here.
bool post_nothing(Dart_Port, Dart_CObject* message) {
  if (message->type == Dart_CObject_kExternalTypedData) {
    message->value.as_external_typed_data.callback(nullptr,
                                                   message->value.as_external_typed_data.peer);
  }
  return true;
}

void shutdown_callback(void*) {
  if (outstanding_shutdowns.fetch_sub(1) == 1) post_function.store(&post_nothing);
}

}  // namespace

void store_post_function(Dart_PostCObjectFn post) {
  post_function.store(post);
}

void free_posted(void* peer) {
  delete static_cast<std::vector<std::uint8_t>*>(peer);
}

bool post_message(Dart_Port port, std::vector<std::uint8_t> bytes) {
  const Dart_PostCObjectFn post = post_function.load();
  if (post == nullptr) {
    log_record(LogLevel::Warn, "owl_engine::bridge",
               "response to port " + std::to_string(port) + " dropped: no post function yet");
    return false;
  }
  auto* holder = new std::vector<std::uint8_t>(std::move(bytes));
  Dart_CObject message{};
  message.type = Dart_CObject_kExternalTypedData;
  message.value.as_external_typed_data.type = Dart_TypedData_kUint8;
  message.value.as_external_typed_data.length = static_cast<intptr_t>(holder->size());
  message.value.as_external_typed_data.data = holder->data();
  message.value.as_external_typed_data.peer = holder;
  message.value.as_external_typed_data.callback = &free_zero_copy_buffer_i8;
  if (post(port, &message)) return true;
  delete holder;
  log_record(LogLevel::Warn, "owl_engine::bridge",
             "failed to post a message to port " + std::to_string(port));
  return false;
}

void (*create_shutdown_callback())(void*) {
  outstanding_shutdowns.fetch_add(1);
  return &shutdown_callback;
}

}  // namespace owl::bridge
