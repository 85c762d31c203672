// FrameDecoder against the reference decoder: the stream check (its input layout and checks are
// described with it), failing at the first check that does not hold.
#include <cstddef>
#include <cstdint>
#include <span>

#include "frame_check.hpp"
#include "fuzz_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  owl::testing_support::check_frame_stream(
      std::span<const std::uint8_t>(data, size),
      [](const char* what) { owl::fuzz::failed(what, __FILE__, __LINE__); });
  return 0;
}
