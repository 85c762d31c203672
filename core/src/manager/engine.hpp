#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "channel.hpp"
#include "clock.hpp"
#include "manager/events.hpp"
#include "manager/manager.hpp"
#include "manager/registry.hpp"

namespace owl {

// The last published port problems: device path to the text of its last open failure.
struct PortProblemTable {
  std::mutex mutex;
  std::map<std::string, std::string> problems;
};

struct EngineOptions {
  bool simulator = false;
  // Where hardware mode looks for serial ports; tests hand in trees of their own.
  std::string sysfs_root = "/sys";
  std::string dev_root = "/dev";
  Clock* clock = &SteadyClock::instance();
};

// The running engine: the event channel's sending side, the registry and the port-problem table.
struct Engine {
  Manager manager;
  std::shared_ptr<PortProblemTable> port_problems;
};

struct EngineStart {
  std::unique_ptr<Engine> engine;
  Receiver<UnitEvent> ui_events;
};

// Creates the channels, the registry and the port-problem table, starts the event pump, then
// either the two built-in simulated units or the port scanner. Throws Panic when a thread cannot
// be started.
EngineStart create_engine(const EngineOptions& options);

}  // namespace owl
