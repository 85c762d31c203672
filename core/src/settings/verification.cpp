#include "settings/verification.hpp"

#include "settings/json.hpp"

namespace owl {

std::vector<std::string> settings_differences(const UnitSettings& written,
                                              const UnitSettings& reported) {
  const JsonValue w = settings_to_json(written);
  const JsonValue r = settings_to_json(reported);
  const JsonValue::Object& wo = w.as_object();
  const JsonValue::Object& ro = r.as_object();

  std::vector<std::string> out;
  for (const auto& [key, wv] : wo) {  // std::map: keys in byte order
    const auto it = ro.find(key);
    if (it != ro.end() && it->second == wv) continue;
    if (key == "curPresetIndex") continue;
    if (key == "channels" && it != ro.end() && wv.is_array() && it->second.is_array()) {
      const JsonValue::Array& wa = wv.as_array();
      const JsonValue::Array& ra = it->second.as_array();
      if (wa.size() == ra.size()) {
        for (std::size_t i = 0; i < wa.size(); ++i) {
          if (!(wa[i] == ra[i])) out.push_back("channel " + std::to_string(i + 1));
        }
        continue;
      }
    }
    out.push_back(key);
  }
  return out;
}

std::string kept_different_message(const std::vector<std::string>& differences) {
  std::string msg = "the unit kept different values for: ";
  for (std::size_t i = 0; i < differences.size(); ++i) {
    if (i != 0) msg += ", ";
    msg += differences[i];
  }
  return msg;
}

}  // namespace owl
