#pragma once

#include <memory>
#include <vector>

#include "channel.hpp"
#include "manager/events.hpp"
#include "manager/registry.hpp"

namespace owl {

// Applies one event to the registry map (the caller holds the lock) and returns what the user
// interface may see of it, in order: an Announced made for it, then the event itself unless it
// is swallowed.
std::vector<UnitEvent> apply_unit_event(UnitMap& units, UnitEvent event);

// The pump's body: one event at a time, applied under the lock, passed on outside it. Returns
// when the event channel disconnects. Once the UI event channel's receiver is gone, events are
// still applied, so that the registry stays true for the calls that read it.
void run_event_pump(Receiver<UnitEvent> events, Sender<UnitEvent> ui_events,
                    std::shared_ptr<UnitRegistry> registry);

// Starts run_event_pump on the detached thread "owl-events". Throws Panic("spawn event thread").
void spawn_event_pump(Receiver<UnitEvent> events, Sender<UnitEvent> ui_events,
                      std::shared_ptr<UnitRegistry> registry);

}  // namespace owl
