#pragma once

#include <chrono>
#include <map>
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

// Local time with its UTC offset, to the millisecond: "2026-12-07T03:41:56.123+01:00".
std::string time_stamp(std::chrono::system_clock::time_point time);

// `watch` output: the event after a time stamp, as text or as JSON with "time" first.
std::string watch_line(const UiEvent& event, std::chrono::system_clock::time_point time, bool json);

// Units report their settings and identity every few seconds; `watch` shows a report only when
// it differs from the last one shown for that unit. A unit that stopped starts over.
class WatchFilter {
 public:
  bool shows(const UiEvent& event);

 private:
  template <class T>
  static bool changed(std::map<std::string, T>& last, const std::string& key, const T& value) {
    const auto [it, first] = last.try_emplace(key, value);
    if (first) return true;
    if (it->second == value) return false;
    it->second = value;
    return true;
  }

  std::map<std::string, UiSettings> settings_;
  std::map<std::string, std::string> identities_;
};

}  // namespace owl::cli
