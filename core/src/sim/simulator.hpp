#pragma once

#include <cstdint>
#include <string>

#include "manager/manager.hpp"

namespace owl {

// Creates a simulated unit and serves it with an ordinary device worker, label "simulator".
// Adding under an id that already exists replaces that unit.
void add_simulated_unit(Manager& manager, const std::string& id, std::uint32_t serial,
                        std::uint32_t lo, std::uint32_t hi, std::uint32_t channel_count);

// Raises the stop flag of the simulated unit with this id, so that its worker ends. Returns
// whether there was one.
bool remove_simulated_unit(const std::string& id);

}  // namespace owl
