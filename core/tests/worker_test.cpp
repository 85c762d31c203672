#include "device/worker.hpp"

#include <dirent.h>
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "error.hpp"
#include "frame.hpp"
#include "manager/manager.hpp"
#include "seams.hpp"

using namespace std::chrono_literals;

namespace owl {
namespace {

// Records what the paced transmit does to the link, in order.
class RecordingLink final : public ByteLink {
 public:
  std::vector<std::string> calls;
  int fail_write_at = -1;  // the n-th write_all fails
  int fail_flush_at = -1;  // the n-th flush fails
  int writes = 0;
  int flushes = 0;

  Expected<std::size_t, LinkError> read(std::span<std::uint8_t>) override {
    return Unexpected{LinkError::timed_out()};
  }
  std::optional<LinkError> write_all(std::span<const std::uint8_t> bytes) override {
    if (writes++ == fail_write_at) return LinkError::from_errno(EPIPE);
    calls.push_back("write " + std::to_string(bytes.size()));
    return std::nullopt;
  }
  std::optional<LinkError> flush() override {
    if (flushes++ == fail_flush_at) return LinkError{LinkError::Kind::Other, "flush failed"};
    calls.push_back("flush");
    return std::nullopt;
  }
};

TEST(WorkerSend, ChunksOfFiveEachFlushedAndPaused) {
  RecordingLink link;
  ManualClock clock;
  EXPECT_FALSE(send_bytes(link, "K", std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}, clock));
  EXPECT_EQ(link.calls, (std::vector<std::string>{"write 5", "flush", "write 1", "flush"}));
  EXPECT_EQ(clock.sleeps(), (std::vector<Duration>{5ms, 5ms}));

  // A settings write of 150 bytes, an exact multiple, takes no extra pause.
  ManualClock frame_clock;
  EXPECT_FALSE(send_bytes(link, "K", std::vector<std::uint8_t>(150, 0), frame_clock));
  EXPECT_EQ(frame_clock.sleeps().size(), 30u);
}

TEST(WorkerSend, StopsAtTheFailingChunk) {
  RecordingLink link;
  link.fail_write_at = 1;
  ManualClock clock;
  auto error = send_bytes(link, "K", std::vector<std::uint8_t>(12, 0xAA), clock);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->kind, LinkError::Kind::BrokenPipe);
  EXPECT_EQ(link.calls, (std::vector<std::string>{"write 5", "flush"}));
  EXPECT_EQ(clock.sleeps().size(), 1u);

  // A chunk that went out but could not be drained ends the transmit too, before its pause.
  RecordingLink undrained;
  undrained.fail_flush_at = 1;
  ManualClock flush_clock;
  error = send_bytes(undrained, "K", std::vector<std::uint8_t>(12, 0xAA), flush_clock);
  EXPECT_EQ(error, (LinkError{LinkError::Kind::Other, "flush failed"}));
  EXPECT_EQ(undrained.calls, (std::vector<std::string>{"write 5", "flush", "write 5"}));
  EXPECT_EQ(flush_clock.sleeps().size(), 1u);
}

// The trace switch is read once per process; ctest runs each case in its own.
TEST(WorkerTrace, TransmitIsTracedWhenSwitchedOn) {
  ::setenv("OWL_TRACE", "1", 1);
  testing::internal::CaptureStderr();
  RecordingLink link;
  link.fail_write_at = 2;
  ManualClock clock;
  EXPECT_FALSE(send_bytes(link, "SIM0001", SETTINGS_REQUEST, clock));
  EXPECT_TRUE(send_bytes(link, "SIM0001", SETTINGS_REQUEST, clock));
  link.fail_write_at = -1;
  link.fail_flush_at = link.flushes;
  EXPECT_TRUE(send_bytes(link, "SIM0003", SETTINGS_REQUEST, clock));
  // What the loop traces of the frames it reads is DeviceLoopTrace's.
  const std::string out = testing::internal::GetCapturedStderr();
  EXPECT_NE(out.find(" SIM0001 tx aa 2e 04 00 00 80 44 33 22 11\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" SIM0001 tx done in 10 ms\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" SIM0001 write failed: Broken pipe\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" SIM0003 flush failed: flush failed\n"), std::string::npos) << out;
  EXPECT_EQ(out.rfind("owl ", 0), 0u);
}

std::vector<std::string> thread_names() {
  std::vector<std::string> names;
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return names;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
    std::string name;
    std::getline(comm, name);
    names.push_back(name);
  }
  closedir(dir);
  return names;
}

TEST(WorkerSpawn, RegistersTheUnitAndNamesItsThreadWithinTheKernelLimit) {
  auto [events, receiver] = make_channel<UnitEvent>();
  Manager manager{std::make_shared<UnitRegistry>(), events};
  spawn_device_worker(manager, "ABCDEFGHIJKLMNOP", "/dev/ttyACM0",
                      std::make_unique<RecordingLink>());
  EXPECT_TRUE(manager.registry->contains("ABCDEFGHIJKLMNOP"));
  bool named = false;
  for (int i = 0; i < 200 && !named; ++i) {
    for (const std::string& name : thread_names()) named = named || name == "owl-ABCDEFGHIJK";
    if (!named) std::this_thread::sleep_for(5ms);
  }
  EXPECT_TRUE(named);
  // Dropping the entry ends the worker with "stopped".
  manager.registry->with_lock([](UnitMap& units) { units.clear(); });
  for (;;) {
    auto r = receiver.recv_until(std::chrono::steady_clock::now() + 5s);
    ASSERT_EQ(r.status, RecvStatus::Value);
    if (auto* stopped = std::get_if<event::Stopped>(&*r.value)) {
      EXPECT_EQ(stopped->reason, "stopped");
      break;
    }
  }
}

// Waits for the next event of kind E, skipping others.
template <class E>
std::optional<E> next_of(Receiver<UnitEvent>& receiver) {
  for (;;) {
    auto r = receiver.recv_until(std::chrono::steady_clock::now() + 5s);
    if (r.status != RecvStatus::Value) return std::nullopt;
    if (auto* e = std::get_if<E>(&*r.value)) return std::move(*e);
  }
}

// Never answers; each read waits a little, as a real port's timeout would.
class IdleLink final : public ByteLink {
 public:
  Expected<std::size_t, LinkError> read(std::span<std::uint8_t>) override {
    std::this_thread::sleep_for(2ms);
    return Unexpected{LinkError::timed_out()};
  }
  std::optional<LinkError> write_all(std::span<const std::uint8_t>) override { return {}; }
  std::optional<LinkError> flush() override { return {}; }
};

class ThrowingLink final : public ByteLink {
 public:
  Expected<std::size_t, LinkError> read(std::span<std::uint8_t>) override {
    throw std::runtime_error("link exploded");
  }
  std::optional<LinkError> write_all(std::span<const std::uint8_t>) override { return {}; }
  std::optional<LinkError> flush() override { return {}; }
};

TEST(WorkerSpawn, AFailingLoopStopsOnlyItsOwnUnitAndIsReported) {
  testing_support::SeamGuard seams;
  set_fault_sink(&testing_support::FaultLog::sink);
  auto [events, receiver] = make_channel<UnitEvent>();
  Manager manager{std::make_shared<UnitRegistry>(), events};
  spawn_device_worker(manager, "K", "/dev/ttyACM0", std::make_unique<ThrowingLink>());
  const Generation generation =
      manager.registry->with_lock([](UnitMap& units) { return units.at("K").generation; });
  auto stopped = next_of<event::Stopped>(receiver);
  ASSERT_TRUE(stopped);
  EXPECT_EQ(*stopped, (event::Stopped{"K", "internal failure: link exploded", generation}));
  EXPECT_EQ(testing_support::FaultLog::seen(), std::vector<std::string>{"owl-K: link exploded"});
}

TEST(WorkerSpawn, ReplacingAUnitEndsItsPendingWriteAtOnce) {
  auto [events, receiver] = make_channel<UnitEvent>();
  Manager manager{std::make_shared<UnitRegistry>(), events};
  spawn_device_worker(manager, "K", "/dev/ttyACM0", std::make_unique<IdleLink>());
  const Generation first = manager.registry->with_lock([](UnitMap& units) {
    units.at("K").confirming = true;
    return units.at("K").generation;
  });
  spawn_device_worker(manager, "K", "/dev/ttyACM0", std::make_unique<IdleLink>());
  auto ended = next_of<event::WriteResult>(receiver);
  ASSERT_TRUE(ended);
  EXPECT_EQ(*ended, (event::WriteResult{outcome::Replaced{}, "K", first}));

  // A replacement with no write pending ends none.
  spawn_device_worker(manager, "K", "/dev/ttyACM0", std::make_unique<IdleLink>());
  manager.registry->with_lock([](UnitMap& units) { units.clear(); });
  for (int stopped = 0; stopped < 3;) {
    auto r = receiver.recv_until(std::chrono::steady_clock::now() + 5s);
    ASSERT_EQ(r.status, RecvStatus::Value);
    EXPECT_FALSE(std::holds_alternative<event::WriteResult>(*r.value));
    stopped += std::holds_alternative<event::Stopped>(*r.value);
  }
}

}  // namespace
}  // namespace owl
