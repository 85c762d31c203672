#pragma once

// Records the events a test receives, from whichever thread delivers them, in arrival order, and
// lets the test thread wait for one that matches, up to a deadline.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "records.hpp"

namespace owl::test_events {

using Match = std::function<bool(const UiEvent&)>;

// Events of type E, for the unit `key`.
template <class E>
Match is(std::string key) {
  return [key = std::move(key)](const UiEvent& e) {
    const E* x = std::get_if<E>(&e);
    return x != nullptr && x->key == key;
  };
}

// Events of type E, whichever unit.
template <class E>
Match is() {
  return [](const UiEvent& e) { return std::holds_alternative<E>(e); };
}

// A recorded event, and the cursor just past it: a wait from there sees only later events.
struct Found {
  UiEvent event;
  std::size_t next = 0;
};

class EventRecorder {
 public:
  static constexpr std::chrono::milliseconds kWait{10000};

  // The callbacks for the producer. They share the recorded state, so a producer that outlives
  // the recorder can still deliver safely.
  std::function<void(UiEvent)> on_event() const {
    return [s = state_](UiEvent e) {
      const std::lock_guard<std::mutex> lock(s->mutex);
      s->events.push_back(std::move(e));
      s->changed.notify_all();
    };
  }
  std::function<void()> on_close() const {
    return [s = state_] {
      const std::lock_guard<std::mutex> lock(s->mutex);
      ++s->closes;
      s->changed.notify_all();
    };
  }
  void record(UiEvent e) const { on_event()(std::move(e)); }
  void close() const { on_close()(); }

  // The cursor after everything recorded so far.
  std::size_t mark() const {
    const std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->events.size();
  }
  std::vector<UiEvent> all() const {
    const std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->events;
  }
  int closes() const {
    const std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->closes;
  }

  // The first event at or after cursor `from` that matches, waiting for it until `limit` has
  // passed; nothing if none arrived by then.
  std::optional<Found> wait(const Match& match, std::size_t from = 0,
                            std::chrono::milliseconds limit = kWait) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock<std::mutex> lock(state_->mutex);
    for (std::size_t i = from;; ++i) {
      if (!state_->changed.wait_until(lock, deadline, [&] { return i < state_->events.size(); })) {
        return std::nullopt;
      }
      if (match(state_->events[i])) return Found{state_->events[i], i + 1};
    }
  }

  // Whether the stream was closed before `limit` passed.
  bool wait_closed(std::chrono::milliseconds limit = kWait) const {
    std::unique_lock<std::mutex> lock(state_->mutex);
    return state_->changed.wait_for(lock, limit, [&] { return state_->closes > 0; });
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<UiEvent> events;
    int closes = 0;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace owl::test_events
