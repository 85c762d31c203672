#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace owl {

// Whether OWL_TRACE switches the trace on: unset, empty or exactly "0" means off.
bool trace_switch_value(const char* env_value);

// The process-wide switch, read from OWL_TRACE on the first call and never changed after.
bool trace_enabled();

// Writes one trace line to standard error if the switch is on. Callers test trace_enabled() first
// when the message is expensive to build.
void trace(std::string_view message);

// "owl " + seconds right-aligned in 4 + "." + 3-digit milliseconds + " " + message + "\n".
// A negative elapsed time formats as 0.000.
std::string format_trace_line(std::chrono::nanoseconds elapsed, std::string_view message);

// Two lower-case hex digits per byte, separated by single spaces.
std::string hex_dump(std::span<const std::uint8_t> bytes);

}  // namespace owl
