#include "manager/device_loop.hpp"

#include <array>
#include <cstdio>
#include <utility>

#include "device/worker.hpp"
#include "settings/payload.hpp"
#include "settings/verification.hpp"
#include "text.hpp"
#include "trace.hpp"

namespace owl {

namespace {

bool is_unicode_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

std::string trim_unicode_space(const std::string& text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    const Utf8Step step = next_utf8(text, begin);
    if (!is_unicode_space(step.code_point)) break;
    begin += step.length;
  }
  std::size_t end = begin;
  for (std::size_t i = begin; i < text.size();) {
    const Utf8Step step = next_utf8(text, i);
    i += step.length;
    if (!is_unicode_space(step.code_point)) end = i;
  }
  return text.substr(begin, end - begin);
}

}  // namespace

std::string identity_text(std::span<const std::uint8_t> payload) {
  std::size_t n = 0;
  while (n < payload.size() && payload[n] != 0) ++n;
  return trim_unicode_space(utf8_lossy(payload.first(n)));
}

DeviceLoop::DeviceLoop(std::string key, TimePoint start)
    : key_(std::move(key)), last_rx_(start), hold_until_(start) {}

void DeviceLoop::end(std::string reason) {
  if (!end_reason_) end_reason_ = std::move(reason);
}

void DeviceLoop::on_commands_disconnected() {
  end("stopped");
}

void DeviceLoop::on_command(UnitCommand command, LoopIo& io) {
  if (std::holds_alternative<command::Refresh>(command)) {
    last_poll_.reset();
    return;
  }
  UnitSettings settings = std::move(std::get<command::Write>(command).settings);
  if (pending_) {
    io.emit(event::WriteResult{outcome::Busy{}, key_});
    return;
  }
  const std::vector<std::uint8_t> frame = encode_frame(CMD_SETTINGS, encode_settings(settings));
  if (auto error = io.transmit(frame)) {
    io.emit(event::WriteResult{outcome::SendFailed{error->text}, key_});
    end("write failed: " + error->text);
    return;
  }
  const TimePoint sent = io.now();
  hold_until_ = sent + WRITE_HOLD_OFF;
  pending_ = PendingWrite{std::move(settings), sent, std::nullopt};
}

void DeviceLoop::on_timers(TimePoint now, LoopIo& io) {
  if (now >= hold_until_) {
    bool due = false;
    if (!pending_) {
      due = !last_poll_ || now - *last_poll_ >= IDLE_POLL_INTERVAL;
    } else {
      due = !pending_->last_request || now - *pending_->last_request >= CONFIRM_POLL_INTERVAL;
    }
    if (due) {
      if (auto error = io.transmit(SETTINGS_REQUEST)) {
        end("write failed: " + error->text);
        return;
      }
      last_poll_ = now;
      if (pending_) pending_->last_request = now;
    }
  }
  if (pending_ && now - pending_->sent_at > CONFIRM_TIMEOUT) {
    pending_.reset();
    io.emit(event::WriteResult{outcome::NoAnswer{}, key_});
  }
}

void DeviceLoop::on_read_idle(LoopIo& io) {
  if (decoder_.is_empty()) return;
  const TimePoint now = io.now();
  if (now - last_rx_ <= STALE_INPUT) return;
  last_rx_ = now;
  handle_frames(decoder_.drop_first_byte(), io);
}

void DeviceLoop::on_read_bytes(std::span<const std::uint8_t> bytes, LoopIo& io) {
  last_rx_ = io.now();
  if (trace_enabled()) trace(key_ + " rx " + hex_dump(bytes));
  const std::uint64_t failures_before = decoder_.checksum_failures();
  std::vector<Frame> frames = decoder_.push(bytes);
  if (decoder_.checksum_failures() != failures_before && trace_enabled()) {
    trace(key_ + " bad checksum, " + std::to_string(decoder_.checksum_failures()) +
          " dropped so far");
  }
  handle_frames(frames, io);
}

void DeviceLoop::on_read_closed() {
  end("device closed");
}

void DeviceLoop::on_read_error(const LinkError& error) {
  end("read failed: " + error.text + " (" + std::string(error.kind_name()) + ")");
}

void DeviceLoop::handle_frames(const std::vector<Frame>& frames, LoopIo& io) {
  for (const Frame& frame : frames) {
    if (trace_enabled()) {
      trace(key_ + " frame cmd " + hex_byte(frame.cmd) + " src " + hex_byte(frame.src) + " dst " +
            hex_byte(frame.dst) + " len " + std::to_string(frame.payload.size()));
    }
    if (frame.cmd == CMD_SETTINGS) {
      handle_settings_frame(frame, io);
    } else if (frame.cmd == CMD_TEXT) {
      io.emit(event::Identity{key_, identity_text(frame.payload)});
    }
  }
}

void DeviceLoop::handle_settings_frame(const Frame& frame, LoopIo& io) {
  const bool has_type = frame.payload.size() >= 4;
  const std::uint32_t type = has_type ? read_u32_le(frame.payload.data()) : 0;
  if (!has_type || type != SETTINGS_STRUCT_TYPE) {
    if (trace_enabled()) {
      trace(key_ + " settings frame ignored: struct type " +
            (has_type ? "Some(" + std::to_string(type) + ")" : std::string("None")));
    }
    return;
  }
  auto decoded = decode_settings(frame.payload);
  if (!decoded) {
    if (trace_enabled()) trace(key_ + " settings not decoded: " + decoded.error().debug_text());
    return;
  }
  UnitSettings& report = decoded.value();
  if (pending_ && range_known(report) && !(io.now() < hold_until_)) {
    std::vector<std::string> differences = settings_differences(pending_->written, report);
    pending_.reset();
    if (differences.empty()) {
      io.emit(event::WriteResult{outcome::Confirmed{}, key_});
    } else {
      io.emit(event::WriteResult{outcome::KeptDifferent{std::move(differences)}, key_});
    }
  }
  io.emit(event::Settings{key_, std::move(report)});
}

namespace {

class WorkerIo final : public LoopIo {
 public:
  WorkerIo(ByteLink& link, const std::string& key, Generation generation, Sender<UnitEvent>& events,
           Clock& clock)
      : link_(link), key_(key), generation_(generation), events_(events), clock_(clock) {}
  std::optional<LinkError> transmit(std::span<const std::uint8_t> bytes) override {
    return send_bytes(link_, key_, bytes, clock_);
  }
  // A lost event (the pump has gone) changes nothing for the loop. Each event names this worker's
  // registration, so that the pump can tell it from a replacement's.
  void emit(UnitEvent event) override {
    std::visit(
        [&](auto& e) {
          if constexpr (requires { e.generation; }) e.generation = generation_;
        },
        event);
    events_.send(std::move(event));
  }
  TimePoint now() override { return clock_.now(); }

 private:
  ByteLink& link_;
  const std::string& key_;
  Generation generation_;
  Sender<UnitEvent>& events_;
  Clock& clock_;
};

}  // namespace

void run_device_loop(Receiver<UnitCommand> commands, Sender<UnitEvent> events, std::string key,
                     Generation generation, std::unique_ptr<ByteLink> link, Clock& clock) {
  std::string reason;
  {
    WorkerIo io(*link, key, generation, events, clock);
    DeviceLoop loop(key, clock.now());
    std::array<std::uint8_t, READ_BUFFER_SIZE> buffer{};
    while (!loop.ended()) {
      const TimePoint now = clock.now();
      // The command wait is folded into the link's read wait: a pass takes what is queued and
      // then blocks only in the read, so an idle unit costs one wake-up per read timeout.
      RecvResult<UnitCommand> received = commands.try_recv();
      if (received.status == RecvStatus::Disconnected) {
        loop.on_commands_disconnected();
        break;
      }
      if (received.status == RecvStatus::Value) {
        loop.on_command(std::move(*received.value), io);
        if (loop.ended()) break;
      }
      loop.on_timers(now, io);
      if (loop.ended()) break;
      auto n = link->read(buffer);
      if (!n) {
        if (n.error().is_idle()) {
          loop.on_read_idle(io);
        } else {
          loop.on_read_error(n.error());
        }
      } else if (*n == 0) {
        loop.on_read_closed();
      } else {
        loop.on_read_bytes(std::span<const std::uint8_t>(buffer.data(), *n), io);
      }
    }
    reason = loop.end_reason();
  }
  // The loop state (pending write, decoder buffer) is gone; now the commands, then the port.
  commands = Receiver<UnitCommand>();
  link.reset();
  if (trace_enabled()) trace(key + " worker stopped: " + reason);
  events.send(event::Stopped{key, reason, generation});
}

}  // namespace owl
