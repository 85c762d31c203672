#include "manager/event_pump.hpp"

#include <exception>
#include <string>
#include <system_error>

#include "device/worker.hpp"
#include "error.hpp"
#include "fault.hpp"
#include "platform/thread.hpp"

namespace owl {

namespace {

const std::string* event_key(const UnitEvent& event) {
  return std::visit(
      [](const auto& e) -> const std::string* {
        if constexpr (requires { e.key; }) {
          return &e.key;
        } else {
          return nullptr;
        }
      },
      event);
}

Generation event_generation(const UnitEvent& event) {
  return std::visit(
      [](const auto& e) -> Generation {
        if constexpr (requires { e.generation; }) {
          return e.generation;
        } else {
          return 0;
        }
      },
      event);
}

void announce(Unit& unit, std::vector<UnitEvent>& out) {
  if (unit.announced) return;
  unit.announced = true;
  out.emplace_back(event::Announced{unit.key, unit.label});
}

// Whether the event comes from the worker that holds its key now. Every worker event carries the
// generation of its registration; a key that is not registered any more was replaced or removed.
bool from_current_worker(const UnitMap& units, const std::string& key, Generation generation) {
  auto it = units.find(key);
  return it != units.end() && it->second.generation == generation;
}

}  // namespace

std::vector<UnitEvent> apply_unit_event(UnitMap& units, UnitEvent event) {
  std::vector<UnitEvent> out;
  bool swallowed = false;
  if (auto* stopped = std::get_if<event::Stopped>(&event)) {
    auto it = units.find(stopped->key);
    if (it != units.end()) {
      if (it->second.generation != stopped->generation) {
        // The key now belongs to a newer worker: the unit is still served.
        swallowed = true;
      } else {
        swallowed = !it->second.announced;
        units.erase(it);
      }
    }
    // An unregistered key passes: a user interface may still show it from an earlier worker.
    if (!swallowed) out.push_back(std::move(event));
    return out;
  }
  if (auto* result = std::get_if<event::WriteResult>(&event)) {
    // Sent by the engine itself when the replacement cut the write short: always the last word.
    if (std::holds_alternative<outcome::Replaced>(result->outcome)) {
      out.push_back(std::move(event));
      return out;
    }
  }
  const std::string* key = event_key(event);
  if (key == nullptr) {
    // Port problems name no unit and always pass.
    out.push_back(std::move(event));
    return out;
  }
  // A late event of a replaced worker would otherwise be taken for the new unit's.
  if (!from_current_worker(units, *key, event_generation(event))) return out;
  Unit& unit = units.find(*key)->second;
  if (auto* settings = std::get_if<event::Settings>(&event)) {
    announce(unit, out);
    unit.settings = settings->settings;
  } else if (auto* identity = std::get_if<event::Identity>(&event)) {
    // The units' firmware names itself "OWL ..." in its identity text, which makes that text proof
    // enough to show the unit before its settings arrive. Any other text (a boot console, say)
    // proves nothing about the device: it is stored, but the unit stays hidden until it reports
    // settings.
    if (identity->text.rfind("OWL", 0) == 0) announce(unit, out);
    unit.identity = identity->text;
  } else if (std::holds_alternative<event::WriteResult>(event)) {
    unit.confirming = false;
  }
  if (unit.announced) out.push_back(std::move(event));
  return out;
}

void run_event_pump(Receiver<UnitEvent> events, Sender<UnitEvent> ui_events,
                    std::shared_ptr<UnitRegistry> registry) {
  std::string last_failure;
  while (std::optional<UnitEvent> received = events.recv()) {
    std::vector<UnitEvent> pass_on;
    if (std::holds_alternative<event::PortProblems>(*received)) {
      // Needs nothing from the registry, so it passes even when the registry has failed.
      pass_on.push_back(std::move(*received));
    } else {
      try {
        pass_on = registry->with_lock(
            [&](UnitMap& units) { return apply_unit_event(units, std::move(*received)); });
      } catch (const std::exception& e) {
        // The event is lost, not the pump: a poisoned registry fails every later event the same
        // way, which is reported once.
        if (last_failure != e.what()) {
          last_failure = e.what();
          report_fault("owl-events", last_failure);
        }
        continue;
      }
    }
    for (UnitEvent& e : pass_on) {
      if (!ui_events.send(std::move(e))) break;
    }
  }
}

void spawn_event_pump(Receiver<UnitEvent> events, Sender<UnitEvent> ui_events,
                      std::shared_ptr<UnitRegistry> registry) {
  try {
    spawn_detached("owl-events", [events = std::move(events), ui_events = std::move(ui_events),
                                  registry = std::move(registry)]() mutable {
      run_event_pump(std::move(events), std::move(ui_events), std::move(registry));
    });
  } catch (const std::system_error&) {
    throw Panic("spawn event thread");
  }
}

}  // namespace owl
