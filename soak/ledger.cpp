#include "ledger.hpp"

#include <algorithm>
#include <stdexcept>

namespace owl::soak {

namespace {

constexpr std::size_t KEPT_DESCRIPTIONS = 20;

const char* state_name(UnitState state) {
  switch (state) {
    case UnitState::Absent:
      return "absent";
    case UnitState::Starting:
      return "waiting for its announcement";
    case UnitState::Live:
      return "live";
    case UnitState::Replacing:
      return "waiting for its announcement after being replaced";
    case UnitState::Stopping:
      return "waiting for its Stopped after removal";
  }
  return "?";
}

// A description without its unit keys and numbers, which are the same kind of fault.
std::string kind_of(const std::string& text) {
  std::string kind;
  auto is_key_char = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); };
  for (std::size_t i = 0; i < text.size();) {
    std::size_t end = i;
    if (text.compare(i, 4, "SOAK") == 0 || text.compare(i, 3, "SIM") == 0) {
      while (end < text.size() && is_key_char(text[end])) ++end;
    } else {
      while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    }
    if (end > i) {
      kind += '#';
      i = end;
    } else {
      kind += text[i++];
    }
  }
  return kind;
}

long seconds(Clock::duration d) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(d).count());
}

}  // namespace

void Violations::add(const std::string& text) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++count_;
  if (first_.size() < KEPT_DESCRIPTIONS) first_.push_back(text);
  ++kinds_[kind_of(text)];
}

std::map<std::string, std::uint64_t> Violations::by_kind() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return kinds_;
}

std::uint64_t Violations::count() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return count_;
}

std::vector<std::string> Violations::first() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return first_;
}

Ledger::Ledger(std::string name, Violations& violations, Clock::duration write_deadline)
    : name_(std::move(name)), violations_(violations), write_deadline_(write_deadline) {}

void Ledger::add_unit(const std::string& key) {
  const std::lock_guard<std::mutex> lock(mutex_);
  units_.emplace(key, Entry{});
}

Ledger::Entry& Ledger::entry(const std::string& key) {
  auto it = units_.find(key);
  if (it == units_.end()) throw std::logic_error("soak: unknown unit " + key);
  return it->second;
}

bool Ledger::idle(const Entry& e) {
  return !e.busy && (e.state == UnitState::Absent || e.state == UnitState::Live);
}

bool Ledger::wait_idle(const std::string& key, Clock::duration limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  Entry& e = entry(key);
  if (changed_.wait_for(lock, limit, [&] { return idle(e); })) return true;
  // A unit that cannot be announced or removed is one the user can neither see nor clear.
  if (e.busy) {
    violations_.add(name_ + ": a call about " + key + " was not answered in " +
                    std::to_string(seconds(limit)) + " s");
    e.busy = false;
  } else {
    violations_.add(name_ + ": " + key + " stayed " + state_name(e.state) + " for " +
                    std::to_string(seconds(limit)) + " s");
  }
  // Reported once; from here on the unit counts as gone so that the run goes on.
  e.state = UnitState::Absent;
  e.stop_delivered = false;
  return false;
}

bool Ledger::wait_settled(Clock::duration limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, limit, [&] {
    return std::all_of(units_.begin(), units_.end(), [](const auto& u) { return idle(u.second); });
  });
}

void Ledger::set_busy(const std::string& key, bool busy) {
  const std::lock_guard<std::mutex> lock(mutex_);
  entry(key).busy = busy;
  changed_.notify_all();
}

UnitState Ledger::state(const std::string& key) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return entry(key).state;
}

std::vector<std::string> Ledger::keys_in(UnitState state) {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> keys;
  for (const auto& [key, e] : units_) {
    if (e.state == state) keys.push_back(key);
  }
  return keys;
}

bool Ledger::has_pending(const std::string& key) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return !entry(key).open.empty();
}

void Ledger::adding(const std::string& key) {
  const std::lock_guard<std::mutex> lock(mutex_);
  Entry& e = entry(key);
  e.state = e.state == UnitState::Live ? UnitState::Replacing : UnitState::Starting;
  e.stop_delivered = false;
  ++e.life;
}

void Ledger::removing(const std::string& key) {
  const std::lock_guard<std::mutex> lock(mutex_);
  entry(key).state = UnitState::Stopping;
}

void Ledger::write_issued(const std::string& key) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++totals_.writes_issued;
  ++entry(key).writes_in_flight;
}

void Ledger::write_answered(const std::string& key, bool accepted) {
  const std::lock_guard<std::mutex> lock(mutex_);
  Entry& e = entry(key);
  --e.writes_in_flight;
  if (accepted) {
    ++totals_.writes_accepted;
    if (e.early_results > 0) {
      --e.early_results;
    } else if (e.early_stop) {
      ++totals_.ended_by_stop;
    } else {
      e.open.push_back({e.life, Clock::now(), false});
    }
  } else {
    ++totals_.writes_refused;
  }
  settle_in_flight(key, e);
  changed_.notify_all();
}

void Ledger::settle_in_flight(const std::string& key, Entry& e) {
  if (e.writes_in_flight > 0) return;
  if (e.early_results > 0) {
    violations_.add(name_ + ": " + std::to_string(e.early_results) + " WriteResult for " + key +
                    " that no accepted write claims");
  }
  e.early_results = 0;
  e.early_stop = false;
}

void Ledger::announced(const std::string& key) {
  const std::lock_guard<std::mutex> lock(mutex_);
  auto it = units_.find(key);
  if (it == units_.end()) return;
  Entry& e = it->second;
  ++totals_.announcements;
  if (e.state == UnitState::Starting || e.state == UnitState::Replacing) {
    e.state = UnitState::Live;
  } else {
    violations_.add(name_ + ": Announced for " + key + " while " + state_name(e.state));
  }
  changed_.notify_all();
}

void Ledger::stopped(const std::string& key) {
  const std::lock_guard<std::mutex> lock(mutex_);
  auto it = units_.find(key);
  if (it == units_.end()) return;
  Entry& e = it->second;
  ++totals_.stops;
  // Writes of this life end with the unit; those of a replaced life still owe their result.
  const auto ended = std::remove_if(e.open.begin(), e.open.end(),
                                    [&](const OpenWrite& w) { return w.life == e.life; });
  totals_.ended_by_stop += static_cast<std::uint64_t>(std::distance(ended, e.open.end()));
  e.open.erase(ended, e.open.end());
  if (e.writes_in_flight > 0) e.early_stop = true;
  if (e.state == UnitState::Live || e.state == UnitState::Stopping) {
    e.state = UnitState::Absent;
    e.stop_delivered = true;
  }
  changed_.notify_all();
}

void Ledger::write_result(const std::string& key) {
  const std::lock_guard<std::mutex> lock(mutex_);
  auto it = units_.find(key);
  if (it == units_.end()) return;
  Entry& e = it->second;
  ++totals_.results;
  if (!e.open.empty()) {
    e.open.pop_front();
  } else if (e.writes_in_flight > 0) {
    ++e.early_results;
  } else {
    violations_.add(name_ + ": WriteResult for " + key + " with no write open (a second result)");
  }
  changed_.notify_all();
}

Ledger::Listing Ledger::listing_issued() {
  const std::lock_guard<std::mutex> lock(mutex_);
  Listing asked;
  for (const auto& [key, e] : units_) {
    if (e.state == UnitState::Absent && e.stop_delivered) asked.stopped_lives.emplace(key, e.life);
  }
  return asked;
}

void Ledger::listing_answered(const Listing& asked, const std::vector<std::string>& listed) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++totals_.listings;
  for (const std::string& key : listed) {
    auto it = asked.stopped_lives.find(key);
    // Unless the key was added again since, its Stopped had been applied before the call.
    if (it != asked.stopped_lives.end() && entry(key).life == it->second) {
      violations_.add(name_ + ": units() listed " + key + " after its Stopped was delivered");
    }
  }
}

void Ledger::check_deadlines() {
  const std::lock_guard<std::mutex> lock(mutex_);
  const Clock::time_point now = Clock::now();
  for (auto& [key, e] : units_) {
    for (OpenWrite& w : e.open) {
      if (w.reported || now - w.accepted_at < write_deadline_) continue;
      w.reported = true;
      violations_.add(name_ + ": write to " + key + (w.life == e.life ? "" : " (since replaced)") +
                      " accepted " + std::to_string(seconds(now - w.accepted_at)) +
                      " s ago has neither a WriteResult nor a Stopped");
    }
  }
}

void Ledger::finish(Clock::duration limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, limit, [&] {
    return std::all_of(units_.begin(), units_.end(),
                       [](const auto& u) { return u.second.open.empty(); });
  });
  for (auto& [key, e] : units_) {
    for (OpenWrite& w : e.open) {
      if (w.reported) continue;
      w.reported = true;
      violations_.add(name_ + ": write to " + key + (w.life == e.life ? "" : " (since replaced)") +
                      " never ended: no WriteResult, no Stopped");
    }
  }
}

LedgerTotals Ledger::totals() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return totals_;
}

}  // namespace owl::soak
