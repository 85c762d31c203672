#pragma once

#include <functional>

namespace owl::bridge {

// Runs asynchronous calls: one thread per configured processor, fed from one FIFO queue, created
// on first use and never shut down.
void execute_on_pool(std::function<void()> job);

}  // namespace owl::bridge
