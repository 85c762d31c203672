#pragma once

#include <chrono>
#include <cstddef>

// Every timing the engine keeps, in one place, each with why it has its value.
namespace owl {

// How often the scanner lists the serial ports: a plugged-in unit is served within a second.
inline constexpr auto SCAN_INTERVAL = std::chrono::seconds(1);

// How often an idle unit is asked for its settings, so a change made on the unit itself shows.
inline constexpr auto IDLE_POLL_INTERVAL = std::chrono::seconds(5);

// No request goes to a unit for this long after a write: it is busy storing the settings.
inline constexpr auto WRITE_HOLD_OFF = std::chrono::seconds(1);

// While a write waits for its confirmation, the settings are asked for this often.
inline constexpr auto CONFIRM_POLL_INTERVAL = std::chrono::milliseconds(1500);

// A write whose settings did not come back within this time is reported as not answered.
inline constexpr auto CONFIRM_TIMEOUT = std::chrono::seconds(6);

// Bytes that have not become a frame after this long of silence are noise: one is dropped and
// the decoder looks for the next frame start.
inline constexpr auto STALE_INPUT = std::chrono::milliseconds(200);

// Bounds every wait of a unit port, so a device loop wakes at least this often.
inline constexpr auto SERIAL_TIMEOUT = std::chrono::milliseconds(20);

// Frames go out in chunks of SEND_CHUNK bytes with SEND_PAUSE between them, which the unit's
// small receive buffer keeps up with.
inline constexpr std::size_t SEND_CHUNK = 5;
inline constexpr auto SEND_PAUSE = std::chrono::milliseconds(5);

// A simulated unit with nothing to say waits this long per read, like a quiet serial line.
inline constexpr auto SIM_IDLE_WAIT = std::chrono::milliseconds(10);

}  // namespace owl
