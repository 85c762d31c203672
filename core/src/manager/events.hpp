#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "settings/model.hpp"

namespace owl {

namespace command {
struct Write {
  UnitSettings settings;
};
struct Refresh {};
}  // namespace command

// What the application interface asks of a unit's device worker.
using UnitCommand = std::variant<command::Write, command::Refresh>;

namespace outcome {
struct NoAnswer {
  friend bool operator==(const NoAnswer&, const NoAnswer&) = default;
};
struct KeptDifferent {
  std::vector<std::string> differences;
  friend bool operator==(const KeptDifferent&, const KeptDifferent&) = default;
};
struct Busy {
  friend bool operator==(const Busy&, const Busy&) = default;
};
struct SendFailed {
  std::string text;
  friend bool operator==(const SendFailed&, const SendFailed&) = default;
};
struct Confirmed {
  friend bool operator==(const Confirmed&, const Confirmed&) = default;
};
// The unit was replaced (its key registered anew) while the write was still being confirmed.
struct Replaced {
  friend bool operator==(const Replaced&, const Replaced&) = default;
};
}  // namespace outcome

using WriteOutcome = std::variant<outcome::NoAnswer, outcome::KeptDifferent, outcome::Busy,
                                  outcome::SendFailed, outcome::Confirmed, outcome::Replaced>;

// Each registration of a key gets its own generation, so that the end of a replaced worker is not
// taken for the end of the unit that replaced it.
using Generation = std::uint64_t;

namespace event {
struct Announced {
  std::string key;
  std::string label;
  friend bool operator==(const Announced&, const Announced&) = default;
};
struct Stopped {
  std::string key;
  std::string reason;
  Generation generation = 0;
  friend bool operator==(const Stopped&, const Stopped&) = default;
};
struct Settings {
  std::string key;
  UnitSettings settings;
  Generation generation = 0;
  friend bool operator==(const Settings&, const Settings&) = default;
};
struct Identity {
  std::string key;
  std::string text;
  Generation generation = 0;
  friend bool operator==(const Identity&, const Identity&) = default;
};
struct WriteResult {
  WriteOutcome outcome;
  std::string key;
  Generation generation = 0;
  friend bool operator==(const WriteResult&, const WriteResult&) = default;
};
struct PortProblems {
  std::vector<std::string> lines;
  friend bool operator==(const PortProblems&, const PortProblems&) = default;
};
}  // namespace event

// Everything the engine learns about units; the variant order is part of the interface.
using UnitEvent = std::variant<event::Announced, event::Stopped, event::Settings, event::Identity,
                               event::WriteResult, event::PortProblems>;

}  // namespace owl
