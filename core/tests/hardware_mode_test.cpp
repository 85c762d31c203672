#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <climits>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "event_log.hpp"
#include "fake_sysfs.hpp"
#include "frame.hpp"
#include "manager/engine.hpp"
#include "manager/write.hpp"
#include "pty_unit.hpp"
#include "settings/payload.hpp"
#include "sim/simulated_port.hpp"

using namespace std::chrono_literals;

namespace owl {
namespace {

namespace fs = std::filesystem;

// Makes a unit's device node appear, in one step, as a link to an emulator's terminal.
void plug(const std::string& device_path, const std::string& target) {
  fs::create_symlink(target, device_path + ".new");
  fs::rename(device_path + ".new", device_path);
}

using testing_support::EventLog;
using testing_support::is;

std::function<bool(const UnitEvent&)> problems_are(std::vector<std::string> lines) {
  return [lines = std::move(lines)](const UnitEvent& e) {
    const auto* p = std::get_if<event::PortProblems>(&e);
    return p != nullptr && p->lines == lines;
  };
}

TEST(PortScanHardwareMode, ServesAUnitOverARealSerialPortAndAgainAfterItReturns) {
  const std::string key = "E2E0001";
  testing_support::FakeSysfs tree;
  tree.add_usb_port("ttyACM0", {.serial = key});
  fs::create_directories(tree.dev());
  const std::string node = tree.dev_path("ttyACM0");
  auto emulator = std::make_unique<PtyUnit>(simulated_unit_settings(4711, 215000, 217000, 6));
  plug(node, emulator->slave_path());

  EngineStart started = create_engine(
      {.simulator = false, .sysfs_root = tree.sysfs().string(), .dev_root = tree.dev()});
  EventLog log{started.ui_events, {}};
  UnitRegistry& registry = *started.engine->manager.registry;

  auto announced = log.wait_for(is<event::Announced>(key));
  ASSERT_TRUE(announced);
  EXPECT_EQ(std::get<event::Announced>(*announced).label, node);
  auto report = log.wait_for(is<event::Settings>(key));
  ASSERT_TRUE(report);
  EXPECT_EQ(std::get<event::Settings>(*report).settings, emulator->settings());

  UnitSettings requested = std::get<event::Settings>(*report).settings;
  requested.delayMs = 120;
  requested.unitName = "Stage-Left";
  registry.with_lock([&](UnitMap& units) {
    auto prepared = prepare_write(units, key, requested, false, false);
    ASSERT_TRUE(prepared.has_value());
    queue_write(units.at(key), prepared.value());
  });
  auto result = log.wait_for(is<event::WriteResult>(key));
  ASSERT_TRUE(result);
  EXPECT_TRUE(
      std::holds_alternative<outcome::Confirmed>(std::get<event::WriteResult>(*result).outcome));
  EXPECT_EQ(emulator->settings().delayMs, 120);
  EXPECT_EQ(emulator->settings().unitName, "Stage-Left");

  // Unplugging takes the device node away and hangs up the line.
  fs::remove(node);
  emulator->hang_up();
  ASSERT_TRUE(log.wait_for(is<event::Stopped>(key)));
  EXPECT_FALSE(registry.contains(key));
  ASSERT_TRUE(log.wait_for(problems_are({node + ": No such file or directory"})));
  const std::size_t replugged_at = log.seen.size();

  emulator = std::make_unique<PtyUnit>(simulated_unit_settings(4711, 215000, 217000, 6));
  plug(node, emulator->slave_path());
  ASSERT_TRUE(log.wait_for(is<event::Announced>(key)));
  ASSERT_TRUE(log.wait_for(is<event::Settings>(key)));
  EXPECT_TRUE(registry.contains(key));
  // The reopened port clears the problem; that event may already have gone by.
  const auto cleared = problems_are({});
  const auto since = log.seen.begin() + static_cast<std::ptrdiff_t>(replugged_at);
  if (std::none_of(since, log.seen.end(), cleared)) {
    EXPECT_TRUE(log.wait_for(cleared));
  }
}

}  // namespace
}  // namespace owl
