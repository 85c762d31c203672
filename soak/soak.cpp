// The soak run: drives the engine for a given time as a user interface would, and checks that it
// survives its own failure paths. Two engines run in this process at once:
//  - the engine library, reached only through its exported functions (client/), in simulator
//    mode: 50 simulated units added, removed and replaced, writes to one and to all, refreshes,
//    listings, extra event-stream subscriptions;
//  - an engine of the core library in hardware mode, scanning a fake sysfs tree whose device
//    nodes lead to pseudo-terminals: units unplugged and plugged back, also in the middle of a
//    write. The exported start only ever scans the real /sys and /dev, and pointing it elsewhere
//    would need a switch in the public interface, so the port path is driven one level down.
// Exits 0 when every invariant held, 1 when one broke, 2 on bad usage; the last line on standard
// output is the summary.

#include <dirent.h>
#include <malloc.h>

#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "exports.h"
#include "fake_sysfs.hpp"
#include "ledger.hpp"
#include "manager/engine.hpp"
#include "manager/write.hpp"
#include "owl_client.hpp"
#include "pty_unit.hpp"
#include "sim/simulated_port.hpp"

using namespace std::chrono_literals;

namespace owl::soak {
namespace {

namespace fs = std::filesystem;
using client::Client;
using client::Result;

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
// A sanitizer's shadow memory, quarantine and allocator caches do not shrink, so resident memory
// says nothing about the engine there: it is reported, not checked.
constexpr long DEFAULT_RSS_SLACK_MIB = -1;
#else
constexpr long DEFAULT_RSS_SLACK_MIB = 16;
#endif

constexpr int SIM_UNITS = 50;
constexpr int PTY_UNITS = 4;
constexpr auto UNIT_LIMIT = 30s;  // for a unit to be announced, or to stop after its removal

struct Options {
  long seconds = 0;
  std::uint64_t seed = 1;
  long write_deadline = 30;
  long rss_slack_mib = DEFAULT_RSS_SLACK_MIB;
};

// Resource levels of the process.
long count_entries(const char* dir) {
  DIR* d = ::opendir(dir);
  if (d == nullptr) return -1;
  long n = 0;
  while (const dirent* e = ::readdir(d)) {
    if (e->d_name[0] != '.') ++n;
  }
  ::closedir(d);
  return n;
}
long thread_count() {
  return count_entries("/proc/self/task");
}
long fd_count() {
  return count_entries("/proc/self/fd") - 1;  // the directory being read
}
long rss_kib() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

struct Levels {
  long threads = 0;
  long fds = 0;
  long rss = 0;
};
// Counting opens a directory or file, so two counts at once would each see the other's
// descriptor: the monitor's samples and the before/after levels take turns.
std::mutex counting;

Levels levels() {
  ::malloc_trim(0);
  const std::lock_guard<std::mutex> lock(counting);
  return {thread_count(), fd_count(), rss_kib()};
}

Violations violations;

// Counts the messages the engine posts and the finaliser calls the runtime makes for them: every
// message taken must be finalised exactly once, and one refused never.
class MessageAccount {
 public:
  static bool post(Dart_Port port, Dart_CObject* message) {
    return instance().relay(port, message);
  }
  static MessageAccount& instance() {
    static MessageAccount* const account = new MessageAccount;
    return *account;
  }
  void set_runtime(Dart_PostCObjectFn runtime) { runtime_ = runtime; }

  struct Totals {
    std::uint64_t taken = 0, refused = 0, finalised = 0, copied = 0, outstanding = 0;
  };
  Totals totals() {
    const std::lock_guard<std::mutex> lock(mutex_);
    Totals t = totals_;
    t.outstanding = outstanding_.size();
    return t;
  }

 private:
  struct Wrapped {
    Dart_HandleFinalizer callback;
    void* peer;
  };

  static void finalise(void* isolate_data, void* peer) { instance().finalised(isolate_data, peer); }

  bool relay(Dart_Port port, Dart_CObject* message) {
    if (message->type != Dart_CObject_kExternalTypedData) {
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++totals_.copied;
      }
      return runtime_(port, message);
    }
    auto& data = message->value.as_external_typed_data;
    auto* wrapped = new Wrapped{data.callback, data.peer};
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      for (const auto& [w, _] : outstanding_) {
        if (w->peer == data.peer) violations.add("a message buffer was posted again while held");
      }
      outstanding_.emplace(wrapped, true);
    }
    data.callback = &MessageAccount::finalise;
    data.peer = wrapped;
    const bool taken = runtime_(port, message);
    const std::lock_guard<std::mutex> lock(mutex_);
    if (taken) {
      ++totals_.taken;
    } else {
      ++totals_.refused;
      if (outstanding_.erase(wrapped) == 0) {
        violations.add("the runtime finalised a message it refused");
      } else {
        delete wrapped;
      }
    }
    return taken;
  }

  void finalised(void* isolate_data, void* peer) {
    auto* wrapped = static_cast<Wrapped*>(peer);
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (outstanding_.erase(wrapped) == 0) {
        violations.add("a posted message was finalised twice");
        return;
      }
      ++totals_.finalised;
    }
    wrapped->callback(isolate_data, wrapped->peer);
    delete wrapped;
  }

  Dart_PostCObjectFn runtime_ = nullptr;
  std::mutex mutex_;
  std::unordered_map<Wrapped*, bool> outstanding_;
  Totals totals_;
};

struct Peaks {
  std::atomic<long> threads{0}, fds{0}, rss{0};
  void sample() {
    const std::lock_guard<std::mutex> lock(counting);
    const long t = thread_count(), f = fd_count(), r = rss_kib();
    if (t > threads) threads = t;
    if (f > fds) fds = f;
    if (r > rss) rss = r;
  }
};

struct Counters {
  std::atomic<std::uint64_t> operations{0}, unplugs{0}, unplugs_mid_write{0}, replacements{0},
      write_all{0}, write_all_skipped{0}, subscriptions{0}, closes{0}, extra_items{0};
};

// ---- The engine library, through its exported functions ----

class LibraryDriver {
 public:
  LibraryDriver(Client& c, Ledger& ledger, Counters& counters, std::uint64_t seed)
      : client_(c), ledger_(ledger), counters_(counters), rng_(seed) {
    for (int i = 0; i < SIM_UNITS; ++i) {
      // The two built-in units are part of the set, with the parameters start gives them.
      Sim sim{"SOAK" + std::to_string(100 + i).substr(1), static_cast<std::uint32_t>(2000 + i),
              215000, 217000, static_cast<std::uint32_t>(2 + i % 12)};
      if (i == 0) sim = {"SIM0001", 1001, 215000, 217000, 10};
      if (i == 1) sim = {"SIM0002", 1002, 192000, 216975, 8};
      sims_.push_back(sim);
      ledger_.add_unit(sim.id);
    }
  }

  void on_event(UiEvent e) {
    std::visit(
        [&](auto& x) {
          using T = std::decay_t<decltype(x)>;
          if constexpr (std::is_same_v<T, ui_event::Announced>) {
            ledger_.announced(x.key);
          } else if constexpr (std::is_same_v<T, ui_event::Stopped>) {
            ledger_.stopped(x.key);
          } else if constexpr (std::is_same_v<T, ui_event::WriteResult>) {
            ledger_.write_result(x.key);
          } else if constexpr (std::is_same_v<T, ui_event::Settings>) {
            const std::lock_guard<std::mutex> lock(settings_mutex_);
            settings_[x.key] = std::move(x.settings);
          }
        },
        e);
  }

  void step() {
    const std::uint64_t r = rng_() % 100;
    ++counters_.operations;
    if (r < 8) return listing();
    if (r < 10) return subscribe();
    if (r < 12) return write_all();
    const Sim& sim = sims_[rng_() % sims_.size()];
    const std::uint64_t action = rng_() % 100;
    const std::uint16_t delay = static_cast<std::uint16_t>(rng_() % 401);
    if (!ledger_.wait_idle(sim.id, UNIT_LIMIT)) return;
    if (ledger_.state(sim.id) == UnitState::Absent) return add(sim);
    if (action < 45) return write(sim.id, delay);
    if (action < 50) return write(sim.id, 450);  // over the maximum: refused
    if (action < 70) return refresh(sim.id);
    if (action < 80) return remove(sim.id);
    if (action < 86) {
      ++counters_.replacements;
      return add(sim);
    }
    // Otherwise leave the unit alone for a while, so that writes get to their confirmation.
  }

  void remove_all() {
    for (const Sim& sim : sims_) {
      ledger_.wait_idle(sim.id, UNIT_LIMIT);
      if (ledger_.state(sim.id) == UnitState::Live) remove(sim.id);
    }
    for (const Sim& sim : sims_) ledger_.wait_idle(sim.id, UNIT_LIMIT);
  }

  bool calls_in_flight() const { return listings_in_flight_ > 0; }

 private:
  struct Sim {
    std::string id;
    std::uint32_t serial, lo, hi, channels;
  };

  template <class T>
  client::Callback<T> done(const std::string& key, const char* operation) {
    return [this, key, operation](Result<T> r) {
      if (!r)
        violations.add(std::string(operation) + " " + key + " answered a panic: " + r.error());
      ledger_.set_busy(key, false);
    };
  }

  void add(const Sim& sim) {
    ledger_.set_busy(sim.id, true);
    ledger_.adding(sim.id);
    client_.sim_add_unit(sim.id, sim.serial, sim.lo, sim.hi, sim.channels,
                         done<client::Nothing>(sim.id, "sim_add_unit"));
  }

  void remove(const std::string& key) {
    ledger_.set_busy(key, true);
    ledger_.removing(key);
    client_.sim_remove_unit(key, done<client::Nothing>(key, "sim_remove_unit"));
  }

  void refresh(const std::string& key) {
    ledger_.set_busy(key, true);
    client_.refresh_unit(key, done<client::Nothing>(key, "refresh_unit"));
  }

  std::optional<UiSettings> form_for(const std::string& key, std::uint16_t delay) {
    const std::lock_guard<std::mutex> lock(settings_mutex_);
    auto it = settings_.find(key);
    if (it == settings_.end()) return std::nullopt;
    UiSettings form = it->second;
    form.delay_ms = delay;
    return form;
  }

  void write(const std::string& key, std::uint16_t delay) {
    std::optional<UiSettings> form = form_for(key, delay);
    if (!form) return refresh(key);
    ledger_.set_busy(key, true);
    ledger_.write_issued(key);
    client_.write_settings(key, *form, true, false,
                           [this, key](Result<std::vector<std::string>> r) {
                             if (!r)
                               violations.add("write_settings answered a panic: " + r.error());
                             ledger_.write_answered(key, r && r->empty());
                             ledger_.set_busy(key, false);
                           });
  }

  // All or nothing across every registered unit, so it is asked for only when the soak knows
  // exactly which units are registered: every unit idle and either absent or live.
  void write_all() {
    const std::uint16_t delay = static_cast<std::uint16_t>(rng_() % 401);
    if (!ledger_.wait_settled(10s)) {
      ++counters_.write_all_skipped;
      return;
    }
    const std::vector<std::string> live = ledger_.keys_in(UnitState::Live);
    std::optional<UiSettings> form;
    for (const std::string& key : live) {
      if ((form = form_for(key, delay))) break;
    }
    if (!form) {
      ++counters_.write_all_skipped;
      return;
    }
    ++counters_.write_all;
    for (const std::string& key : live) ledger_.write_issued(key);
    std::promise<Result<std::vector<UnitWriteReport>>> answered;
    client_.write_all_settings(*form, false, [&](Result<std::vector<UnitWriteReport>> r) {
      answered.set_value(std::move(r));
    });
    const Result<std::vector<UnitWriteReport>> r = answered.get_future().get();
    if (!r) violations.add("write_all_settings answered a panic: " + r.error());
    for (const std::string& key : live) ledger_.write_answered(key, r && r->empty());
  }

  void listing() {
    if (listings_in_flight_ >= 4) return;
    ++listings_in_flight_;
    client_.units([this, asked = ledger_.listing_issued()](Result<std::vector<UnitInfo>> r) {
      if (!r) {
        violations.add("units answered a panic: " + r.error());
      } else {
        std::vector<std::string> keys;
        for (const UnitInfo& u : *r) keys.push_back(u.key);
        ledger_.listing_answered(asked, keys);
      }
      --listings_in_flight_;
    });
  }

  // Only the first subscription of a process receives events; every later one must be closed at
  // once, with nothing in it.
  void subscribe() {
    ++counters_.subscriptions;
    client_.event_stream([this](UiEvent) { ++counters_.extra_items; },
                         [this] { ++counters_.closes; },
                         [](Result<client::Nothing> r) {
                           if (!r) violations.add("event_stream answered a panic: " + r.error());
                         });
  }

  Client& client_;
  Ledger& ledger_;
  Counters& counters_;
  std::mt19937_64 rng_;
  std::vector<Sim> sims_;
  std::mutex settings_mutex_;
  std::map<std::string, UiSettings> settings_;
  std::atomic<int> listings_in_flight_{0};
};

// ---- An engine in hardware mode, with pseudo-terminal units behind a fake sysfs ----

class PortDriver {
 public:
  PortDriver(Ledger& ledger, Counters& counters, std::uint64_t seed)
      : ledger_(ledger), counters_(counters), rng_(seed) {
    fs::create_directories(tree_.dev());
    for (int i = 0; i < PTY_UNITS; ++i) {
      const std::string key = "SOAKPTY" + std::to_string(i);
      const std::string tty = "ttyACM" + std::to_string(i);
      tree_.add_usb_port(tty, {.serial = key});
      ports_.push_back({key, tree_.dev_path(tty), nullptr});
      ledger_.add_unit(key);
    }
    started_ = create_engine(
        {.simulator = false, .sysfs_root = tree_.sysfs().string(), .dev_root = tree_.dev()});
    events_ = std::thread([this] { forward_events(); });
  }

  void step() {
    Port& port = ports_[rng_() % ports_.size()];
    const std::uint64_t action = rng_() % 100;
    const std::uint16_t delay = static_cast<std::uint16_t>(rng_() % 401);
    const auto linger = std::chrono::milliseconds(rng_() % 1500);
    ++counters_.operations;
    if (!ledger_.wait_idle(port.key, UNIT_LIMIT)) return;
    if (ledger_.state(port.key) == UnitState::Absent) return plug(port);
    if (action < 40) {
      write(port.key, delay);
      // Half of the writes lose their unit on the way: while sending, waiting or confirming.
      if (action % 2 == 0) {
        std::this_thread::sleep_for(linger);
        unplug(port);
      }
      return;
    }
    if (action < 55) return refresh(port.key);
    if (action < 70) return unplug(port);
    listing();
  }

  void unplug_all() {
    for (Port& port : ports_) {
      ledger_.wait_idle(port.key, UNIT_LIMIT);
      if (ledger_.state(port.key) == UnitState::Live) unplug(port);
    }
    for (Port& port : ports_) ledger_.wait_idle(port.key, UNIT_LIMIT);
    // A unit that never got announced still holds its line.
    for (Port& port : ports_) {
      if (port.unit) unplug(port);
    }
  }

  // Stops reading events; the engine itself has no end and lives on until the process exits.
  void stop_events() {
    stop_ = true;
    events_.join();
  }

  fs::path tree_root() const { return tree_.base(); }

 private:
  struct Port {
    std::string key;
    std::string node;
    std::unique_ptr<PtyUnit> unit;
  };

  UnitRegistry& registry() { return *started_.engine->manager.registry; }

  void forward_events() {
    while (!stop_) {
      RecvResult<UnitEvent> got = started_.ui_events.recv_until(Clock::now() + 100ms);
      if (got.status == RecvStatus::Disconnected) {
        violations.add("ports: the engine closed its event channel");
        return;
      }
      if (!got.value) continue;
      std::visit(
          [&](auto& x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, event::Announced>) {
              ledger_.announced(x.key);
            } else if constexpr (std::is_same_v<T, event::Stopped>) {
              ledger_.stopped(x.key);
            } else if constexpr (std::is_same_v<T, event::WriteResult>) {
              ledger_.write_result(x.key);
            } else if constexpr (std::is_same_v<T, event::Settings>) {
              const std::lock_guard<std::mutex> lock(settings_mutex_);
              settings_[x.key] = x.settings;
            }
          },
          *got.value);
    }
  }

  void plug(Port& port) {
    ledger_.adding(port.key);
    port.unit = std::make_unique<PtyUnit>(simulated_unit_settings(
        static_cast<std::uint32_t>(4000 + port.key.back()), 215000, 217000, 6));
    // The node appears in one step, as udev makes it.
    fs::create_symlink(port.unit->slave_path(), port.node + ".new");
    fs::rename(port.node + ".new", port.node);
  }

  void unplug(Port& port) {
    ++counters_.unplugs;
    if (ledger_.has_pending(port.key)) ++counters_.unplugs_mid_write;
    if (ledger_.state(port.key) == UnitState::Live) ledger_.removing(port.key);
    fs::remove(port.node);
    port.unit.reset();  // hangs up the line
  }

  void write(const std::string& key, std::uint16_t delay) {
    std::optional<UnitSettings> requested;
    {
      const std::lock_guard<std::mutex> lock(settings_mutex_);
      if (auto it = settings_.find(key); it != settings_.end()) requested = it->second;
    }
    if (!requested) return;
    requested->delayMs = delay;
    // Decided and recorded under the registry lock, so that the outcome cannot overtake it.
    registry().with_lock([&](UnitMap& units) {
      ledger_.write_issued(key);
      auto prepared = prepare_write(units, key, *requested, true, false);
      if (prepared) queue_write(units.at(key), std::move(prepared.value()));
      ledger_.write_answered(key, prepared.has_value());
    });
  }

  void refresh(const std::string& key) {
    registry().with_lock([&](UnitMap& units) {
      if (auto it = units.find(key); it != units.end()) {
        it->second.commands.send(command::Refresh{});
      }
    });
  }

  void listing() {
    const Ledger::Listing asked = ledger_.listing_issued();
    std::vector<std::string> keys;
    for (const UnitSnapshot& u : registry().snapshot_units()) keys.push_back(u.key);
    ledger_.listing_answered(asked, keys);
  }

  Ledger& ledger_;
  Counters& counters_;
  std::mt19937_64 rng_;
  testing_support::FakeSysfs tree_;
  std::vector<Port> ports_;
  EngineStart started_;
  std::thread events_;
  std::atomic<bool> stop_{false};
  std::mutex settings_mutex_;
  std::map<std::string, UnitSettings> settings_;
};

bool parse(const char* text, long& out) {
  const char* end = text + std::strlen(text);
  auto [p, ec] = std::from_chars(text, end, out);
  return ec == std::errc() && p == end;
}

int usage() {
  std::cerr << "usage: owl_soak --seconds N [--seed N] [--write-deadline SECONDS] "
               "[--rss-slack-mib N]\n"
               "  --rss-slack-mib: how much resident memory may grow over the run (default "
            << DEFAULT_RSS_SLACK_MIB << ", -1: not checked)\n";
  return 2;
}

template <class F>
bool wait_until(Clock::duration limit, F ok) {
  const auto end = Clock::now() + limit;
  while (!ok()) {
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

// How much resident memory may grow over the run, in KiB; negative: not checked.
long rss_slack_kib(const Options& options) {
  return options.rss_slack_mib * 1024;
}

// The engine library in simulator mode with its two built-in units, its event stream feeding the
// driver.
void start_library(Client& c, Ledger& ledger, LibraryDriver& library) {
  c.initialize_wait();
  ledger.adding("SIM0001");
  ledger.adding("SIM0002");
  c.start_wait(true);
  // Shared with the answer, which may still be setting it when the wait below returns.
  auto subscribed = std::make_shared<std::promise<void>>();
  c.event_stream([driver = &library](UiEvent e) { driver->on_event(std::move(e)); },
                 [] { violations.add("the event stream was closed"); },
                 [subscribed](Result<client::Nothing> r) {
                   if (!r) violations.add("event_stream answered a panic: " + r.error());
                   subscribed->set_value();
                 });
  subscribed->get_future().wait();
}

// Both drivers step at their own random pace until the run's time is up.
void drive(const Options& options, LibraryDriver& library, PortDriver& ports) {
  const auto end = Clock::now() + std::chrono::seconds(options.seconds);
  std::thread library_thread([&] {
    std::mt19937_64 pace(options.seed + 2);
    while (Clock::now() < end) {
      library.step();
      std::this_thread::sleep_for(std::chrono::milliseconds(pace() % 20));
    }
  });
  std::thread port_thread([&] {
    std::mt19937_64 pace(options.seed + 3);
    while (Clock::now() < end) {
      ports.step();
      std::this_thread::sleep_for(std::chrono::milliseconds(pace() % 50));
    }
  });
  library_thread.join();
  port_thread.join();
}

// Every unit goes, every open write must end, and every extra subscription must be closed.
void wind_down(LibraryDriver& library, PortDriver& ports, Ledger& library_ledger,
               Ledger& port_ledger, Clock::duration deadline, const Counters& counters) {
  library.remove_all();
  ports.unplug_all();
  library_ledger.finish(deadline);
  port_ledger.finish(deadline);
  wait_until(10s, [&] { return !library.calls_in_flight(); });
  wait_until(10s, [&] { return counters.closes >= counters.subscriptions; });
  if (counters.closes != counters.subscriptions || counters.extra_items != 0) {
    violations.add(std::to_string(counters.subscriptions) + " extra subscriptions, " +
                   std::to_string(counters.closes) + " closed, " +
                   std::to_string(counters.extra_items) + " items in them");
  }
}

// The levels after the run, which must be back where they started.
Levels check_levels(const Levels& before, long rss_slack) {
  // Worker threads end just after their Stopped; give them a moment to be gone.
  Levels after = levels();
  wait_until(10s, [&] {
    after = levels();
    return after.threads <= before.threads && after.fds <= before.fds;
  });
  if (after.threads != before.threads) {
    violations.add("threads: " + std::to_string(before.threads) + " before, " +
                   std::to_string(after.threads) + " after");
  }
  if (after.fds != before.fds) {
    violations.add("file descriptors: " + std::to_string(before.fds) + " before, " +
                   std::to_string(after.fds) + " after");
  }
  if (rss_slack >= 0 && after.rss > before.rss + rss_slack) {
    violations.add("resident memory: " + std::to_string(before.rss) + " KiB before, " +
                   std::to_string(after.rss) + " KiB after");
  }
  return after;
}

MessageAccount::Totals check_messages() {
  const MessageAccount::Totals messages = MessageAccount::instance().totals();
  if (messages.taken != messages.finalised || messages.outstanding != 0) {
    violations.add(std::to_string(messages.taken) + " messages taken, " +
                   std::to_string(messages.finalised) + " finalised");
  }
  return messages;
}

struct Outcome {
  Levels before;
  Levels after;
  MessageAccount::Totals messages;
};

// The violations on standard error, then the summary line; true when the run passed.
bool report(const Options& options, Ledger& library_ledger, Ledger& port_ledger,
            const Counters& counters, const Peaks& peaks, const Outcome& outcome) {
  const auto& [before, after, messages] = outcome;
  for (const std::string& v : violations.first()) std::cerr << "soak: violated: " << v << '\n';
  for (const auto& [kind, n] : violations.by_kind()) {
    std::cerr << "soak: " << n << " times: " << kind << '\n';
  }
  const LedgerTotals a = library_ledger.totals();
  const LedgerTotals b = port_ledger.totals();
  const bool ok = violations.count() == 0;
  std::cout << "soak " << (ok ? "passed" : "FAILED") << ": seed " << options.seed << ", "
            << options.seconds << " s, operations " << counters.operations << ", writes "
            << a.writes_issued + b.writes_issued << " (accepted "
            << a.writes_accepted + b.writes_accepted << ", refused "
            << a.writes_refused + b.writes_refused << ", to all " << counters.write_all
            << "), results " << a.results + b.results << ", stops " << a.stops + b.stops
            << " (ending " << a.ended_by_stop + b.ended_by_stop << " writes), replacements "
            << counters.replacements << ", unplugs " << counters.unplugs << " ("
            << counters.unplugs_mid_write << " mid-write), listings " << a.listings + b.listings
            << ", streams " << counters.subscriptions << ", posts " << messages.taken
            << " finalised " << messages.finalised << ", peak threads " << peaks.threads
            << ", threads " << before.threads << "->" << after.threads << ", fds " << before.fds
            << "->" << after.fds << " (peak " << peaks.fds << "), rss KiB " << before.rss << "->"
            << after.rss << " (peak " << peaks.rss
            << (rss_slack_kib(options) < 0 ? ", not checked" : "") << "), violations "
            << violations.count() << std::endl;
  return ok;
}

int run(const Options& options) {
  Client& c = Client::instance();
  MessageAccount::instance().set_runtime(Client::post_function());
  store_dart_post_cobject(&MessageAccount::post);

  const auto deadline = std::chrono::seconds(options.write_deadline);
  Ledger library_ledger("library", violations, deadline);
  Ledger port_ledger("ports", violations, deadline);
  Counters counters;
  LibraryDriver library(c, library_ledger, counters, options.seed);
  start_library(c, library_ledger, library);
  auto ports = std::make_unique<PortDriver>(port_ledger, counters, options.seed + 1);

  // The starting level is the engine with no unit: the built-in units go first.
  library.remove_all();

  Peaks peaks;
  std::atomic<bool> running{true};
  std::thread monitor([&] {
    while (running) {
      peaks.sample();
      library_ledger.check_deadlines();
      port_ledger.check_deadlines();
      std::this_thread::sleep_for(200ms);
    }
  });
  std::this_thread::sleep_for(1s);
  Outcome outcome;
  outcome.before = levels();

  drive(options, library, *ports);
  wind_down(library, *ports, library_ledger, port_ledger, deadline, counters);
  outcome.after = check_levels(outcome.before, rss_slack_kib(options));
  running = false;
  monitor.join();
  ports->stop_events();
  outcome.messages = check_messages();

  const bool ok = report(options, library_ledger, port_ledger, counters, peaks, outcome);
  // The engines' threads run until the process ends; leave without tearing statics down under
  // them, but take the fake device tree away first.
  fs::remove_all(ports->tree_root());
  std::fflush(nullptr);
  std::_Exit(ok ? 0 : 1);
}

}  // namespace
}  // namespace owl::soak

int main(int argc, char** argv) {
  owl::soak::Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return owl::soak::usage();
    long value = 0;
    if (!owl::soak::parse(argv[++i], value)) return owl::soak::usage();
    if (arg == "--seconds") {
      options.seconds = value;
    } else if (arg == "--seed" && value >= 0) {
      options.seed = static_cast<std::uint64_t>(value);
    } else if (arg == "--write-deadline") {
      options.write_deadline = value;
    } else if (arg == "--rss-slack-mib") {
      options.rss_slack_mib = value;
    } else {
      return owl::soak::usage();
    }
  }
  if (options.seconds <= 0 || options.write_deadline <= 0) return owl::soak::usage();
  try {
    return owl::soak::run(options);
  } catch (const std::exception& e) {
    std::cerr << "soak: " << e.what() << '\n';
    return 2;
  }
}
