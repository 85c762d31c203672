#include "doctor.hpp"

#include <gtest/gtest.h>

#include <cerrno>

#include "fake_machine.hpp"

namespace owl::cli {
namespace {

using testing::FakeMachine;

DoctorRoots roots_of(const FakeMachine& machine) {
  DoctorRoots roots;
  roots.sysfs = machine.root / "sys";
  roots.dev = machine.root / "dev";
  roots.proc = machine.root / "proc";
  roots.udev_rule_dirs = {machine.root / "etc-rules", machine.root / "lib-rules"};
  return roots;
}

const auto allowed = [](const std::filesystem::path&) { return 0; };
const auto denied = [](const std::filesystem::path&) { return EACCES; };

bool has(const std::vector<Finding>& findings, bool problem, const std::string& text) {
  for (const auto& f : findings) {
    if (f.problem == problem && f.text.find(text) != std::string::npos) return true;
  }
  return false;
}

const Finding* find(const std::vector<Finding>& findings, const std::string& text) {
  for (const auto& f : findings) {
    if (f.text.find(text) != std::string::npos) return &f;
  }
  return nullptr;
}

TEST(Doctor, ListsUsbSerialPortsWithTheirIdentity) {
  FakeMachine machine;
  machine.add_usb_tty("ttyACM0", "2e8a", "000a", "Quillon", "OWL", "0001A3F2");
  machine.add_usb_tty("ttyUSB0", "0403", "6001", "FTDI", "FT232R", "");
  machine.add_virtual_tty("tty1");
  const auto ports = list_usb_serial_ports(machine.root / "sys");
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].name, "ttyACM0");
  EXPECT_EQ(ports[0].vendor_id, 0x2E8A);
  EXPECT_EQ(ports[0].product_id, 0x000A);
  EXPECT_EQ(ports[0].serial, std::optional<std::string>("0001A3F2"));
  EXPECT_TRUE(is_unit_port(ports[0]));
  EXPECT_EQ(ports[1].name, "ttyUSB0");
  EXPECT_FALSE(ports[1].serial.has_value());
  EXPECT_FALSE(is_unit_port(ports[1]));
  // A unit port ignores letter case, but nothing else.
  UsbSerialPort port{"ttyACM0", 0x2E8A, 0x000A, "QUILLON", "owl", "1"};
  EXPECT_TRUE(is_unit_port(port));
  port.product = "OWL2";
  EXPECT_FALSE(is_unit_port(port));
  port.product = "OWL";
  port.manufacturer = std::nullopt;
  EXPECT_FALSE(is_unit_port(port));
  port.manufacturer = "Quillon";
  port.product_id = 0x000B;
  EXPECT_FALSE(is_unit_port(port));
}

TEST(Doctor, AllWellWhenPortOpensAndRuleIsInstalled) {
  FakeMachine machine;
  machine.add_usb_tty("ttyACM0", "2e8a", "000a", "Quillon", "OWL", "0001A3F2");
  machine.install_rule();
  machine.add_process(1, "systemd");
  const auto findings = run_doctor(roots_of(machine), allowed);
  for (const auto& f : findings) EXPECT_FALSE(f.problem) << f.text;
  EXPECT_TRUE(has(findings, false, "unit port " + (machine.root / "dev" / "ttyACM0").string()));
  EXPECT_TRUE(has(findings, false, "you may open"));
  EXPECT_TRUE(has(findings, false, "ModemManager is not running"));
}

TEST(Doctor, DeniedPortAndMissingRuleSayWhatToDo) {
  FakeMachine machine;
  machine.add_usb_tty("ttyACM0", "2e8a", "000a", "Quillon", "OWL", "0001A3F2");
  const auto findings = run_doctor(roots_of(machine), denied);
  const Finding* access = find(findings, "you may not open");
  ASSERT_NE(access, nullptr);
  EXPECT_TRUE(access->problem);
  EXPECT_NE(access->action.find("70-owl-units.rules"), std::string::npos);
  EXPECT_NE(access->action.find("usermod -aG"), std::string::npos);
  const Finding* rule = find(findings, "not installed");
  ASSERT_NE(rule, nullptr);
  EXPECT_TRUE(rule->problem);
  EXPECT_NE(rule->action.find("udevadm control --reload"), std::string::npos);
}

TEST(Doctor, ModemManagerIsAProblemOnlyWithoutTheRule) {
  FakeMachine machine;
  machine.add_usb_tty("ttyACM0", "2e8a", "000a", "Quillon", "OWL", "0001A3F2");
  machine.add_process(812, "ModemManager");
  EXPECT_TRUE(has(run_doctor(roots_of(machine), allowed), true, "ModemManager is running"));
  machine.install_rule();
  EXPECT_TRUE(has(run_doctor(roots_of(machine), allowed), false, "ModemManager is running"));
}

TEST(Doctor, MissingSerialNodeOrUnitIsAProblem) {
  FakeMachine machine;
  machine.add_usb_tty("ttyACM0", "2e8a", "000a", "Quillon", "OWL", "");
  machine.add_usb_tty("ttyACM1", "2e8a", "000a", "Quillon", "OWL", "77", false);
  machine.install_rule();
  const auto findings = run_doctor(roots_of(machine), allowed);
  EXPECT_TRUE(has(findings, true, "reports no USB serial number"));
  EXPECT_TRUE(has(findings, true, "ttyACM1 does not exist"));
  EXPECT_FALSE(has(findings, true, "no OWL unit port found"));

  FakeMachine other;  // the units' USB ids, but another maker's strings
  other.add_usb_tty("ttyACM1", "2e8a", "000a", "Raspberry Pi", "Pico", "E6614");
  other.install_rule();
  const auto no_unit = run_doctor(roots_of(other), allowed);
  EXPECT_TRUE(has(no_unit, true, "no OWL unit port found"));
  EXPECT_TRUE(has(no_unit, false, "ttyACM1 has the units' USB ids"));
}

TEST(Doctor, FormatShowsEachProblemWithItsAction) {
  EXPECT_EQ(format_findings({{true, "bad", "fix it"}, {false, "fine", ""}}),
            "problem: bad\n  what to do: fix it\nok: fine\n");
}

}  // namespace
}  // namespace owl::cli
