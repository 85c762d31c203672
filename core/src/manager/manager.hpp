#pragma once

#include <memory>

#include "channel.hpp"
#include "clock.hpp"
#include "manager/events.hpp"
#include "manager/registry.hpp"

namespace owl {

// What a new device worker is given: the registry to join and a sender of the event channel.
struct Manager {
  std::shared_ptr<UnitRegistry> registry;
  Sender<UnitEvent> events;
  Clock* clock = &SteadyClock::instance();
};

}  // namespace owl
