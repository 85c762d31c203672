#include "manager/port_scanner.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "clock.hpp"
#include "fake_sysfs.hpp"
#include "manager/engine.hpp"
#include "seams.hpp"
#include "trace.hpp"

using namespace std::chrono_literals;

namespace owl {
namespace {

using testing_support::FakeSysfs;

// Stands in for an open unit port: silent until the test lets go of it.
struct LinkGate {
  std::mutex mutex;
  std::condition_variable changed;
  bool closed = false;
};

class FakeLink final : public ByteLink {
 public:
  explicit FakeLink(std::shared_ptr<LinkGate> gate) : gate_(std::move(gate)) {}
  Expected<std::size_t, LinkError> read(std::span<std::uint8_t>) override {
    std::unique_lock<std::mutex> lock(gate_->mutex);
    if (gate_->changed.wait_for(lock, 20ms, [&] { return gate_->closed; })) return std::size_t{0};
    return Unexpected{LinkError::timed_out()};
  }
  std::optional<LinkError> write_all(std::span<const std::uint8_t>) override { return {}; }
  std::optional<LinkError> flush() override { return {}; }

 private:
  std::shared_ptr<LinkGate> gate_;
};

class PortScanPass : public ::testing::Test {
 protected:
  PortScanPass() {
    auto [sender, receiver] = make_channel<UnitEvent>();
    manager_ = {std::make_shared<UnitRegistry>(), std::move(sender), &clock_};
    events_ = std::move(receiver);
  }

  // Ends every worker the passes started and waits for them, so none outlives the clock.
  void TearDown() override {
    {
      const std::lock_guard<std::mutex> lock(gate_->mutex);
      gate_->closed = true;
    }
    gate_->changed.notify_all();
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    for (std::size_t stopped = 0; stopped < workers_;) {
      auto r = events_.recv_until(deadline);
      ASSERT_EQ(r.status, RecvStatus::Value) << "a worker did not stop";
      if (std::holds_alternative<event::Stopped>(*r.value)) ++stopped;
    }
  }

  void pass(const PortListing& listing) {
    run_scan_pass(
        listing, manager_, table_,
        [this](const std::string& path) -> Expected<std::unique_ptr<ByteLink>, std::string> {
          opened_.push_back(path);
          if (auto it = failing_.find(path); it != failing_.end()) {
            return Unexpected{it->second};
          }
          ++workers_;
          return std::unique_ptr<ByteLink>(std::make_unique<FakeLink>(gate_));
        });
  }

  // The events sent so far; workers on fake links send none until they stop.
  std::vector<UnitEvent> sent() {
    std::vector<UnitEvent> out;
    for (auto r = events_.try_recv(); r.status == RecvStatus::Value; r = events_.try_recv()) {
      out.push_back(std::move(*r.value));
    }
    return out;
  }

  std::optional<std::string> label_of(const std::string& key) {
    return manager_.registry->with_lock([&](UnitMap& units) -> std::optional<std::string> {
      auto it = units.find(key);
      return it == units.end() ? std::nullopt : std::optional(it->second.label);
    });
  }

  static std::vector<UnitEvent> problems(std::vector<std::string> lines) {
    return {event::PortProblems{std::move(lines)}};
  }

  static SerialPortInfo unit_port(std::string path, std::string serial) {
    return {std::move(path),
            UsbIdentity{UNIT_USB_VID, UNIT_USB_PID, std::move(serial), "Quillon", "OWL"}};
  }

  ManualClock clock_;
  Manager manager_;
  Receiver<UnitEvent> events_;
  PortProblemTable table_;
  std::shared_ptr<LinkGate> gate_ = std::make_shared<LinkGate>();
  std::vector<std::string> opened_;
  std::map<std::string, std::string> failing_;
  std::size_t workers_ = 0;
};

TEST_F(PortScanPass, ServesOnlyPortsWithTheUnitsUsbIdentity) {
  FakeSysfs tree;
  tree.add_usb_port("ttyACM0", {.manufacturer = "qUILLON", .product = "owl"});
  tree.add_usb_port("ttyACM1", {.serial = "K2", .product = "OWL2"});
  tree.add_usb_port("ttyACM2", {.serial = "K3", .manufacturer = "Quillon Audio"});
  tree.add_usb_port("ttyACM3", {.serial = "K4", .product = "OWL "});
  tree.add_usb_port("ttyACM4", {.vid = "2e8b", .serial = "K5"});
  tree.add_usb_port("ttyACM5", {.pid = "000b", .serial = "K6"});
  tree.add_usb_port("ttyACM6", {.serial = std::nullopt});
  tree.add_usb_port("ttyACM7", {.serial = ""});
  tree.add_usb_port("ttyACM8", {.serial = "K7", .manufacturer = std::nullopt});
  tree.add_usb_port("ttyACM9", {.serial = "K8", .product = "0WL"});  // a zero, not an O
  tree.add_platform_port("ttyS0");

  pass(tree.list());
  EXPECT_EQ(opened_,
            (std::vector<std::string>{tree.dev_path("ttyACM0"), tree.dev_path("ttyACM7")}));
  EXPECT_EQ(label_of("K1"), tree.dev_path("ttyACM0"));
  EXPECT_EQ(label_of(""), tree.dev_path("ttyACM7"));
  for (const char* key : {"K2", "K3", "K4", "K5", "K6", "K7", "K8"})
    EXPECT_EQ(label_of(key), std::nullopt);
  EXPECT_TRUE(sent().empty());  // nothing failed to open

  pass(tree.list());
  EXPECT_EQ(opened_.size(), 2u) << "served units are not opened again";
  // Nothing attached at all publishes no (empty) problem list either.
  pass(std::vector<SerialPortInfo>{});
  EXPECT_TRUE(sent().empty());
}

TEST_F(PortScanPass, AUnitIsOpenedThroughOnePathOnly) {
  // The second port with the same serial number is skipped in the very pass that registers it.
  pass(std::vector<SerialPortInfo>{unit_port("/dev/ttyACM0", "K1"), unit_port("/dev/ttyACM1", "K1"),
                                   unit_port("/dev/tty.usbmodemK2", "K2")});
  EXPECT_EQ(opened_, std::vector<std::string>{"/dev/ttyACM0"});

  // A registered unit under another path is not reopened, not even when that path would fail.
  failing_["/dev/ttyACM9"] = "Permission denied";
  pass(std::vector<SerialPortInfo>{unit_port("/dev/ttyACM9", "K1")});
  EXPECT_EQ(opened_, std::vector<std::string>{"/dev/ttyACM0"});
  EXPECT_EQ(label_of("K1"), "/dev/ttyACM0");
  EXPECT_TRUE(sent().empty());
}

TEST_F(PortScanPass, OpenFailuresArePublishedWhenTheyChange) {
  const std::vector<SerialPortInfo> ports = {unit_port("/dev/ttyACM0", "K1")};
  failing_["/dev/ttyACM0"] = "Device or resource busy";
  pass(ports);
  EXPECT_EQ(sent(), problems({"/dev/ttyACM0: Device or resource busy"}));
  pass(ports);
  EXPECT_TRUE(sent().empty()) << "an unchanged failure is not published again";
  EXPECT_EQ(opened_.size(), 2u) << "but it is tried on every pass";

  // A lost listing neither clears nor republishes anything.
  pass(Unexpected{std::string("class/tty: No such file or directory")});
  EXPECT_TRUE(sent().empty());
  EXPECT_EQ(table_.problems.size(), 1u);

  failing_["/dev/ttyACM0"] = "Permission denied";
  pass(ports);
  EXPECT_EQ(sent(), problems({"/dev/ttyACM0: Permission denied"}));

  failing_.clear();
  pass(ports);
  EXPECT_EQ(sent(), problems({}));
  EXPECT_TRUE(table_.problems.empty());
  EXPECT_TRUE(label_of("K1").has_value());
  pass(ports);
  EXPECT_TRUE(sent().empty());
}

TEST_F(PortScanPass, AUnitWhoseThreadCannotStartIsAPortProblemAndTriedAgain) {
  testing_support::SeamGuard seams;
  const std::vector<SerialPortInfo> ports = {unit_port("/dev/ttyACM0", "K1"),
                                             unit_port("/dev/ttyACM1", "K2")};
  failing_["/dev/ttyACM1"] = "Permission denied";
  sys::calls().pthread_create = &testing_support::refuse_thread;
  pass(ports);
  --workers_;  // the opened port was closed again without a worker
  EXPECT_FALSE(label_of("K1").has_value());
  EXPECT_EQ(sent(), problems({"/dev/ttyACM0: spawn device thread: Resource temporarily unavailable",
                              "/dev/ttyACM1: Permission denied"}));

  sys::restore_system_calls();
  pass(ports);
  EXPECT_EQ(label_of("K1"), "/dev/ttyACM0");
  EXPECT_EQ(sent(), problems({"/dev/ttyACM1: Permission denied"}));
}

TEST_F(PortScanPass, ProblemsAreSortedByteWiseAndFollowTheirPorts) {
  // Sorting the lines differs from sorting the paths: ' ' sorts before ':', and bytes above 0x7F
  // sort after ASCII.
  const std::vector<SerialPortInfo> ports = {unit_port("/dev/\xC3\xA9", "K1"),
                                             unit_port("/dev/a", "K2"), unit_port("/dev/a b", "K3"),
                                             unit_port("/dev/z", "K4")};
  for (const SerialPortInfo& port : ports) failing_[port.device_path] = "Permission denied";
  const auto denied = [](std::vector<std::string> paths) {
    for (std::string& p : paths) p = "/dev/" + p + ": Permission denied";
    return problems(std::move(paths));
  };

  pass(ports);
  EXPECT_EQ(sent(), denied({"a b", "a", "z", "\xC3\xA9"}));
  // A port that is no longer listed takes its problem with it, even though the rest stay.
  pass(std::vector<SerialPortInfo>{ports[1], ports[2], ports[3]});
  EXPECT_EQ(sent(), denied({"a b", "a", "z"}));
  // Same number of problems, different path: still a change.
  pass(std::vector<SerialPortInfo>{ports[0], ports[1], ports[2]});
  EXPECT_EQ(sent(), denied({"a b", "a", "\xC3\xA9"}));
}

// The trace switch is read once per process; ctest runs each case in its own.
TEST_F(PortScanPass, WhatAPassOpensIsTracedWhenSwitchedOn) {
  ::setenv("OWL_TRACE", "1", 1);
  if (!trace_enabled()) GTEST_SKIP() << "the trace switch was read earlier in this process";
  failing_["/dev/ttyACM1"] = "Permission denied";
  testing::internal::CaptureStderr();
  pass(std::vector<SerialPortInfo>{
      {"/dev/ttyACM0", UsbIdentity{UNIT_USB_VID, UNIT_USB_PID, "K1", "qUILLON", "OWL"}},
      unit_port("/dev/ttyACM1", "K2")});
  const std::string out = testing::internal::GetCapturedStderr();
  EXPECT_NE(out.find(" K1 opened /dev/ttyACM0 (Some(\"qUILLON\") Some(\"OWL\"))\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(" K2 could not open /dev/ttyACM1: Permission denied\n"), std::string::npos)
      << out;
}

TEST(PortScanFormat, OptionalStringsAreWrittenInDebugForm) {
  EXPECT_EQ(debug_quoted(std::string("Quillon")), "Some(\"Quillon\")");
  EXPECT_EQ(debug_quoted(std::nullopt), "None");
  EXPECT_EQ(debug_quoted(std::string("a\"b\\c\nd\te\x1b")), "Some(\"a\\\"b\\\\c\\nd\\te\\u{1b}\")");
  EXPECT_EQ(debug_quoted(std::string("\r\x7f\0", 3)), "Some(\"\\r\\u{7f}\\0\")");
}

// Parks the scanner thread in its first pause so the test can see the pause it asked for.
class PauseRecordingClock final : public Clock {
 public:
  TimePoint now() override { return std::chrono::steady_clock::now(); }
  void sleep_for(Duration d) override {
    std::unique_lock<std::mutex> lock(mutex_);
    sleeps_.push_back(d);
    changed_.notify_all();
    changed_.wait(lock, [] { return false; });
  }
  std::vector<Duration> wait_for_sleep() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, 5s, [&] { return !sleeps_.empty(); });
    return sleeps_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Duration> sleeps_;
};

// A failing pass (a registry that failed once fails every pass alike) is reported, and the
// scanner pauses as after any other.
TEST(PortScanThread, RunsAPassAtOnceThenPausesOneSecondEvenWhenThePassFails) {
  testing_support::SeamGuard seams;
  set_fault_sink(&testing_support::FaultLog::sink);
  FakeSysfs tree;
  tree.add_usb_port("ttyACM0", {});  // no device node behind it
  for (const bool poisoned : {false, true}) {
    SCOPED_TRACE(poisoned);
    // The parked thread keeps using the clock for the rest of the process.
    auto* clock = new PauseRecordingClock;
    auto [sender, receiver] = make_channel<UnitEvent>();
    Manager manager{std::make_shared<UnitRegistry>(), std::move(sender), clock};
    if (poisoned) {
      EXPECT_THROW(manager.registry->with_lock([](UnitMap&) -> int { throw std::bad_alloc(); }),
                   std::bad_alloc);
    }
    spawn_port_scanner(manager, std::make_shared<PortProblemTable>(),
                       {tree.sysfs().string(), tree.dev()});
    EXPECT_EQ(clock->wait_for_sleep(), std::vector<Duration>{SCAN_INTERVAL});
    if (poisoned) break;
    auto r = receiver.recv_until(std::chrono::steady_clock::now() + 5s);
    ASSERT_EQ(r.status, RecvStatus::Value);
    EXPECT_EQ(
        *r.value,
        UnitEvent(event::PortProblems{{tree.dev_path("ttyACM0") + ": No such file or directory"}}));
    EXPECT_FALSE(manager.registry->contains("K1"));
    EXPECT_TRUE(testing_support::FaultLog::seen().empty());
  }
  EXPECT_EQ(testing_support::FaultLog::seen(),
            std::vector<std::string>{"owl-scan: unit registry lock poisoned"});
}

}  // namespace
}  // namespace owl
