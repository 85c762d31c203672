#pragma once

#include <string>
#include <vector>

#include "settings/model.hpp"

namespace owl {

// What the unit kept differently from what was written: top-level keys in byte order, with
// "channel N" entries where the channel lists differ position by position.
[[nodiscard]] std::vector<std::string> settings_differences(const UnitSettings& written,
                                              const UnitSettings& reported);

// "the unit kept different values for: " followed by the list joined with ", ".
std::string kept_different_message(const std::vector<std::string>& differences);

}  // namespace owl
