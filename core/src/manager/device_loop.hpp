#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "channel.hpp"
#include "clock.hpp"
#include "device/byte_link.hpp"
#include "frame.hpp"
#include "manager/events.hpp"
#include "settings/model.hpp"
#include "timings.hpp"

namespace owl {

inline constexpr std::size_t READ_BUFFER_SIZE = 512;

// What the device loop's decisions need from the outside world: the paced transmit, the event
// channel and a fresh reading of the clock.
class LoopIo {
 public:
  virtual ~LoopIo() = default;
  [[nodiscard]] virtual std::optional<LinkError> transmit(std::span<const std::uint8_t> bytes) = 0;
  virtual void emit(UnitEvent event) = 0;
  virtual TimePoint now() = 0;
};

struct PendingWrite {
  UnitSettings written;
  TimePoint sent_at;
  std::optional<TimePoint> last_request;
};

// The protocol logic of one unit's loop, free of I/O: told the time and what happened, it
// transmits, emits events and decides when the loop ends.
class DeviceLoop {
 public:
  DeviceLoop(std::string key, TimePoint start);

  // A command taken from the unit's command channel.
  void on_command(UnitCommand command, LoopIo& io);
  // Every command sender is gone: the unit was removed or replaced.
  void on_commands_disconnected();
  // The settings request schedule and the confirmation time-out, for the pass that began at now.
  void on_timers(TimePoint now, LoopIo& io);
  // A read found no byte within the link's timeout.
  void on_read_idle(LoopIo& io);
  void on_read_bytes(std::span<const std::uint8_t> bytes, LoopIo& io);
  void on_read_closed();
  void on_read_error(const LinkError& error);

  bool ended() const { return end_reason_.has_value(); }
  const std::string& end_reason() const { return *end_reason_; }
  const std::string& key() const { return key_; }
  bool write_pending() const { return pending_.has_value(); }

 private:
  void handle_frames(const std::vector<Frame>& frames, LoopIo& io);
  void handle_settings_frame(const Frame& frame, LoopIo& io);
  void end(std::string reason);

  std::string key_;
  FrameDecoder decoder_;
  TimePoint last_rx_;
  TimePoint hold_until_;
  std::optional<TimePoint> last_poll_;
  std::optional<PendingWrite> pending_;
  std::optional<std::string> end_reason_;
};

// The identity a unit reports in a text frame: up to the first NUL, lossy UTF-8, white space
// trimmed from both ends.
std::string identity_text(std::span<const std::uint8_t> payload);

// The thin driver: one pass after another until the loop ends, then the end sequence (drop the
// commands and the link, trace, send Stopped).
void run_device_loop(Receiver<UnitCommand> commands, Sender<UnitEvent> events, std::string key,
                     Generation generation, std::unique_ptr<ByteLink> link, Clock& clock);

}  // namespace owl
