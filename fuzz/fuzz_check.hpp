#pragma once

// A failed property check in a fuzz target, whatever the build's assertion settings are. Under
// libFuzzer it traps at once, so that libFuzzer keeps the input that broke it; in the seed
// regression program it names the check and the input file, and the program exits non-zero.
namespace owl::fuzz {

#ifdef OWL_FUZZ_REGRESSION
[[noreturn]] void failed(const char* check, const char* file, int line);
#else
[[noreturn]] inline void failed(const char*, const char*, int) {
  __builtin_trap();
}
#endif

}  // namespace owl::fuzz

#define FUZZ_CHECK(cond)                              \
  do {                                                \
    if (!(cond)) {                                    \
      ::owl::fuzz::failed(#cond, __FILE__, __LINE__); \
    }                                                 \
  } while (0)
