#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace owl::bridge {

// Decodes an asynchronous call on the caller's thread and queues it on the worker pool; exactly
// one response reaches the port, a panic response when the arguments do not decode or the id is
// not an asynchronous operation.
void dispatch_async(std::int32_t func_id, std::int64_t port, std::span<const std::uint8_t> args);

// Runs a synchronous call on the caller's thread; the whole response envelope.
std::vector<std::uint8_t> dispatch_sync(std::int32_t func_id, std::span<const std::uint8_t> args);

}  // namespace owl::bridge
