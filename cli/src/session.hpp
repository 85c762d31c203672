#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "records.hpp"
#include "unit_wait.hpp"

// The engine as owlctl sees it: started once, its event stream recorded from the first event so
// that commands can wait for what they need.
namespace owl::cli {

class Session {
 public:
  // Called for every event on the engine's forwarding thread, before waiters see it.
  using Tap = std::function<void(const UiEvent&)>;

  // Starts the engine (simulated units or hardware) and subscribes to its events.
  void start(bool simulator, Tap tap = {});

  // Waits until the units are there: in simulator mode until the built-in units have reported
  // settings; in hardware mode as waiting_is_over decides, looking at the ports with
  // `list_ports` a few times a second. Never beyond `deadline`.
  using PortLister = std::function<std::vector<CandidatePort>()>;
  void wait_for_units(bool simulator, const std::vector<std::string>& wanted,
                      const PortLister& list_ports, Clock::time_point deadline);

  // The number of events seen so far: a cursor for wait_for.
  std::size_t cursor() const;

  // The first event at or after `cursor` that satisfies `match`; advances the cursor past it.
  // nullopt when the deadline passes or the stream closed first.
  std::optional<UiEvent> wait_for(std::size_t& cursor,
                                  const std::function<bool(const UiEvent&)>& match,
                                  Clock::time_point deadline);

  bool closed() const;

  // The port problems the scanner last published, for hints when no unit is found.
  std::vector<std::string> port_problems() const;

 private:
  void on_event(UiEvent event);
  void on_close();

  Tap tap_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<UiEvent> events_;
  bool closed_ = false;
};

// The engine reports a write's outcome within about 7 s; this only guards against a lost event.
inline constexpr auto OUTCOME_TIMEOUT = std::chrono::seconds(20);
// How long a confirmed unit gets to report its settings before it is asked once more.
inline constexpr auto REPORT_TIMEOUT = std::chrono::seconds(3);

// What came of the writes to `keys` whose events come after cursor `start`.
struct Confirmations {
  // The settings each confirmed unit reported after its write (absent if it never did).
  std::map<std::string, UiSettings> reported;
  // One line per unit whose write failed, went unanswered or whose unit went away: "KEY: why".
  std::vector<std::string> failures;
};
// Waits for every unit's write outcome, all within OUTCOME_TIMEOUT, and then for the settings
// it reported after it, asking once more when they do not come within REPORT_TIMEOUT.
Confirmations await_confirmations(Session& session, const std::vector<std::string>& keys,
                                  std::size_t start);

// A spinner on standard error while something is awaited, only when standard error is a terminal.
class Spinner {
 public:
  explicit Spinner(std::string text);
  ~Spinner();
  Spinner(const Spinner&) = delete;
  Spinner& operator=(const Spinner&) = delete;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace owl::cli
