#include "platform/system_log.hpp"

#include <syslog.h>

#include <atomic>
#include <mutex>
#include <string>

namespace owl::bridge {

namespace {
std::atomic<bool> installed{false};
}  // namespace

void install_system_log() {
  static std::once_flag once;
  std::call_once(once, [] {
    openlog("frb_user", LOG_PID | LOG_NDELAY, LOG_USER);
    installed.store(true, std::memory_order_release);
  });
}

// The runtime's logger maps error, warn, info, debug and trace onto the types fault, error,
// default, info and debug of the system log it was written for. Syslog gets the same ladder
// (fault as LOG_CRIT, default as LOG_NOTICE), so that a record weighs the same wherever the
// runtime logs: an error is critical, a warning an error, and trace, which syslog has no name
// for, is debug.
int syslog_priority(LogLevel level) {
  switch (level) {
    case LogLevel::Error:
      return LOG_CRIT;
    case LogLevel::Warn:
      return LOG_ERR;
    case LogLevel::Info:
      return LOG_NOTICE;
    case LogLevel::Debug:
      return LOG_INFO;
    case LogLevel::Trace:
      return LOG_DEBUG;
  }
  return LOG_DEBUG;
}

void log_record(LogLevel level, std::string_view module, std::string_view message) {
  if (!installed.load(std::memory_order_acquire)) return;
  const int priority = syslog_priority(level);
  // setlogmask(0) reads the mask without changing it: only enabled levels are written.
  if ((setlogmask(0) & LOG_MASK(priority)) == 0) return;
  const std::string category(module);
  const std::string text(message);
  syslog(priority, "[%s] %s", category.c_str(), text.c_str());
}

}  // namespace owl::bridge
