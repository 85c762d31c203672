#pragma once

#include "manager/engine.hpp"
#include "owl.hpp"

// What the engine's own tests reach below the operations in owl.hpp; no user interface calls these.
namespace owl {

UiEvent to_ui_event(UnitEvent event);

// Starts the engine as start(bool) does, with every option given (ports, clock, sysfs root).
void start(const EngineOptions& options);

// The started engine; throws Panic("start() must be called first") before start.
Engine& started_engine();

}  // namespace owl
