#pragma once

#include <string_view>

namespace owl {

// Where the engine reports a failure it survived (an exception caught at the top of one of its
// threads, a unit or port given up): the thread or part it happened in, and what went wrong.
using FaultSink = void (*)(std::string_view where, std::string_view what);

// Replaces the sink; null puts back the default, which writes a trace line.
void set_fault_sink(FaultSink sink);

void report_fault(std::string_view where, std::string_view what);

}  // namespace owl
