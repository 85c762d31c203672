#include "doctor.hpp"

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

constexpr std::uint16_t UNIT_USB_VID = 0x2E8A;
constexpr std::uint16_t UNIT_USB_PID = 0x000A;

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

std::uint16_t read_hex_id(const fs::path& path) {
  const auto text = read_line(path);
  std::uint16_t value = 0;
  if (text) std::from_chars(text->data(), text->data() + text->size(), value, 16);
  return value;
}

bool equals_ignoring_ascii_case(const std::optional<std::string>& text, std::string_view expected) {
  if (!text || text->size() != expected.size()) return false;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (fold((*text)[i]) != fold(expected[i])) return false;
  }
  return true;
}

// The USB device is the nearest directory above the tty's interface that reports ids.
std::optional<fs::path> usb_device_above(const fs::path& device_link, const fs::path& sysfs) {
  std::error_code error;
  fs::path dir = fs::canonical(device_link, error);
  if (error) return std::nullopt;
  const fs::path top = fs::canonical(sysfs, error);
  if (error) return std::nullopt;
  while (!dir.empty() && dir != top && dir != dir.root_path()) {
    if (fs::exists(dir / "idVendor", error) && fs::exists(dir / "idProduct", error)) return dir;
    dir = dir.parent_path();
  }
  return std::nullopt;
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

std::string describe(const UsbSerialPort& port) {
  return port.manufacturer.value_or("?") + " " + port.product.value_or("?") +
         (port.serial ? ", serial " + *port.serial : ", no serial number");
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

std::vector<UsbSerialPort> list_usb_serial_ports(const fs::path& sysfs) {
  std::vector<UsbSerialPort> ports;
  std::error_code error;
  for (fs::directory_iterator it(sysfs / "class" / "tty", error), end; !error && it != end;
       it.increment(error)) {
    const auto usb = usb_device_above(it->path() / "device", sysfs);
    if (!usb) continue;
    UsbSerialPort port;
    port.name = it->path().filename().string();
    port.vendor_id = read_hex_id(*usb / "idVendor");
    port.product_id = read_hex_id(*usb / "idProduct");
    port.manufacturer = read_line(*usb / "manufacturer");
    port.product = read_line(*usb / "product");
    port.serial = read_line(*usb / "serial");
    ports.push_back(std::move(port));
  }
  std::sort(ports.begin(), ports.end(),
            [](const UsbSerialPort& a, const UsbSerialPort& b) { return a.name < b.name; });
  return ports;
}

bool is_unit_port(const UsbSerialPort& port) {
  return port.vendor_id == UNIT_USB_VID && port.product_id == UNIT_USB_PID &&
         equals_ignoring_ascii_case(port.manufacturer, "Quillon") &&
         equals_ignoring_ascii_case(port.product, "OWL");
}

int real_access_check(const fs::path& path) {
  return ::access(path.c_str(), R_OK | W_OK) == 0 ? 0 : errno;
}

std::vector<Finding> run_doctor(const DoctorRoots& roots, const AccessCheck& may_open) {
  std::vector<Finding> findings;
  const auto rule_status = frontend::find_udev_rule(roots.udev_rule_dirs, roots.program_dir);
  const auto& rule = rule_status.installed;
  bool any_unit = false;
  for (const auto& port : list_usb_serial_ports(roots.sysfs)) {
    if (!is_unit_port(port)) {
      if (port.vendor_id == UNIT_USB_VID && port.product_id == UNIT_USB_PID) {
        findings.push_back({false,
                            port.name + " has the units' USB ids but reports " + describe(port) +
                                "; it is another board and is left alone",
                            ""});
      }
      continue;
    }
    any_unit = true;
    const fs::path node = roots.dev / port.name;
    findings.push_back({false, "unit port " + node.string() + ": " + describe(port), ""});
    if (!port.serial) {
      findings.push_back({true,
                          node.string() + " reports no USB serial number, so it cannot be used",
                          "the unit's firmware must report a serial number; contact the supplier"});
      continue;
    }
    std::error_code error;
    if (!fs::exists(node, error)) {
      findings.push_back({true, node.string() + " does not exist",
                          "unplug and replug the unit; `udevadm info --name=" + port.name +
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
