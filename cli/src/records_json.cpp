#include "records_json.hpp"

#include <cstdio>
#include <ctime>
#include <type_traits>

#include "settings_file.hpp"

namespace owl::cli {
using frontend::join;
using frontend::settings_to_json;
namespace {

template <class>
inline constexpr bool ALWAYS_FALSE = false;

}  // namespace

std::string dump_json(const nlohmann::ordered_json& value, int indent) {
  return value.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

nlohmann::ordered_json unit_to_json(const UnitInfo& unit) {
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  out["key"] = unit.key;
  out["label"] = unit.label;
  out["identity"] = unit.identity ? nlohmann::ordered_json(*unit.identity) : nullptr;
  out["settings"] = unit.settings ? settings_to_json(*unit.settings) : nullptr;
  out["settings_json"] = unit.settings_json;
  return out;
}

std::string unit_line(const UnitInfo& unit) {
  const std::string name = unit.settings ? unit.settings->unit_name : "-";
  const std::string channels = unit.settings
                                   ? std::to_string(unit.settings->channels.size()) + " channels"
                                   : "no settings yet";
  return unit.key + "  " + name + "  " + unit.label + "  " + unit.identity.value_or("-") + "  " +
         channels;
}

nlohmann::ordered_json event_to_json(const UiEvent& event) {
  return std::visit(
      [](const auto& e) {
        using T = std::decay_t<decltype(e)>;
        nlohmann::ordered_json out = nlohmann::ordered_json::object();
        if constexpr (std::is_same_v<T, ui_event::Announced>) {
          out["event"] = "announced";
          out["key"] = e.key;
          out["label"] = e.label;
        } else if constexpr (std::is_same_v<T, ui_event::Stopped>) {
          out["event"] = "stopped";
          out["key"] = e.key;
          out["reason"] = e.reason;
        } else if constexpr (std::is_same_v<T, ui_event::Settings>) {
          out["event"] = "settings";
          out["key"] = e.key;
          out["settings"] = settings_to_json(e.settings);
        } else if constexpr (std::is_same_v<T, ui_event::Identity>) {
          out["event"] = "identity";
          out["key"] = e.key;
          out["text"] = e.text;
        } else if constexpr (std::is_same_v<T, ui_event::WriteResult>) {
          out["event"] = "write_result";
          out["key"] = e.key;
          out["ok"] = e.ok;
          out["message"] = e.message;
        } else if constexpr (std::is_same_v<T, ui_event::PortProblems>) {
          out["event"] = "port_problems";
          out["lines"] = e.lines;
        } else {
          static_assert(ALWAYS_FALSE<T>, "every event kind is printed");
        }
        return out;
      },
      event);
}

std::string event_line(const UiEvent& event) {
  return std::visit(
      [](const auto& e) -> std::string {
        using T = std::decay_t<decltype(e)>;
        if constexpr (std::is_same_v<T, ui_event::Announced>) {
          return "announced " + e.key + " at " + e.label;
        } else if constexpr (std::is_same_v<T, ui_event::Stopped>) {
          return "stopped " + e.key + ": " + e.reason;
        } else if constexpr (std::is_same_v<T, ui_event::Settings>) {
          return "settings " + e.key + " " + dump_json(settings_to_json(e.settings));
        } else if constexpr (std::is_same_v<T, ui_event::Identity>) {
          return "identity " + e.key + ": " + e.text;
        } else if constexpr (std::is_same_v<T, ui_event::WriteResult>) {
          return "write " + e.key + (e.ok ? ": confirmed" : ": failed: " + e.message);
        } else if constexpr (std::is_same_v<T, ui_event::PortProblems>) {
          return "port problems: " + (e.lines.empty() ? std::string("none") : join(e.lines, "; "));
        } else {
          static_assert(ALWAYS_FALSE<T>, "every event kind is printed");
        }
      },
      event);
}

std::string time_stamp(std::chrono::system_clock::time_point time) {
  const auto since_epoch = time.time_since_epoch();
  const auto seconds = std::chrono::floor<std::chrono::seconds>(since_epoch);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch - seconds).count();
  const std::time_t whole = static_cast<std::time_t>(seconds.count());
  std::tm parts{};
  localtime_r(&whole, &parts);
  char date[32];
  char offset[8];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &parts);
  std::strftime(offset, sizeof offset, "%z", &parts);  // "+0100"
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(millis));
  std::string zone = offset;
  if (zone.size() == 5) zone.insert(3, ":");
  return std::string(date) + fraction + zone;
}

std::string watch_line(const UiEvent& event, std::chrono::system_clock::time_point time,
                       bool json) {
  const std::string stamp = time_stamp(time);
  if (!json) return stamp + " " + event_line(event);
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  out["time"] = stamp;
  const auto fields = event_to_json(event);
  for (const auto& item : fields.items()) out[item.key()] = item.value();
  return dump_json(out);
}

bool WatchFilter::shows(const UiEvent& event) {
  if (const auto* stopped = std::get_if<ui_event::Stopped>(&event)) {
    settings_.erase(stopped->key);
    identities_.erase(stopped->key);
    return true;
  }
  if (const auto* report = std::get_if<ui_event::Settings>(&event)) {
    return changed(settings_, report->key, report->settings);
  }
  if (const auto* identity = std::get_if<ui_event::Identity>(&event)) {
    return changed(identities_, identity->key, identity->text);
  }
  return true;
}

}  // namespace owl::cli
