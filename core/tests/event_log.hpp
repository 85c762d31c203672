#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "channel.hpp"
#include "manager/events.hpp"

namespace owl::testing_support {

// Reads the UI event channel up to the first event that satisfies a condition, keeping all seen.
struct EventLog {
  Receiver<UnitEvent>& receiver;
  std::vector<UnitEvent> seen;

  std::optional<UnitEvent> wait_for(const std::function<bool(const UnitEvent&)>& pred,
                                    std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      auto r = receiver.recv_until(deadline);
      if (r.status != RecvStatus::Value) return std::nullopt;
      seen.push_back(*r.value);
      if (pred(*r.value)) return std::move(*r.value);
    }
  }
};

// Matches an event of kind E for one unit.
template <class E>
std::function<bool(const UnitEvent&)> is(const std::string& key) {
  return [key](const UnitEvent& e) {
    const E* x = std::get_if<E>(&e);
    return x != nullptr && x->key == key;
  };
}

}  // namespace owl::testing_support
