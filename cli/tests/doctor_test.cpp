#include "doctor.hpp"

#include <gtest/gtest.h>

#include <cerrno>

#include "fake_sysfs.hpp"
#include "unit_port.hpp"

namespace owl::cli {
namespace {

using testing_support::FakeSysfs;
using testing_support::UsbAttributes;

// The engine's fake sysfs, with the device nodes, processes and rule folders the doctor reads.
struct FakeMachine : FakeSysfs {
  // A port with the units' identity by default; an empty string leaves that attribute out.
  void add_port(const std::string& name, UsbAttributes usb = {}, bool with_node = true) {
    add_usb_port(name, usb);
    if (with_node) write(base() / "dev" / name, "");
  }
  void add_process(int pid, const std::string& comm) {
    write(base() / "proc" / std::to_string(pid) / "comm", comm);
  }
  void install_rule() { write(base() / "lib-rules" / "70-owl-units.rules", "# rule"); }
  DoctorRoots roots() const {
    DoctorRoots roots;
    roots.sysfs = sysfs();
    roots.dev = dev();
    roots.proc = base() / "proc";
    roots.udev_rule_dirs = {base() / "etc-rules", base() / "lib-rules"};
    return roots;
  }
};

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

// The doctor calls a port a unit exactly when the engine's scanner would: near misses included,
// such as a trailing space the doctor once trimmed away.
TEST(Doctor, CallsAPortAUnitExactlyWhenTheEngineDoes) {
  const UsbAttributes cases[] = {
      {},
      {"2E8A", "000A", "K2", "qUILLON", "owl"},
      {"2e8a", "000a", "K3", "Quillon ", "OWL"},
      {"2e8a", "000a", "K4", "Quillon", "OWL\r"},
      {"2e8a", "000b", "K5", "Quillon", "OWL"},
      {"2e8a", "000a", "K6", "Raspberry Pi", "Pico"},
      {"2e8a", "000a", "K7", std::nullopt, "OWL"},
      {"2e8a ", "000a", "K8", "Quillon", "OWL"},
  };
  for (const UsbAttributes& usb : cases) {
    FakeMachine machine;
    machine.install_rule();
    machine.add_port("ttyACM0", usb);
    const PortListing listing = machine.list();
    ASSERT_TRUE(listing && listing.value().size() == 1u);
    const bool engine_opens = unit_key(listing.value()[0]).has_value();
    const auto findings = run_doctor(machine.roots(), allowed);
    EXPECT_EQ(has(findings, false, "unit port "), engine_opens) << *usb.serial;
    EXPECT_EQ(has(findings, true, "no OWL unit port found"), !engine_opens) << *usb.serial;
  }
}

TEST(Doctor, AllWellWhenPortOpensAndRuleIsInstalled) {
  FakeMachine machine;
  machine.add_port("ttyACM0");
  machine.install_rule();
  machine.add_process(1, "systemd");
  const auto findings = run_doctor(machine.roots(), allowed);
  for (const auto& f : findings) EXPECT_FALSE(f.problem) << f.text;
  EXPECT_TRUE(has(findings, false, "unit port " + machine.dev_path("ttyACM0")));
  EXPECT_TRUE(has(findings, false, "you may open"));
  EXPECT_TRUE(has(findings, false, "ModemManager is not running"));
  // With the rule installed ModemManager leaves the units alone.
  machine.add_process(812, "ModemManager");
  EXPECT_TRUE(has(run_doctor(machine.roots(), allowed), false, "ModemManager is running"));
}

TEST(Doctor, DeniedPortAndMissingRuleSayWhatToDo) {
  FakeMachine machine;
  machine.add_port("ttyACM0");
  machine.add_process(812, "ModemManager");
  const auto findings = run_doctor(machine.roots(), denied);
  EXPECT_TRUE(has(findings, true, "ModemManager is running"));
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

TEST(Doctor, MissingSerialNodeOrUnitIsAProblem) {
  FakeMachine machine;
  machine.add_port("ttyACM0", {"2e8a", "000a", std::nullopt});
  machine.add_port("ttyACM1", {"2e8a", "000a", "77"}, false);
  machine.install_rule();
  const auto findings = run_doctor(machine.roots(), allowed);
  EXPECT_TRUE(has(findings, true, "reports no USB serial number"));
  EXPECT_TRUE(has(findings, true, "ttyACM1 does not exist"));
  EXPECT_FALSE(has(findings, true, "no OWL unit port found"));

  FakeMachine other;  // the units' USB ids, but another maker's strings
  other.add_port("ttyACM1", {"2e8a", "000a", "E6614", "Raspberry Pi", "Pico"});
  other.install_rule();
  const auto no_unit = run_doctor(other.roots(), allowed);
  EXPECT_TRUE(has(no_unit, true, "no OWL unit port found"));
  EXPECT_TRUE(has(no_unit, false, "ttyACM1 has the units' USB ids"));
}

TEST(Doctor, FormatShowsEachProblemWithItsAction) {
  EXPECT_EQ(format_findings({{true, "bad", "fix it"}, {false, "fine", ""}}),
            "problem: bad\n  what to do: fix it\nok: fine\n");
}

}  // namespace
}  // namespace owl::cli
