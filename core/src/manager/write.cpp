#include "manager/write.hpp"

#include "texts.hpp"

namespace owl {

std::vector<std::string> rejection_texts(const WriteRejection& rejection) {
  return std::visit(
      [](const auto& r) -> std::vector<std::string> {
        using R = std::decay_t<decltype(r)>;
        if constexpr (std::is_same_v<R, rejection::NotConnected>) {
          return {"unit " + r.key + " is not connected"};
        } else if constexpr (std::is_same_v<R, rejection::NoSettings>) {
          return {text::no_settings_yet(r.key)};
        } else if constexpr (std::is_same_v<R, rejection::StillConfirming>) {
          return {"unit " + r.key + " is still confirming the previous write"};
        } else {
          return problem_texts(r.problems);
        }
      },
      rejection);
}

Expected<UnitSettings, WriteRejection> prepare_write(const UnitMap& units, const std::string& key,
                                                     const UnitSettings& requested, bool keep_name,
                                                     bool keep_charge) {
  auto it = units.find(key);
  if (it == units.end()) return Unexpected<WriteRejection>{rejection::NotConnected{key}};
  const Unit& unit = it->second;
  if (unit.confirming) return Unexpected<WriteRejection>{rejection::StillConfirming{key}};
  if (!unit.settings) return Unexpected<WriteRejection>{rejection::NoSettings{key}};
  UnitSettings request = build_write_request(requested, *unit.settings, keep_name, keep_charge);
  std::vector<SettingsProblem> problems = validate_settings(request, *unit.settings);
  if (!problems.empty()) {
    return Unexpected<WriteRejection>{rejection::Invalid{key, std::move(problems)}};
  }
  return request;
}

void queue_write(Unit& unit, UnitSettings settings) {
  unit.confirming = true;
  unit.commands.send(command::Write{std::move(settings)});
}

}  // namespace owl
