#include "owl.hpp"

#include "owl_seams.hpp"
#include "ui_settings.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>

#include "error.hpp"
#include "fault.hpp"
#include "manager/write.hpp"
#include "platform/thread.hpp"
#include "settings/json.hpp"
#include "settings/verification.hpp"
#include "sim/simulator.hpp"
#include "texts.hpp"

namespace owl {

namespace {

// The engine exists at most once per process and is never freed: device workers and the pump
// hold on to parts of it until the process ends.
std::once_flag engine_once;
std::atomic<Engine*> engine_slot{nullptr};
std::atomic<bool> simulator_flag{false};

struct EventSlot {
  std::mutex mutex;
  std::optional<Receiver<UnitEvent>> receiver;
};

EventSlot& event_slot() {
  static EventSlot* const slot = new EventSlot;
  return *slot;
}

std::string outcome_message(const WriteOutcome& outcome) {
  return std::visit(
      [](const auto& o) -> std::string {
        using O = std::decay_t<decltype(o)>;
        if constexpr (std::is_same_v<O, outcome::NoAnswer>) {
          return "the unit did not answer after the write";
        } else if constexpr (std::is_same_v<O, outcome::KeptDifferent>) {
          return kept_different_message(o.differences);
        } else if constexpr (std::is_same_v<O, outcome::Busy>) {
          return "a previous write to this unit is still being confirmed";
        } else if constexpr (std::is_same_v<O, outcome::SendFailed>) {
          return "serial write failed: " + o.text;
        } else if constexpr (std::is_same_v<O, outcome::Replaced>) {
          return "the unit was replaced before the write was confirmed";
        } else {
          return "";
        }
      },
      outcome);
}

// Holds an opened stream and closes it exactly once, on whichever path lets go of it, including a
// forwarding thread that never started.
struct ClosingSink {
  explicit ClosingSink(std::unique_ptr<EventSink> s) : sink(std::move(s)) {}
  ClosingSink(ClosingSink&&) noexcept = default;
  ClosingSink& operator=(ClosingSink&&) = delete;
  ClosingSink(const ClosingSink&) = delete;
  ClosingSink& operator=(const ClosingSink&) = delete;
  ~ClosingSink() { close(); }

  void close() noexcept {
    if (!sink) return;
    try {
      sink->close();
    } catch (const std::exception& e) {
      report_fault("event stream", e.what());
    }
    sink.reset();
  }

  std::unique_ptr<EventSink> sink;
};

const UnitSnapshot* find_unit(const std::vector<UnitSnapshot>& snapshot, const std::string& key) {
  auto it = std::find_if(snapshot.begin(), snapshot.end(),
                         [&](const UnitSnapshot& u) { return u.key == key; });
  return it == snapshot.end() ? nullptr : &*it;
}

}  // namespace

UiEvent to_ui_event(UnitEvent event) {
  return std::visit(
      [](auto&& e) -> UiEvent {
        using E = std::decay_t<decltype(e)>;
        if constexpr (std::is_same_v<E, event::Announced>) {
          return ui_event::Announced{std::move(e.key), std::move(e.label)};
        } else if constexpr (std::is_same_v<E, event::Stopped>) {
          return ui_event::Stopped{std::move(e.key), std::move(e.reason)};
        } else if constexpr (std::is_same_v<E, event::Settings>) {
          return ui_event::Settings{std::move(e.key), settings_to_ui(e.settings)};
        } else if constexpr (std::is_same_v<E, event::Identity>) {
          return ui_event::Identity{std::move(e.key), std::move(e.text)};
        } else if constexpr (std::is_same_v<E, event::WriteResult>) {
          const bool ok = std::holds_alternative<outcome::Confirmed>(e.outcome);
          return ui_event::WriteResult{std::move(e.key), ok, outcome_message(e.outcome)};
        } else {
          return ui_event::PortProblems{std::move(e.lines)};
        }
      },
      std::move(event));
}

Engine& started_engine() {
  Engine* engine = engine_slot.load(std::memory_order_acquire);
  if (engine == nullptr) throw Panic("start() must be called first");
  return *engine;
}

std::string core_version() {
  return "0.1.0";
}

bool build_features() {
  return false;
}

void start(bool simulator) {
  EngineOptions options;
  options.simulator = simulator;
  start(options);
}

void start(const EngineOptions& options) {
  if (engine_slot.load(std::memory_order_acquire) != nullptr) return;
  // A concurrent caller waits here for the first; an exception leaves the slot empty for a retry.
  std::call_once(engine_once, [&] {
    if (options.simulator) simulator_flag.store(true);
    EngineStart created = create_engine(options);
    if (!options.simulator) simulator_flag.store(false);
    {
      const std::lock_guard<std::mutex> lock(event_slot().mutex);
      event_slot().receiver = std::move(created.ui_events);
    }
    engine_slot.store(created.engine.release(), std::memory_order_release);
  });
}

std::vector<UnitInfo> units() {
  Engine& engine = started_engine();
  std::vector<UnitInfo> out;
  for (UnitSnapshot& unit : engine.manager.registry->snapshot_units()) {
    UnitInfo info{std::move(unit.key), std::move(unit.label), std::move(unit.identity), {}, {}};
    if (unit.settings) {
      info.settings = settings_to_ui(*unit.settings);
      info.settings_json = settings_to_json_text(*unit.settings);
    }
    out.push_back(std::move(info));
  }
  return out;
}

void refresh_unit(const std::string& key) {
  Engine& engine = started_engine();
  engine.manager.registry->read_locked([&](const UnitMap& map) {
    if (auto it = map.find(key); it != map.end()) it->second.commands.send(command::Refresh{});
  });
}

void event_stream(std::unique_ptr<EventSink> sink) {
  std::optional<Receiver<UnitEvent>> receiver;
  {
    const std::lock_guard<std::mutex> lock(event_slot().mutex);
    receiver.swap(event_slot().receiver);
  }
  if (!receiver) {
    sink->close();
    return;
  }
  try {
    spawn_detached(
        "", [receiver = std::move(*receiver), stream = ClosingSink(std::move(sink))]() mutable {
          try {
            while (std::optional<UnitEvent> e = receiver.recv()) {
              if (!stream.sink->post(to_ui_event(std::move(*e)))) break;
            }
          } catch (const std::exception& e) {
            report_fault("event stream", e.what());
          }
          // Nothing more is taken from the pump, then the stream ends.
          receiver = Receiver<UnitEvent>();
          stream.close();
        });
  } catch (const std::system_error&) {
    // The sink went with the thread that never ran, and was closed on the way.
    throw Panic("failed to spawn thread");
  }
}

EnumOptions enum_options() {
  return make_enum_options();
}

UiSettings example_settings() {
  return settings_to_ui(example_unit_settings());
}

void sim_add_unit(const std::string& id, std::uint32_t serial, std::uint32_t band_low_khz,
                  std::uint32_t band_high_khz, std::uint32_t channels) {
  if (!simulator_flag.load()) return;
  add_simulated_unit(started_engine().manager, id, serial, band_low_khz, band_high_khz, channels);
}

void sim_remove_unit(const std::string& id) {
  remove_simulated_unit(id);
}

std::vector<std::string> check_settings(const std::string& key, const UiSettings& form) {
  Engine& engine = started_engine();
  const std::vector<UnitSnapshot> snapshot = engine.manager.registry->snapshot_units();
  const UnitSnapshot* unit = find_unit(snapshot, key);
  if (unit == nullptr || !unit->settings) return {};
  auto converted = settings_from_ui(form, *unit->settings);
  if (!converted) return {converted.error()};
  const UnitSettings request = build_write_request(*converted, *unit->settings, false, false);
  return problem_texts(validate_settings(request, *unit->settings));
}

std::vector<std::string> write_settings(const std::string& key, const UiSettings& form,
                                        bool keep_name, bool keep_charge) {
  Engine& engine = started_engine();
  const std::vector<UnitSnapshot> snapshot = engine.manager.registry->snapshot_units();
  const UnitSnapshot* unit = find_unit(snapshot, key);
  if (unit == nullptr || !unit->settings) {
    return {text::no_settings_yet(key)};
  }
  auto converted = settings_from_ui(form, *unit->settings);
  if (!converted) return {converted.error()};
  return engine.manager.registry->with_lock([&](UnitMap& map) -> std::vector<std::string> {
    auto request = prepare_write(map, key, *converted, keep_name, keep_charge);
    if (!request) return rejection_texts(request.error());
    queue_write(map.at(key), std::move(request.value()));
    return {};
  });
}

std::vector<UnitWriteReport> write_all_settings(const UiSettings& form, bool keep_charge) {
  Engine& engine = started_engine();
  const std::vector<UnitSnapshot> snapshot = engine.manager.registry->snapshot_units();
  auto base = std::find_if(snapshot.begin(), snapshot.end(),
                           [](const UnitSnapshot& u) { return u.settings.has_value(); });
  if (base == snapshot.end()) return {{"", "", {"no unit has reported settings yet"}}};
  auto converted = settings_from_ui(form, *base->settings);
  if (!converted) return {{"", "", {converted.error()}}};

  auto name_in_snapshot = [&](const std::string& key) {
    const UnitSnapshot* unit = find_unit(snapshot, key);
    return unit != nullptr && unit->settings ? unit->settings->unitName : std::string();
  };
  return engine.manager.registry->with_lock([&](UnitMap& map) {
    std::vector<std::string> keys;
    for (const auto& [key, unit] : map) keys.push_back(key);
    std::sort(keys.begin(), keys.end());
    std::vector<std::pair<std::string, UnitSettings>> accepted;
    std::vector<UnitWriteReport> failures;
    for (const std::string& key : keys) {
      auto request = prepare_write(map, key, *converted, true, keep_charge);
      if (request) {
        accepted.emplace_back(key, std::move(request.value()));
      } else {
        failures.push_back({key, name_in_snapshot(key), rejection_texts(request.error())});
      }
    }
    // All or nothing: one unit that cannot take the write stops it for every unit.
    if (!failures.empty()) return failures;
    for (auto& [key, request] : accepted) queue_write(map.at(key), std::move(request));
    return failures;
  });
}

}  // namespace owl
