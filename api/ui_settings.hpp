#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "expected.hpp"
#include "records.hpp"
#include "settings/model.hpp"

namespace owl {

// The form of a unit's record: option fields by name (a code without a name as its decimal
// text), the encryption code in upper-case hex with at least six digits. Pure.
UiSettings settings_to_ui(const UnitSettings& settings);

// Converts a form back, taking what the form does not carry from base. Fails with the text of the
// first field that does not parse.
Expected<UnitSettings, std::string> settings_from_ui(const UiSettings& form,
                                                     const UnitSettings& base);

// The option names of every enumerated field, in code order. Pure.
EnumOptions make_enum_options();

// A ready-made record that depends on no unit.
UnitSettings example_unit_settings();

// Parses one option text: a name in any letter case, or a decimal code of at most 255 with an
// optional "+". Fails when it is neither.
template <class E>
std::optional<E> parse_enum_text(std::string_view text);

}  // namespace owl
