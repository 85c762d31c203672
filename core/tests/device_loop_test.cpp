#include "manager/device_loop.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "settings/payload.hpp"
#include "sim/simulated_port.hpp"
#include "trace.hpp"

using namespace std::chrono_literals;

namespace owl {
namespace {

const std::string KEY = "SIM0001";

// Records what the loop transmits (with the virtual time) and emits; the time only moves when a
// test says so, or by the configured cost of a transmit.
class FakeIo final : public LoopIo {
 public:
  struct Sent {
    TimePoint at;
    std::vector<std::uint8_t> bytes;
  };

  explicit FakeIo(TimePoint start) : t(start) {}

  std::optional<LinkError> transmit(std::span<const std::uint8_t> bytes) override {
    sent.push_back({t, {bytes.begin(), bytes.end()}});
    t += transmit_takes;
    return fail_with;
  }
  void emit(UnitEvent event) override { events.push_back(std::move(event)); }
  TimePoint now() override { return t; }

  std::vector<Duration> request_times(TimePoint origin) const {
    std::vector<Duration> out;
    for (const Sent& s : sent) {
      if (std::equal(s.bytes.begin(), s.bytes.end(), SETTINGS_REQUEST.begin(),
                     SETTINGS_REQUEST.end())) {
        out.push_back(s.at - origin);
      }
    }
    return out;
  }

  TimePoint t;
  Duration transmit_takes{0};
  std::optional<LinkError> fail_with;
  std::vector<Sent> sent;
  std::vector<UnitEvent> events;
};

const TimePoint T0 = TimePoint{} + 1h;

UnitSettings unit_settings() {
  return simulated_unit_settings(1001, 215000, 217000, 10);
}

std::vector<std::uint8_t> settings_frame(const UnitSettings& s) {
  return encode_frame(CMD_SETTINGS, encode_settings(s), 0x00, 0xFF);
}

std::vector<std::uint8_t> text_frame(const std::string& payload) {
  return encode_frame(CMD_TEXT, std::vector<std::uint8_t>(payload.begin(), payload.end()));
}

// A pass in which no command and no byte arrives.
void idle_pass(DeviceLoop& loop, FakeIo& io, TimePoint at) {
  io.t = at;
  loop.on_timers(at, io);
  loop.on_read_idle(io);
}

// Idle passes every 10 ms from `from` to `to`, both included.
void idle_passes(DeviceLoop& loop, FakeIo& io, TimePoint from, TimePoint to) {
  for (TimePoint at = from; at <= to; at += 10ms) idle_pass(loop, io, at);
}

void receive(DeviceLoop& loop, FakeIo& io, TimePoint at, std::span<const std::uint8_t> bytes) {
  io.t = at;
  loop.on_read_bytes(bytes, io);
}

void write_at(DeviceLoop& loop, FakeIo& io, TimePoint at, UnitSettings s) {
  io.t = at;
  loop.on_command(command::Write{std::move(s)}, io);
  loop.on_timers(at, io);
}

// A fresh loop told at T0 to write the simulated unit's own record.
class DeviceLoopWriting : public ::testing::Test {
 protected:
  DeviceLoopWriting() { write_at(loop, io, T0, s); }

  FakeIo io{T0};
  DeviceLoop loop{KEY, T0};
  const UnitSettings s = unit_settings();
};

UnitEvent settings_event(const UnitSettings& s) {
  return event::Settings{KEY, s};
}
UnitEvent result(WriteOutcome o) {
  return event::WriteResult{std::move(o), KEY};
}

TEST(DeviceLoop, SilentUnitIsAskedAtStartAndEveryFiveSeconds) {
  FakeIo io(T0);
  DeviceLoop loop(KEY, T0);
  idle_passes(loop, io, T0, T0 + 15s - 10ms);
  // Just under the interval sends nothing; the interval itself sends.
  idle_pass(loop, io, T0 + 15s - 1ns);
  EXPECT_EQ(io.request_times(T0), (std::vector<Duration>{0s, 5s, 10s}));
  idle_pass(loop, io, T0 + 15s);
  EXPECT_EQ(io.request_times(T0), (std::vector<Duration>{0s, 5s, 10s, 15s}));
  EXPECT_EQ(io.sent.size(), 4u);
  EXPECT_TRUE(io.events.empty());
  EXPECT_FALSE(loop.ended());
}

TEST(DeviceLoop, RefreshAsksAtOnceUnlessAWriteHoldsItBack) {
  FakeIo io(T0);
  DeviceLoop loop(KEY, T0);
  idle_pass(loop, io, T0);
  io.t = T0 + 1s;
  loop.on_command(command::Refresh{}, io);
  loop.on_timers(io.t, io);
  // The idle schedule restarts from the refreshed request.
  idle_passes(loop, io, T0 + 1s + 10ms, T0 + 6s);
  EXPECT_EQ(io.request_times(T0), (std::vector<Duration>{0s, 1s, 6s}));

  write_at(loop, io, T0 + 7s, unit_settings());
  io.t = T0 + 7s + 500ms;
  loop.on_command(command::Refresh{}, io);  // hold-off still running
  loop.on_timers(io.t, io);
  idle_pass(loop, io, T0 + 8s);
  io.t = T0 + 8s + 500ms;
  loop.on_command(command::Refresh{}, io);  // pending write: confirm poll interval rules
  loop.on_timers(io.t, io);
  idle_pass(loop, io, T0 + 9s + 490ms);
  idle_pass(loop, io, T0 + 9s + 500ms);
  EXPECT_EQ(io.request_times(T0), (std::vector<Duration>{0s, 1s, 6s, 8s, 9500ms}));
}

TEST(DeviceLoop, UnansweredWriteTimesOutAfterFourRequests) {
  FakeIo io(T0);
  DeviceLoop loop(KEY, T0);
  idle_pass(loop, io, T0);
  const UnitSettings s = unit_settings();
  // The hold-off counts from the end of the paced transmit.
  io.transmit_takes = 50ms;
  write_at(loop, io, T0 + 2s, s);
  io.transmit_takes = 0ms;
  const TimePoint sent = T0 + 2s + 50ms;
  ASSERT_EQ(io.sent.size(), 2u);
  EXPECT_EQ(io.sent[1].bytes, encode_frame(CMD_SETTINGS, encode_settings(s)));

  idle_passes(loop, io, sent + 10ms, sent + 6s);
  EXPECT_EQ(io.request_times(sent), (std::vector<Duration>{-2050ms, 1s, 2500ms, 4s, 5500ms}));
  EXPECT_TRUE(io.events.empty());
  EXPECT_TRUE(loop.write_pending());

  idle_pass(loop, io, sent + 6s + 1ns);
  EXPECT_EQ(io.events, (std::vector<UnitEvent>{result(outcome::NoAnswer{})}));
  EXPECT_FALSE(loop.write_pending());

  // Back to the idle schedule, counted from the last confirm poll.
  idle_passes(loop, io, sent + 6s + 10ms, sent + 10500ms);
  EXPECT_EQ(io.request_times(sent).back(), 10500ms);
  EXPECT_EQ(io.request_times(sent).size(), 6u);
  EXPECT_EQ(io.events.size(), 1u);
}

TEST_F(DeviceLoopWriting, OnlyReportsAfterHoldOffWithKnownRangeConfirm) {
  UnitSettings no_min = s;
  no_min.minFreq = 0;
  UnitSettings empty_range = s;
  empty_range.maxFreq = s.minFreq;
  UnitSettings reversed = s;
  reversed.minFreq = s.maxFreq + 5;

  receive(loop, io, T0 + 999ms, settings_frame(s));
  receive(loop, io, T0 + 1s, settings_frame(no_min));
  receive(loop, io, T0 + 1s, settings_frame(empty_range));
  receive(loop, io, T0 + 1s, settings_frame(reversed));
  EXPECT_EQ(io.events,
            (std::vector<UnitEvent>{settings_event(s), settings_event(no_min),
                                    settings_event(empty_range), settings_event(reversed)}));
  EXPECT_TRUE(loop.write_pending());

  io.events.clear();
  receive(loop, io, T0 + 1s, settings_frame(s));
  EXPECT_EQ(io.events, (std::vector<UnitEvent>{result(outcome::Confirmed{}), settings_event(s)}));
  EXPECT_FALSE(loop.write_pending());

  // With nothing pending a report is only a report.
  io.events.clear();
  receive(loop, io, T0 + 3s, settings_frame(s));
  EXPECT_EQ(io.events, (std::vector<UnitEvent>{settings_event(s)}));
}

TEST_F(DeviceLoopWriting, ConfirmationComparesWithWhatWasWritten) {
  UnitSettings moved = s;
  moved.channels[2].frequency += 5;
  receive(loop, io, T0 + 1500ms, settings_frame(moved));
  // Which fields count, and how they are named, is VerificationDifferences'.
  EXPECT_EQ(io.events, (std::vector<UnitEvent>{result(outcome::KeptDifferent{{"channel 3"}}),
                                               settings_event(moved)}));
  EXPECT_FALSE(loop.write_pending());
}

TEST_F(DeviceLoopWriting, SecondWriteIsBusyAndLeavesThePendingOneAlone) {
  UnitSettings second = s;
  second.delayMs = 200;
  write_at(loop, io, T0 + 900ms, second);
  EXPECT_EQ(io.events, (std::vector<UnitEvent>{result(outcome::Busy{})}));
  EXPECT_EQ(io.sent.size(), 1u);  // the second record is not transmitted

  // The hold-off and poll schedule still belong to the first write.
  idle_passes(loop, io, T0 + 910ms, T0 + 1s);
  EXPECT_EQ(io.request_times(T0), (std::vector<Duration>{1s}));
  receive(loop, io, T0 + 1100ms, settings_frame(s));
  EXPECT_EQ(io.events.at(1), result(outcome::Confirmed{}));
}

TEST(DeviceLoop, TransmitFailuresEndTheLoop) {
  const LinkError broken{LinkError::Kind::BrokenPipe, "Broken pipe"};
  {
    FakeIo io(T0);
    DeviceLoop loop(KEY, T0);
    idle_pass(loop, io, T0);
    io.fail_with = broken;
    io.t = T0 + 1s;
    loop.on_command(command::Write{unit_settings()}, io);
    EXPECT_EQ(io.events, (std::vector<UnitEvent>{result(outcome::SendFailed{"Broken pipe"})}));
    ASSERT_TRUE(loop.ended());
    EXPECT_EQ(loop.end_reason(), "write failed: Broken pipe");
    EXPECT_FALSE(loop.write_pending());
  }
  {
    FakeIo io(T0);
    DeviceLoop loop(KEY, T0);
    io.fail_with = broken;
    loop.on_timers(T0, io);
    ASSERT_TRUE(loop.ended());
    EXPECT_EQ(loop.end_reason(), "write failed: Broken pipe");
    EXPECT_TRUE(io.events.empty());
  }
}

TEST(DeviceLoop, StaleInputDropsOneByteAfterTwoHundredMilliseconds) {
  // A false start claiming 255 payload bytes holds back the frame behind it.
  const std::vector<std::uint8_t> stuck = {0xAA, 0x00, 0xFF, 0x00, 0x00, 0x80};
  std::vector<std::uint8_t> bytes = stuck;
  bytes.insert(bytes.end(), stuck.begin(), stuck.end());
  const std::vector<std::uint8_t> identity = text_frame("OWL 1");
  bytes.insert(bytes.end(), identity.begin(), identity.end());

  FakeIo io(T0);
  DeviceLoop loop(KEY, T0);
  const TimePoint rx = T0 + 1s;
  receive(loop, io, rx, bytes);
  loop.on_read_idle(io);
  io.t = rx + 200ms;
  loop.on_read_idle(io);
  EXPECT_TRUE(io.events.empty());

  // The first drop only uncovers the second false start; the rule then waits again.
  io.t = rx + 200ms + 1ns;
  loop.on_read_idle(io);
  loop.on_read_idle(io);
  EXPECT_TRUE(io.events.empty());
  io.t = rx + 400ms + 1ns;
  loop.on_read_idle(io);
  EXPECT_TRUE(io.events.empty());
  io.t = rx + 400ms + 2ns;
  loop.on_read_idle(io);
  EXPECT_EQ(io.events, (std::vector<UnitEvent>{event::Identity{KEY, "OWL 1"}}));
}

TEST(DeviceLoop, IdentityTextIsCutAtNulTrimmedAndMadeValid) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {std::string("OWL 9.99 sn7\0junk\xff", 18), "OWL 9.99 sn7"},
      {"\xc2\xa0\t OWL x y \xe3\x80\x80\r\n", "OWL x y"},
      {"    ", ""},
      {std::string("\0OWL", 4), ""},
      {"A\xff"
       "B ",
       "A\xef\xbf\xbd"
       "B"},
      {"\xff ", "\xef\xbf\xbd"},
      {"no terminator", "no terminator"},
      // Every white space character is trimmed, its neighbours are kept.
      {"\xc2\x85\x0b\x0c"
       "OWL\xe1\x9a\x80\xe2\x80\x80\xe2\x80\x8a",
       "OWL"},
      {"\xe2\x80\xa8\xe2\x80\xa9\xe2\x80\xaf"
       "OWL\xe2\x81\x9f\xe3\x80\x80",
       "OWL"},
      {"\x08OWL\x0e", "\x08OWL\x0e"},
      {"\xe1\xbf\xbfOWL\xe2\x80\x8b\xf0\x9f\xa6\x89",
       "\xe1\xbf\xbfOWL\xe2\x80\x8b\xf0\x9f\xa6\x89"},
      {"\xc2\x84\xc2\xa1OWL\xe1\x9a\x81\xe2\x80\xa7\xe2\x80\xaa",
       "\xc2\x84\xc2\xa1OWL\xe1\x9a\x81\xe2\x80\xa7\xe2\x80\xaa"},
  };
  FakeIo io(T0);
  DeviceLoop loop(KEY, T0);
  std::vector<UnitEvent> expected;
  for (const auto& [payload, text] : cases) {
    receive(loop, io, T0, text_frame(payload));
    expected.push_back(event::Identity{KEY, text});
  }
  EXPECT_EQ(io.events, expected);
}

TEST_F(DeviceLoopWriting, FramesThatAreNotReportsChangeNothing) {
  UnitSettings eleven = s;
  eleven.channels.push_back(s.channels.back());
  std::vector<std::uint8_t> other_type = encode_settings(s);
  other_type[0] = 0x45;
  const std::vector<std::vector<std::uint8_t>> ignored = {
      {SETTINGS_REQUEST.begin(), SETTINGS_REQUEST.end()},  // our request echoed back
      encode_frame(CMD_SETTINGS, other_type),
      encode_frame(CMD_SETTINGS, std::vector<std::uint8_t>{0x44, 0x33, 0x22}),
      encode_frame(CMD_SETTINGS, encode_settings(eleven)),  // does not decode
      encode_frame(0x21, encode_settings(s)),
  };
  for (const auto& frame : ignored) receive(loop, io, T0 + 2s, frame);
  EXPECT_TRUE(io.events.empty());
  EXPECT_TRUE(loop.write_pending());

  receive(loop, io, T0 + 2s, settings_frame(s));
  EXPECT_EQ(io.events, (std::vector<UnitEvent>{result(outcome::Confirmed{}), settings_event(s)}));
}

TEST(DeviceLoop, EndReasons) {
  FakeIo io(T0);
  DeviceLoop closed(KEY, T0);
  closed.on_read_idle(io);
  EXPECT_FALSE(closed.ended());
  closed.on_read_closed();
  DeviceLoop failed(KEY, T0);
  failed.on_read_error(LinkError{LinkError::Kind::Other, "Input/output error"});
  DeviceLoop stopped(KEY, T0);
  stopped.on_commands_disconnected();
  // The first cause is the one reported; what follows from it is not.
  closed.on_read_error(LinkError{LinkError::Kind::Other, "Input/output error"});
  stopped.on_read_closed();
  for (const auto& [loop, want] : {std::pair<DeviceLoop*, std::string>{&closed, "device closed"},
                                   {&failed, "read failed: Input/output error (Other)"},
                                   {&stopped, "stopped"}}) {
    EXPECT_TRUE(loop->ended()) << want;
    EXPECT_EQ(loop->end_reason(), want);
  }
}

// A link that plays a script of reads, each costing 20 ms of virtual time. When it is destroyed it
// reports into the event channel whether the command channel was already closed by then.
class ScriptedLink final : public ByteLink {
 public:
  using Read = Expected<std::size_t, LinkError>;
  struct Step {
    std::vector<std::uint8_t> bytes;
    std::optional<LinkError> error;
  };

  ScriptedLink(ManualClock& clock, std::deque<Step> script, std::vector<std::uint8_t>& written,
               Sender<UnitEvent> events, Sender<UnitCommand> commands,
               std::optional<LinkError> write_error)
      : clock_(clock),
        script_(std::move(script)),
        written_(written),
        events_(std::move(events)),
        commands_(std::move(commands)),
        write_error_(std::move(write_error)) {}
  ~ScriptedLink() override {
    const bool commands_open = commands_.send(command::Refresh{});
    events_.send(event::PortProblems{
        {commands_open ? "link closed, commands open" : "link closed, commands dropped"}});
  }

  Read read(std::span<std::uint8_t> buffer) override {
    clock_.advance(20ms);
    if (script_.empty()) return std::size_t{0};
    Step step = std::move(script_.front());
    script_.pop_front();
    if (step.error) return Unexpected{*step.error};
    std::copy(step.bytes.begin(), step.bytes.end(), buffer.begin());
    return step.bytes.size();
  }
  std::optional<LinkError> write_all(std::span<const std::uint8_t> bytes) override {
    if (write_error_) return write_error_;
    written_.insert(written_.end(), bytes.begin(), bytes.end());
    return std::nullopt;
  }
  std::optional<LinkError> flush() override { return std::nullopt; }

 private:
  ManualClock& clock_;
  std::deque<Step> script_;
  std::vector<std::uint8_t>& written_;
  Sender<UnitEvent> events_;
  Sender<UnitCommand> commands_;
  std::optional<LinkError> write_error_;
};

std::vector<UnitEvent> drain(Receiver<UnitEvent>& events) {
  std::vector<UnitEvent> out;
  for (;;) {
    RecvResult<UnitEvent> r = events.try_recv();
    if (r.status != RecvStatus::Value) {
      EXPECT_EQ(r.status, RecvStatus::Disconnected) << "the loop must drop its event sender";
      return out;
    }
    out.push_back(std::move(*r.value));
  }
}

struct Ran {
  std::vector<std::uint8_t> written;
  std::vector<UnitEvent> events;
};

// Runs the loop on a scripted link with `commands` queued. The link holds a command sender when
// `link_holds_commands`, so its report shows whether the loop dropped its receiver first.
Ran run_scripted(std::deque<ScriptedLink::Step> script, std::vector<UnitCommand> commands,
                 bool drop_command_sender, bool link_holds_commands, Generation generation,
                 std::optional<LinkError> write_error = std::nullopt) {
  ManualClock clock;
  auto [event_tx, event_rx] = make_channel<UnitEvent>();
  auto [command_tx, command_rx] = make_channel<UnitCommand>();
  for (UnitCommand& c : commands) command_tx.send(std::move(c));
  Ran out;
  auto link = std::make_unique<ScriptedLink>(
      clock, std::move(script), out.written, event_tx,
      link_holds_commands ? command_tx : Sender<UnitCommand>(), std::move(write_error));
  if (drop_command_sender) command_tx.reset();
  run_device_loop(std::move(command_rx), std::move(event_tx), KEY, generation, std::move(link),
                  clock);
  out.events = drain(event_rx);
  return out;
}

TEST(RunDeviceLoop, EndsAfterClosingTheLinkAndDropsAPendingWrite) {
  const UnitSettings s = unit_settings();
  const Ran ran = run_scripted({{{}, LinkError::timed_out()},
                                {{}, LinkError{LinkError::Kind::WouldBlock, "busy"}},
                                {settings_frame(s), std::nullopt}},
                               {command::Write{s}}, false, true, 7);
  // The write went out first; the hold-off kept the request back until the link closed. Each
  // event names the worker's registration.
  EXPECT_EQ(ran.written, encode_frame(CMD_SETTINGS, encode_settings(s)));
  EXPECT_EQ(ran.events,
            (std::vector<UnitEvent>{event::Settings{KEY, s, 7},
                                    event::PortProblems{{"link closed, commands dropped"}},
                                    event::Stopped{KEY, "device closed", 7}}));
}

TEST(RunDeviceLoop, IdleReadsGoOnAndOtherReadErrorsEnd) {
  const Ran ran = run_scripted(
      {{{}, LinkError::timed_out()},
       {{}, LinkError{LinkError::Kind::WouldBlock, "Resource temporarily unavailable"}},
       {{}, LinkError{LinkError::Kind::Interrupted, "Interrupted system call"}}},
      {}, false, true, 3);
  EXPECT_EQ(ran.written,
            std::vector<std::uint8_t>(SETTINGS_REQUEST.begin(), SETTINGS_REQUEST.end()));
  EXPECT_EQ(ran.events,
            (std::vector<UnitEvent>{
                event::PortProblems{{"link closed, commands dropped"}},
                event::Stopped{KEY, "read failed: Interrupted system call (Interrupted)", 3}}));
}

TEST(RunDeviceLoop, AFailedTransmitAnswersTheWriteAndEndsTheWorker) {
  // A write that cannot be sent is answered, then the worker stops with the same cause. A failing
  // first poll is DeviceLoop.TransmitFailuresEndTheLoop's.
  const Ran ran = run_scripted({}, {command::Write{unit_settings()}}, false, true, 4,
                               LinkError{LinkError::Kind::Other, "No such device"});
  EXPECT_EQ(ran.events, (std::vector<UnitEvent>{
                            event::WriteResult{outcome::SendFailed{"No such device"}, KEY, 4},
                            event::PortProblems{{"link closed, commands dropped"}},
                            event::Stopped{KEY, "write failed: No such device", 4}}));
}

TEST(RunDeviceLoop, DroppedCommandChannelStopsBeforeAnyTransmit) {
  const Ran ran = run_scripted({}, {}, true, false, 9);
  EXPECT_TRUE(ran.written.empty());
  EXPECT_EQ(ran.events,
            (std::vector<UnitEvent>{event::PortProblems{{"link closed, commands dropped"}},
                                    event::Stopped{KEY, "stopped", 9}}));
}

// The stamp before each line is wall time; the lines after it are what a developer reads.
std::vector<std::string> trace_messages(const std::string& out) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < out.size();) {
    const std::size_t end = out.find('\n', at);
    const std::string line = out.substr(at, end - at);
    EXPECT_EQ(line.rfind("owl ", 0), 0u) << line;
    lines.push_back(line.substr(line.find(' ', line.find('.')) + 1));
    at = end == std::string::npos ? out.size() : end + 1;
  }
  return lines;
}

// The trace switch is read once per process; ctest runs each case in its own.
TEST(DeviceLoopTrace, WhyAFrameChangedNothingIsTraced) {
  ::setenv("OWL_TRACE", "1", 1);
  if (!trace_enabled()) GTEST_SKIP() << "the trace switch was read earlier in this process";
  std::vector<std::uint8_t> bad_sum = text_frame("x");
  bad_sum[1] ^= 0x01;
  UnitSettings eleven = unit_settings();
  eleven.channels.push_back(eleven.channels.back());
  std::vector<std::uint8_t> bytes;
  for (const auto& frame : {
           bad_sum,
           encode_frame(CMD_SETTINGS, std::vector<std::uint8_t>{0x44, 0x33, 0x22}, 0x1A, 0xFE),
           encode_frame(CMD_SETTINGS, std::vector<std::uint8_t>{0x45, 0x33, 0x22, 0x11}),
           encode_frame(CMD_SETTINGS, std::vector<std::uint8_t>{0x44, 0x33, 0x22, 0x11, 0x00}),
           encode_frame(CMD_SETTINGS, encode_settings(eleven)),
           bad_sum,
       }) {
    bytes.insert(bytes.end(), frame.begin(), frame.end());
  }

  testing::internal::CaptureStderr();
  FakeIo io(T0);
  DeviceLoop loop(KEY, T0);
  receive(loop, io, T0, bytes);
  run_scripted({}, {}, true, false, 9);
  const std::vector<std::string> lines = trace_messages(testing::internal::GetCapturedStderr());
  EXPECT_TRUE(io.events.empty());
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "SIM0001 rx " + hex_dump(bytes),
                       "SIM0001 bad checksum, 2 dropped so far",
                       "SIM0001 frame cmd 80 src 1a dst fe len 3",
                       "SIM0001 settings frame ignored: struct type None",
                       "SIM0001 frame cmd 80 src 00 dst 00 len 4",
                       "SIM0001 settings frame ignored: struct type Some(287454021)",
                       "SIM0001 frame cmd 80 src 00 dst 00 len 5",
                       "SIM0001 settings not decoded: TooShort(5)",
                       "SIM0001 frame cmd 80 src 00 dst 00 len 152",
                       "SIM0001 settings not decoded: ChannelCount { count: 11, present: 11 }",
                       "SIM0001 worker stopped: stopped",
                   }));
}

}  // namespace
}  // namespace owl
