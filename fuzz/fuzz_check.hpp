#pragma once

// A failed property check in a fuzz target: trap at once, so libFuzzer keeps the input that
// broke it, whatever the build's assertion settings are.
#define FUZZ_CHECK(cond) \
  do {                   \
    if (!(cond)) {       \
      __builtin_trap();  \
    }                    \
  } while (0)
