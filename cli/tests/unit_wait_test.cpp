#include "unit_wait.hpp"

#include <gtest/gtest.h>

#include "fake_sysfs.hpp"

namespace owl::cli {
namespace {

using std::chrono::milliseconds;

TEST(UnitWait, CandidatesAreUnitPortsWithASerialNumber) {
  testing_support::FakeSysfs machine;
  const std::filesystem::path sysfs = machine.sysfs();
  EXPECT_TRUE(candidate_ports(sysfs).empty());
  machine.add_virtual_tty("tty1");
  machine.add_usb_port("ttyUSB0", {"0403", "6001", "A1", "FTDI", "FT232R"}, true);
  machine.add_usb_port("ttyACM1", {"2e8a", "000a", std::nullopt});  // no serial number
  machine.add_usb_port("ttyACM2", {"2e8a", "000a", "E66", "Raspberry Pi", "Pico"});
  EXPECT_TRUE(candidate_ports(sysfs).empty());
  machine.add_usb_port("ttyACM0", {"2E8A", "000A", "0001A3F2", "quillon", "owl"});
  EXPECT_EQ(candidate_ports(sysfs), (std::vector<CandidatePort>{{"ttyACM0", "0001A3F2"}}));
  EXPECT_TRUE(candidate_ports(machine.base() / "absent").empty());
}

TEST(UnitWait, StopsOnceNoPortCanBringAWantedUnit) {
  const Clock::time_point t0{std::chrono::hours(1)};
  const std::vector<CandidatePort> two = {{"ttyACM0", "A"}, {"ttyACM1", "B"}};
  struct Case {
    std::string name;
    std::vector<std::string> wanted;
    WaitProgress progress;
    Clock::duration since_start;
    bool over;
  };
  const Case cases[] = {
      {"nothing looked at yet", {}, {}, milliseconds(0), false},
      {"a look found no unit port",
       {},
       {{}, {}, std::vector<CandidatePort>{}},
       milliseconds(0),
       true},
      {"ports still opening", {}, {{"A"}, t0, two}, milliseconds(100), false},
      {"every port's unit reported", {}, {{"A", "B"}, t0, two}, milliseconds(100), true},
      {"a port never answers: the set settles", {}, {{"A"}, t0, two}, milliseconds(1200), true},
      {"wanted unit reported", {"B"}, {{"B"}, t0, std::nullopt}, milliseconds(0), true},
      {"wanted unit's port is opening", {"B"}, {{"A"}, t0, two}, milliseconds(5000), false},
      {"no port for the wanted unit", {"C"}, {{"A"}, t0, two}, milliseconds(0), true},
      {"not looked, wanted missing", {"C"}, {{"A"}, t0, std::nullopt}, milliseconds(5000), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(waiting_is_over(c.wanted, c.progress, t0 + c.since_start), c.over) << c.name;
  }
}

}  // namespace
}  // namespace owl::cli
