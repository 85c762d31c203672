#pragma once

#include <string>
#include <string_view>

// User-facing texts that more than one place says, so that the engine and the front ends say
// them alike.
namespace owl::text {

// A unit that is known but whose settings have not arrived: nothing can be checked or written.
inline std::string no_settings_yet(std::string_view key) {
  return "unit " + std::string(key) + " has not reported its settings yet";
}

}  // namespace owl::text
