#pragma once

#include <cerrno>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "fault.hpp"
#include "platform/system_calls.hpp"
#include "platform/thread.hpp"

namespace owl::testing_support {

// Puts every seam back when a test ends, even a failed one.
struct SeamGuard {
  SeamGuard() = default;
  SeamGuard(const SeamGuard&) = delete;
  SeamGuard& operator=(const SeamGuard&) = delete;
  ~SeamGuard() {
    sys::restore_system_calls();
    sys::registry_hook = nullptr;
    set_fault_sink(nullptr);
  }
};

inline int refuse_thread(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*) {
  return EAGAIN;
}

// Refuses only the thread with this name; every other thread starts.
inline std::string& refused_thread_name() {
  static auto* const name = new std::string;
  return *name;
}

inline int refuse_named_thread(pthread_t* thread, const pthread_attr_t* attributes,
                               void* (*start)(void*), void* argument) {
  if (static_cast<detail::ThreadBody*>(argument)->name == refused_thread_name()) return EAGAIN;
  return ::pthread_create(thread, attributes, start, argument);
}

// Collects what the engine reports as "where: what".
struct FaultLog {
  static std::mutex& mutex() {
    static auto* const m = new std::mutex;  // detached threads may report during exit
    return *m;
  }
  static std::vector<std::string>& lines() {
    static auto* const l = new std::vector<std::string>;
    return *l;
  }
  static void sink(std::string_view where, std::string_view what) {
    const std::lock_guard<std::mutex> lock(mutex());
    lines().push_back(std::string(where) + ": " + std::string(what));
  }
  static std::vector<std::string> seen() {
    const std::lock_guard<std::mutex> lock(mutex());
    return lines();
  }
};

// Waits up to five seconds for something another thread does.
inline bool eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace owl::testing_support
