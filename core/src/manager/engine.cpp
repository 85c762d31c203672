#include "manager/engine.hpp"

#include "manager/event_pump.hpp"
#include "manager/port_scanner.hpp"
#include "sim/simulator.hpp"

namespace owl {

EngineStart create_engine(const EngineOptions& options) {
  auto [events, event_receiver] = make_channel<UnitEvent>();
  auto [ui_events, ui_receiver] = make_channel<UnitEvent>();
  auto engine = std::make_unique<Engine>();
  engine->manager.registry = std::make_shared<UnitRegistry>();
  engine->manager.events = std::move(events);
  engine->manager.clock = options.clock;
  engine->port_problems = std::make_shared<PortProblemTable>();

  spawn_event_pump(std::move(event_receiver), std::move(ui_events), engine->manager.registry);

  if (options.simulator) {
    add_simulated_unit(engine->manager, "SIM0001", 1001, 215000, 217000, 10);
    add_simulated_unit(engine->manager, "SIM0002", 1002, 192000, 216975, 8);
  } else {
    ScannerConfig config{options.sysfs_root, options.dev_root};
    spawn_port_scanner(engine->manager, engine->port_problems, std::move(config));
  }
  return {std::move(engine), std::move(ui_receiver)};
}

}  // namespace owl
