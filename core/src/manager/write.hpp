#pragma once

#include <string>
#include <variant>
#include <vector>

#include "expected.hpp"
#include "manager/registry.hpp"
#include "settings/model.hpp"
#include "settings/validation.hpp"

namespace owl {

namespace rejection {
struct NotConnected {
  std::string key;
};
struct NoSettings {
  std::string key;
};
struct Invalid {
  std::string key;
  std::vector<SettingsProblem> problems;
};
struct StillConfirming {
  std::string key;
};
}  // namespace rejection

using WriteRejection = std::variant<rejection::NotConnected, rejection::NoSettings,
                                    rejection::Invalid, rejection::StillConfirming>;

// The texts the user sees for a rejection: one sentence naming the unit, or the problems' texts.
[[nodiscard]] std::vector<std::string> rejection_texts(const WriteRejection& rejection);

// Decides a write under the registry lock: the merged record to send, or why not. Changes nothing.
Expected<UnitSettings, WriteRejection> prepare_write(const UnitMap& units, const std::string& key,
                                                     const UnitSettings& requested, bool keep_name,
                                                     bool keep_charge);

// Marks the unit as confirming and queues the write (call under the registry lock, after
// prepare_write accepted it). A worker that has already ended is ignored: its Stopped event
// removes the unit.
void queue_write(Unit& unit, UnitSettings settings);

}  // namespace owl
