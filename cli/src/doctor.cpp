#include "doctor.hpp"

#include "unit_port.hpp"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace owl::cli {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> read_line(const fs::path& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
    line.pop_back();
  }
  return line;
}

bool modem_manager_running(const fs::path& proc) {
  std::error_code error;
  for (fs::directory_iterator it(proc, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    if (read_line(it->path() / "comm") == std::optional<std::string>("ModemManager")) return true;
  }
  return false;
}

std::string group_of(const fs::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return "dialout";
  if (const group* entry = ::getgrgid(info.st_gid); entry != nullptr) return entry->gr_name;
  return "dialout";
}

std::string describe(const UsbIdentity& usb) {
  return usb.manufacturer.value_or("?") + " " + usb.product.value_or("?") +
         (usb.serial_number ? ", serial " + *usb.serial_number : ", no serial number");
}

// The ports on a USB device, as the engine's scanner lists them; none when sysfs cannot be read.
std::vector<SerialPortInfo> usb_serial_ports(const DoctorRoots& roots) {
  PortListing listing = list_serial_ports(roots.sysfs.string(), roots.dev.string());
  std::vector<SerialPortInfo> out;
  if (!listing) return out;
  for (SerialPortInfo& port : listing.value()) {
    if (port.usb) out.push_back(std::move(port));
  }
  return out;
}

}  // namespace

DoctorRoots doctor_roots_from_environment() {
  DoctorRoots roots;
  if (const char* v = std::getenv("OWLCTL_SYSFS_ROOT"); v != nullptr) roots.sysfs = v;
  if (const char* v = std::getenv("OWLCTL_DEV_ROOT"); v != nullptr) roots.dev = v;
  if (const char* v = std::getenv("OWLCTL_PROC_ROOT"); v != nullptr) roots.proc = v;
  if (const char* v = std::getenv("OWLCTL_UDEV_RULES_DIRS"); v != nullptr) {
    roots.udev_rule_dirs.clear();
    std::stringstream list(v);
    for (std::string dir; std::getline(list, dir, ':');) {
      if (!dir.empty()) roots.udev_rule_dirs.emplace_back(dir);
    }
  }
  return roots;
}

int real_access_check(const fs::path& path) {
  return ::access(path.c_str(), R_OK | W_OK) == 0 ? 0 : errno;
}

std::vector<Finding> run_doctor(const DoctorRoots& roots, const AccessCheck& may_open) {
  std::vector<Finding> findings;
  const auto rule_status = frontend::find_udev_rule(roots.udev_rule_dirs, roots.program_dir);
  const auto& rule = rule_status.installed;
  bool any_unit = false;
  for (const SerialPortInfo& port : usb_serial_ports(roots)) {
    const UsbIdentity& usb = *port.usb;
    const fs::path node = port.device_path;
    const std::string name = node.filename().string();
    if (!is_unit_port(usb)) {
      if (usb.vid == UNIT_USB_VID && usb.pid == UNIT_USB_PID) {
        findings.push_back({false,
                            name + " has the units' USB ids but reports " + describe(usb) +
                                "; it is another board and is left alone",
                            ""});
      }
      continue;
    }
    any_unit = true;
    findings.push_back({false, "unit port " + node.string() + ": " + describe(usb), ""});
    if (!usb.serial_number) {
      findings.push_back({true,
                          node.string() + " reports no USB serial number, so it cannot be used",
                          "the unit's firmware must report a serial number; contact the supplier"});
      continue;
    }
    std::error_code error;
    if (!fs::exists(node, error)) {
      findings.push_back({true, node.string() + " does not exist",
                          "unplug and replug the unit; `udevadm info --name=" + name +
                              "` shows whether udev handled it"});
      continue;
    }
    if (const int denied = may_open(node); denied != 0) {
      std::string action =
          rule ? "unplug and replug the unit so that the rule applies; over SSH or in a "
                 "container, where the rule gives no access, join the port's group: "
                 "sudo usermod -aG " +
                     group_of(node) + " \"$USER\", then log out and in again"
               : frontend::rule_advice(rule_status) +
                     "; or join the port's group: sudo usermod -aG " + group_of(node) +
                     " \"$USER\", then log out and in again";
      findings.push_back(
          {true, "you may not open " + node.string() + " (" + std::strerror(denied) + ")", action});
    } else {
      findings.push_back({false, "you may open " + node.string(), ""});
    }
  }
  if (!any_unit) {
    findings.push_back({true, "no OWL unit port found",
                        "plug the unit in with a USB data cable; `ls -l /dev/serial/by-id/` "
                        "lists USB serial ports; a unit reports vendor 2e8a, product 000a, "
                        "manufacturer Quillon and product OWL"});
  }
  if (rule) {
    findings.push_back({false, "udev rule installed: " + rule->string(), ""});
  } else {
    findings.push_back({true, "the udev rule 70-owl-units.rules is not installed",
                        frontend::rule_advice(rule_status)});
  }
  if (modem_manager_running(roots.proc)) {
    if (rule) {
      findings.push_back(
          {false, "ModemManager is running; the udev rule tells it to leave units alone", ""});
    } else {
      findings.push_back({true,
                          "ModemManager is running and will probe unit ports, holding them busy "
                          "and sending them modem commands",
                          "install the udev rule (it tells ModemManager to leave units alone), or "
                          "stop ModemManager: sudo systemctl stop ModemManager"});
    }
  } else {
    findings.push_back({false, "ModemManager is not running", ""});
  }
  return findings;
}

std::string format_findings(const std::vector<Finding>& findings) {
  std::string out;
  for (const auto& finding : findings) {
    out += (finding.problem ? "problem: " : "ok: ") + finding.text + "\n";
    if (!finding.action.empty()) out += "  what to do: " + finding.action + "\n";
  }
  return out;
}

}  // namespace owl::cli
