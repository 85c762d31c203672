#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// The records that cross between the engine and a user interface. Plain values with no engine
// dependencies, so that a client of the exported functions shares them.
namespace owl {

struct UiChannel {
  std::uint32_t frequency = 0;
  bool delay_enable = false;
  bool voting_enable = false;
  bool channel_enable = false;

  friend bool operator==(const UiChannel&, const UiChannel&) = default;
};

// The settings form a user interface edits: enumerations as option names (or decimal codes the
// app has no name for), the encryption code as six hex digits.
struct UiSettings {
  std::string unit_name;
  std::uint32_t serial = 0;
  std::string voice_prompts;
  bool boot_announce = false;
  std::uint16_t delay_ms = 0;
  std::string hph_mode;
  std::string led;
  std::string charge;
  std::string squelch;
  std::string ab_button;
  std::string star_button;
  std::string rf_mode;
  std::string compander;
  std::string battery_type;
  std::string encryption;
  std::string audio_eq;
  bool gain_boost = false;
  std::uint32_t min_freq = 0;
  std::uint32_t max_freq = 0;
  std::vector<UiChannel> channels;

  friend bool operator==(const UiSettings&, const UiSettings&) = default;
};

// The names each option field accepts, in code order.
struct EnumOptions {
  std::vector<std::string> voice_prompts;
  std::vector<std::string> hph_mode;
  std::vector<std::string> led;
  std::vector<std::string> charge;
  std::vector<std::string> squelch;
  std::vector<std::string> button_action;
  std::vector<std::string> rf_mode;
  std::vector<std::string> compander;
  std::vector<std::string> battery_type;
  std::vector<std::string> audio_eq;

  friend bool operator==(const EnumOptions&, const EnumOptions&) = default;
};

struct UnitInfo {
  std::string key;
  std::string label;
  std::optional<std::string> identity;
  std::optional<UiSettings> settings;
  std::string settings_json;

  friend bool operator==(const UnitInfo&, const UnitInfo&) = default;
};

namespace ui_event {
struct Announced {
  std::string key;
  std::string label;
  friend bool operator==(const Announced&, const Announced&) = default;
};
struct Stopped {
  std::string key;
  std::string reason;
  friend bool operator==(const Stopped&, const Stopped&) = default;
};
struct Settings {
  std::string key;
  UiSettings settings;
  friend bool operator==(const Settings&, const Settings&) = default;
};
struct Identity {
  std::string key;
  std::string text;
  friend bool operator==(const Identity&, const Identity&) = default;
};
struct WriteResult {
  std::string key;
  bool ok = false;
  std::string message;
  friend bool operator==(const WriteResult&, const WriteResult&) = default;
};
struct PortProblems {
  std::vector<std::string> lines;
  friend bool operator==(const PortProblems&, const PortProblems&) = default;
};
}  // namespace ui_event

// An item of the event stream; same variants, in the same order, as the engine's unit events.
using UiEvent = std::variant<ui_event::Announced, ui_event::Stopped, ui_event::Settings,
                             ui_event::Identity, ui_event::WriteResult, ui_event::PortProblems>;

struct UnitWriteReport {
  std::string key;
  std::string unit_name;
  std::vector<std::string> problems;

  friend bool operator==(const UnitWriteReport&, const UnitWriteReport&) = default;
};

}  // namespace owl
