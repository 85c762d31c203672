#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "expected.hpp"

namespace owl {

// What the USB device above a serial port says about itself.
struct UsbIdentity {
  std::uint16_t vid = 0;  // 0 when the device does not report one
  std::uint16_t pid = 0;
  std::optional<std::string> serial_number;
  std::optional<std::string> manufacturer;
  std::optional<std::string> product;

  friend bool operator==(const UsbIdentity&, const UsbIdentity&) = default;
};

struct SerialPortInfo {
  std::string device_path;
  // Present only for ports that sit on a USB device.
  std::optional<UsbIdentity> usb;

  friend bool operator==(const SerialPortInfo&, const SerialPortInfo&) = default;
};

using PortListing = Expected<std::vector<SerialPortInfo>, std::string>;

// Lists the serial ports under <sysfs_root>/class/tty that belong to a device, sorted by name,
// with the identity of the nearest USB device above each. Fails only when the tty class itself
// cannot be read; a port that vanishes while it is being looked at is left out.
PortListing list_serial_ports(const std::string& sysfs_root = "/sys",
                              const std::string& dev_root = "/dev");

}  // namespace owl
