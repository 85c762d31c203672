#pragma once

#include <memory>

#include "channel.hpp"
#include "clock.hpp"
#include "manager/events.hpp"
#include "manager/registry.hpp"

namespace owl {

// What starting a device worker needs from the engine (the scanner and the simulator pass it on):
// the registry to join, a sender of the event channel and the clock the loop runs on.
struct Manager {
  std::shared_ptr<UnitRegistry> registry;
  Sender<UnitEvent> events;
  Clock* clock = &SteadyClock::instance();
};

}  // namespace owl
