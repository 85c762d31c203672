#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace owl::soak {

using Clock = std::chrono::steady_clock;

// Every broken invariant, counted, with the first few described.
class Violations {
 public:
  void add(const std::string& text);
  std::uint64_t count() const;
  std::vector<std::string> first() const;
  // How often each kind was broken: the descriptions with unit keys and numbers taken out.
  std::map<std::string, std::uint64_t> by_kind() const;

 private:
  mutable std::mutex mutex_;
  std::uint64_t count_ = 0;
  std::vector<std::string> first_;
  std::map<std::string, std::uint64_t> kinds_;
};

// What the soak knows of one unit: the life the driver gave it and the writes still open.
// The driver serialises its own operations per unit, so an operation on a unit starts only when
// the unit is idle (no call in flight, not waiting for its announcement or its stop).
enum class UnitState { Absent, Starting, Live, Replacing, Stopping };

struct LedgerTotals {
  std::uint64_t writes_issued = 0;
  std::uint64_t writes_accepted = 0;
  std::uint64_t writes_refused = 0;
  std::uint64_t results = 0;
  std::uint64_t stops = 0;
  std::uint64_t ended_by_stop = 0;
  std::uint64_t announcements = 0;
  std::uint64_t listings = 0;
};

// Checks, for one engine, that every accepted write ends in exactly one WriteResult or in the
// Stopped of the unit it was accepted for, and that a listing never shows a unit whose Stopped
// was already delivered.
//
// A call's answer and the stream travel on different threads, so the outcome of a write may be
// seen before the answer that accepted it. Such an early outcome is held as a credit for the
// write still in flight on that unit; it is a fault only if no accepted write claims it.
class Ledger {
 public:
  Ledger(std::string name, Violations& violations, Clock::duration write_deadline);

  void add_unit(const std::string& key);

  // Driver side.
  // Whether the unit is idle, waiting up to `limit`; a unit that stays busy is reported.
  bool wait_idle(const std::string& key, Clock::duration limit);
  // Waits until every unit is idle and either absent or live (a settled picture).
  bool wait_settled(Clock::duration limit);
  void set_busy(const std::string& key, bool busy);
  UnitState state(const std::string& key);
  std::vector<std::string> keys_in(UnitState state);
  bool has_pending(const std::string& key);
  // The unit is about to be created, or replaced while live: a new life of the key.
  void adding(const std::string& key);
  void removing(const std::string& key);
  void write_issued(const std::string& key);
  void write_answered(const std::string& key, bool accepted);

  // Stream side.
  void announced(const std::string& key);
  void stopped(const std::string& key);
  void write_result(const std::string& key);

  // Listings: the keys whose Stopped had been delivered when the listing was asked for.
  struct Listing {
    std::map<std::string, std::uint64_t> stopped_lives;
  };
  Listing listing_issued();
  void listing_answered(const Listing& asked, const std::vector<std::string>& listed);

  // Reports writes open for longer than the deadline (once each).
  void check_deadlines();
  // After every unit was removed: waits up to `limit` for open writes to end, then reports the
  // rest.
  void finish(Clock::duration limit);
  LedgerTotals totals();

 private:
  struct OpenWrite {
    std::uint64_t life = 0;
    Clock::time_point accepted_at;
    bool reported = false;
  };
  struct Entry {
    UnitState state = UnitState::Absent;
    bool busy = false;
    bool stop_delivered = false;  // Absent because its Stopped arrived
    std::uint64_t life = 0;
    int writes_in_flight = 0;
    int early_results = 0;
    bool early_stop = false;
    std::deque<OpenWrite> open;
  };
  Entry& entry(const std::string& key);
  static bool idle(const Entry& e);
  void settle_in_flight(const std::string& key, Entry& e);

  std::string name_;
  Violations& violations_;
  Clock::duration write_deadline_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, Entry> units_;
  LedgerTotals totals_;
};

}  // namespace owl::soak
