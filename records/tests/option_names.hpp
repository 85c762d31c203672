#pragma once

#include "records.hpp"

namespace owl::testing_support {

// The option names the engine offers, for front-end tests that run without one. The engine's own
// test holds make_enum_options() to this list.
inline EnumOptions engine_option_names() {
  return {{"OFF", "RIGHT", "LEFT", "CENTER"},
          {"MONO", "STEREO", "BALANCED"},
          {"OFF", "ON", "DIM"},
          {"OFF", "SLOW", "FAST"},
          {"HIGH", "MED", "LOW"},
          {"OFF", "CHANNEL", "DELAY", "ANNOUNCE"},
          {"FM_ANALOG", "DIGITAL"},
          {"OFF", "COMPANDER1", "COMPANDER2"},
          {"NIMH", "ALKALINE", "LITHIUM"},
          {"NORMAL", "BOOST_LOW", "BOOST_HIGH"}};
}

}  // namespace owl::testing_support
