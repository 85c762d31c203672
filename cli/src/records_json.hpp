#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "records.hpp"

// How `list` and `watch` print the engine's records, as JSON and as one line of text.
namespace owl::cli {

// Text that came from a unit may hold invalid UTF-8; it is printed with replacement characters
// rather than failing.
std::string dump_json(const nlohmann::ordered_json& value, int indent = -1);

nlohmann::ordered_json unit_to_json(const UnitInfo& unit);
// One line for `list`: key, name, where it is connected, identity, channel count.
std::string unit_line(const UnitInfo& unit);

nlohmann::ordered_json event_to_json(const UiEvent& event);
std::string event_line(const UiEvent& event);

}  // namespace owl::cli
