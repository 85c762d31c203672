#include "trace.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include "text.hpp"

namespace owl {

namespace {

struct TraceSwitch {
  bool on = false;
  std::chrono::steady_clock::time_point clock{};
};

const TraceSwitch& trace_switch() {
  // A function-local static is initialised once; concurrent first callers wait for it.
  static const TraceSwitch value = [] {
    TraceSwitch s;
    s.on = trace_switch_value(std::getenv("OWL_TRACE"));
    if (s.on) s.clock = std::chrono::steady_clock::now();
    return s;
  }();
  return value;
}

}  // namespace

bool trace_switch_value(const char* env_value) {
  if (env_value == nullptr || env_value[0] == '\0') return false;
  return std::strcmp(env_value, "0") != 0;
}

bool trace_enabled() {
  return trace_switch().on;
}

std::string format_trace_line(std::chrono::nanoseconds elapsed, std::string_view message) {
  const std::int64_t ns = elapsed.count() < 0 ? 0 : elapsed.count();
  const std::int64_t seconds = ns / 1'000'000'000;
  const std::int64_t millis = (ns % 1'000'000'000) / 1'000'000;
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "owl %4lld.%03lld ", static_cast<long long>(seconds),
                static_cast<long long>(millis));
  std::string line(stamp);
  line.append(message);
  line.push_back('\n');
  return line;
}

void trace(std::string_view message) {
  const TraceSwitch& s = trace_switch();
  if (!s.on) return;
  const std::string line = format_trace_line(std::chrono::steady_clock::now() - s.clock, message);
  // One locked write per line so lines from different threads never interleave.
  // Never destroyed: detached worker threads may still trace while the process exits.
  static std::mutex* const stderr_lock = new std::mutex;
  const std::lock_guard<std::mutex> guard(*stderr_lock);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

std::string hex_dump(std::span<const std::uint8_t> bytes) {
  std::string out;
  if (bytes.empty()) return out;
  out.reserve(bytes.size() * 3 - 1);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) out.push_back(' ');
    append_hex(out, bytes[i]);
  }
  return out;
}

}  // namespace owl
