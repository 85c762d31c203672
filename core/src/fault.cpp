#include "fault.hpp"

#include <atomic>
#include <string>

#include "trace.hpp"

namespace owl {

namespace {
std::atomic<FaultSink> fault_sink{nullptr};
}  // namespace

void set_fault_sink(FaultSink sink) {
  fault_sink.store(sink);
}

void report_fault(std::string_view where, std::string_view what) {
  if (FaultSink sink = fault_sink.load()) {
    sink(where, what);
  } else if (trace_enabled()) {
    trace(std::string(where) + " failed: " + std::string(what));
  }
}

}  // namespace owl
