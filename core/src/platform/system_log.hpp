#pragma once

#include <string_view>

namespace owl::bridge {

enum class LogLevel { Error, Warn, Info, Debug, Trace };

// Installs the logger that writes bridge records to the system log under "frb_user". Before it is
// installed, records go nowhere.
void install_system_log();

// One record of the bridge layer, with the module it comes from as its category.
void log_record(LogLevel level, std::string_view module, std::string_view message);

// The syslog priority each level maps to: error LOG_CRIT, warn LOG_ERR, info LOG_NOTICE, debug
// LOG_INFO, trace LOG_DEBUG.
int syslog_priority(LogLevel level);

}  // namespace owl::bridge
