// libFuzzer target for FrameDecoder: the stream check shared with the unit test (its input layout
// and checks are described there), trapping at the first failed check so that libFuzzer keeps the
// input.
#include <cstddef>
#include <cstdint>
#include <span>

#include "frame_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  owl::testing_support::check_frame_stream(std::span<const std::uint8_t>(data, size),
                                           [](const char*) { __builtin_trap(); });
  return 0;
}
