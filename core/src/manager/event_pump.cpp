#include "manager/event_pump.hpp"

#include <system_error>

#include "device/worker.hpp"
#include "error.hpp"
#include "thread.hpp"

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

void announce(UnitMap& units, const std::string& key, std::vector<UnitEvent>& out) {
  auto it = units.find(key);
  if (it == units.end() || it->second.announced) return;
  it->second.announced = true;
  out.emplace_back(event::Announced{it->second.key, it->second.label});
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
  } else if (auto* settings = std::get_if<event::Settings>(&event)) {
    announce(units, settings->key, out);
    if (auto it = units.find(settings->key); it != units.end()) {
      it->second.settings = settings->settings;
    }
  } else if (auto* identity = std::get_if<event::Identity>(&event)) {
    if (identity->text.rfind("OWL", 0) == 0) announce(units, identity->key, out);
    if (auto it = units.find(identity->key); it != units.end()) {
      it->second.identity = identity->text;
    }
  } else if (auto* result = std::get_if<event::WriteResult>(&event)) {
    if (auto it = units.find(result->key); it != units.end()) it->second.confirming = false;
  }
  if (!swallowed) {
    // Port problems name no unit and always pass.
    if (const std::string* key = event_key(event)) {
      auto it = units.find(*key);
      swallowed = it != units.end() && !it->second.announced;
    }
  }
  if (!swallowed) out.push_back(std::move(event));
  return out;
}

void run_event_pump(Receiver<UnitEvent> events, Sender<UnitEvent> ui_events,
                    std::shared_ptr<UnitRegistry> registry) {
  while (std::optional<UnitEvent> received = events.recv()) {
    std::vector<UnitEvent> pass_on = registry->with_lock(
        [&](UnitMap& units) { return apply_unit_event(units, std::move(*received)); });
    for (UnitEvent& e : pass_on) {
      if (!ui_events.send(std::move(e))) return;
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
