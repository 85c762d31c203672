#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "../../src/platform/port_listing.hpp"

namespace owl::testing_support {

namespace fs = std::filesystem;

struct UsbAttributes {
  std::optional<std::string> vid = "2e8a";
  std::optional<std::string> pid = "000a";
  std::optional<std::string> serial = "K1";
  std::optional<std::string> manufacturer = "Quillon";
  std::optional<std::string> product = "OWL";
};

// A sysfs tree laid out like the kernel's: class/tty entries link into devices/, and a USB tty's
// device link points at the interface below the USB device that holds the ids. The root hub is a
// USB device too, so a port must take the identity of the nearest one.
class FakeSysfs {
 public:
  FakeSysfs() {
    std::string pattern = (fs::temp_directory_path() / "owl-sysfs-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    base_ = pattern;
    fs::create_directories(sysfs() / "class" / "tty");
    write_usb(hub(), {"1d6b", "0002", std::nullopt, "Linux xhci-hcd", "xHCI Host Controller"});
  }
  ~FakeSysfs() { fs::remove_all(base_); }
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;

  fs::path base() const { return base_; }
  fs::path sysfs() const { return base_ / "sys"; }
  std::string dev() const { return (base_ / "dev").string(); }
  std::string dev_path(const std::string& name) const { return dev() + "/" + name; }
  PortListing list() const { return list_serial_ports(sysfs().string(), dev()); }

  // A CDC-ACM port, or with `converter` a USB-serial one: one level more above the tty.
  void add_usb_port(const std::string& name, const UsbAttributes& usb, bool converter = false) {
    const std::string device = "1-" + std::to_string(++ports_);
    const fs::path interface = hub() / device / (device + ":1.0");
    write_usb(hub() / device, usb);
    if (converter) {
      add_tty(interface / name, name, "../../../" + name);
    } else {
      add_tty(interface, name, "../../../" + device + ":1.0");
    }
  }

  void add_platform_port(const std::string& name) {
    add_tty(sysfs() / "devices" / "platform" / "serial8250", name, "../../../serial8250");
  }

  void add_virtual_tty(const std::string& name) {
    fs::create_directories(sysfs() / "devices" / "virtual" / "tty" / name);
    fs::create_symlink("../../devices/virtual/tty/" + name, sysfs() / "class" / "tty" / name);
  }

  static void write(const fs::path& file, const std::string& value) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << value << '\n';  // sysfs ends every attribute with a line feed
  }

 private:
  fs::path hub() const { return sysfs() / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1"; }

  static void write_usb(const fs::path& dir, const UsbAttributes& usb) {
    fs::create_directories(dir);
    const std::pair<const char*, const std::optional<std::string>*> files[] = {
        {"idVendor", &usb.vid},
        {"idProduct", &usb.pid},
        {"serial", &usb.serial},
        {"manufacturer", &usb.manufacturer},
        {"product", &usb.product}};
    for (const auto& [file, value] : files) {
      if (*value) write(dir / file, **value);
    }
  }

  void add_tty(const fs::path& parent, const std::string& name, const std::string& device_link) {
    const fs::path dir = parent / "tty" / name;
    fs::create_directories(dir);
    fs::create_symlink(device_link, dir / "device");
    fs::create_symlink(fs::relative(dir, sysfs() / "class" / "tty"),
                       sysfs() / "class" / "tty" / name);
  }

  fs::path base_;
  int ports_ = 0;
};

}  // namespace owl::testing_support
